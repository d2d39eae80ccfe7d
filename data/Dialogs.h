#pragma once
// The dialog seam: every modal interaction of the program goes through one replaceable
// DialogHost, so that tests can answer it. The core only asks; the host that answers on
// the desktop is installed by the application object (platform/DesktopDialogHost.h).
// Without one, a console host answers: it writes each message to standard error.
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

namespace vrma {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr unsigned HELP_FINDER = 11;

class FileDialog;

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // Returns IDOK, IDYES or IDNO; IDCANCEL when a Yes/No question was dismissed without
    // an answer (Escape, or the close button of its title bar). Only a caller that tells
    // "not answered" apart from "No" looks for IDCANCEL; to every other one it is not Yes.
    virtual int messageBox(QWidget* owner, const QString& text, const QString& caption,
                           unsigned type) = 0;
    // The plain message window: one OK button, no icon, caption "VRMA", screen centre.
    virtual void showMessage(const QString& text) = 0;
    // Runs an open or save dialog; true when confirmed, and then dialog.FileName and
    // dialog.Files hold the choice.
    virtual bool execute(FileDialog& dialog) = 0;
    // Asks for a folder: `folder` proposes one and, on confirmation, holds the folder chosen
    // (absolute); false when the question was cancelled. A host that cannot ask cancels.
    virtual bool selectFolder(QWidget* owner, const QString& caption, QString& folder);
    // Shows a window modally until it closes.
    virtual int execModal(QWidget& window) = 0;
    virtual void help(QWidget* window, const QString& helpFile, unsigned command,
                      quintptr data) = 0;
};

// Installs a host and returns the previous one; nullptr restores the default host.
DialogHost* SetDialogHost(DialogHost* host);
DialogHost& CurrentDialogHost();
// The host used while none is installed: the desktop host once the application object
// exists, else the console host. Returns the previous default (nullptr: the console).
DialogHost* SetDefaultDialogHost(DialogHost* host);

// The console host: messages go to standard error, one line each; a question is
// answered No, a file or folder dialog is cancelled, a modal window is not shown (result 0).
DialogHost& ConsoleDialogHost();

int MessageBoxA(QWidget* owner, const QString& text, const QString& caption, unsigned type);
void ShowMessage(const QString& text);
bool WinHelpA(QWidget* window, const QString& helpFile, unsigned command, quintptr data);
// Asks the installed host for a folder (see DialogHost::selectFolder).
bool SelectFolder(QWidget* owner, const QString& caption, QString& folder);

// An open or save file dialog, configured by its owner and run through the host.
class FileDialog {
public:
    enum class Mode { Open, Save };

    explicit FileDialog(Mode mode) : mode_(mode) {}

    QString Filter;     // "Description|*.ext|All Files|*.*"
    QString DefaultExt; // as the design gives it ("tab", "*.cam")
    QString FileName;   // proposed name before, chosen full path after Execute()
    QString InitialDir;
    QStringList Files; // every chosen path (several when AllowMultiSelect)
    bool AllowMultiSelect = false;

    Mode mode() const { return mode_; }
    bool isOpen() const { return mode_ == Mode::Open; }

    // Asks the installed host. On confirmation an open dialog moves the process's
    // current folder to the folder of the chosen file; a cancel changes nothing.
    bool Execute();

private:
    Mode mode_;
};

} // namespace vrma
