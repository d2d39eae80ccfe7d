#pragma once
// The desktop host: message boxes, file dialogs, modal windows and help on the real
// desktop. The pieces that decide what is shown are separate functions, so that
// they can be checked without running a dialog.
#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>
#include <memory>

class QFileDialog;
class QMessageBox;

namespace vrma {

class DesktopHost : public DialogHost {
public:
    int messageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override;
    void showMessage(const QString& text) override;
    bool execute(FileDialog& dialog) override;
    bool selectFolder(QWidget* owner, const QString& caption, QString& folder) override;
    // A QDialog runs its own exec(); any other window is shown application-modal
    // until it is closed or hidden. The result is the dialog's result, or the
    // window's "ModalResult" property when it has one, else 0.
    int execModal(QWidget& window) override;
    // Opens the help file with the desktop's viewer when it exists (a file that no
    // viewer opens is reported in a message box naming it); otherwise shows the
    // program's own guide at its contents page in the help window.
    void help(QWidget* window, const QString& helpFile, unsigned command, quintptr data) override;

protected:
    // Hands a file to the desktop's default viewer; false when nothing could open it.
    virtual bool openDocument(const QString& path);
    // Shows the program's guide (platform/HelpWindow.h), modeless.
    virtual void showGuide(QWidget* window);
};

// The host installed when no other one is (one DesktopHost, made on first use).
DialogHost& DesktopDialogHost();

// A message box for the MB_ flags: buttons (OK, or Yes and No), icon, caption, owner.
std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* owner, const QString& text,
                                              const QString& caption, unsigned type);
// The plain message window: caption "VRMA", one OK button, no icon.
std::unique_ptr<QMessageBox> CreatePlainMessage(const QString& text);
// QMessageBox's answer as IDOK, IDYES or IDNO.
int MessageBoxResult(int standardButton);
// Runs the box modally: IDOK, IDYES or IDNO for the button pressed, IDCANCEL for a Yes/No
// box dismissed with Escape or closed from its title bar.
int RunMessageBox(QMessageBox& box);

// "Coordinate Files (*.crd)|*.crd" -> "Coordinate Files (*.crd)";
// "Table Files|*.tab|All Files|*.*" -> "Table Files (*.tab);;All Files (*.*)".
QStringList QtNameFilters(const QString& filter);
// "*.cam", ".cam" and "cam" all give "cam".
QString QtDefaultSuffix(const QString& defaultExt);
// Sets up a QFileDialog as the FileDialog asks: mode, filters, default extension,
// initial folder (the current folder when empty), proposed name.
void ConfigureFileDialog(QFileDialog& qt, const FileDialog& dialog);

// Sets up a QFileDialog to choose one existing folder, starting at `folder` (the current
// folder when empty), under `caption`.
void ConfigureFolderDialog(QFileDialog& qt, const QString& caption, const QString& folder);

// Where a help file named in the design's notation ("Folder\File.HLP") lies:
// "\" read as "/", resolved against the current folder.
QString ResolveHelpFile(const QString& helpFile);
// The message shown when no viewer could open the help file.
QString HelpFileNotOpenedText(const QString& helpFile);
// The caption of the help messages.
QString HelpCaption();

} // namespace vrma
