#include "data/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace vrma {

namespace {

DialogHost* g_host = nullptr;
DialogHost* g_default = nullptr;

class ConsoleHost final : public DialogHost {
public:
    int messageBox(QWidget* /*owner*/, const QString& text, const QString& /*caption*/,
                   unsigned type) override {
        print(text);
        return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    }
    void showMessage(const QString& text) override { print(text); }
    bool execute(FileDialog& /*dialog*/) override { return false; }
    int execModal(QWidget& /*window*/) override { return 0; }
    void help(QWidget* /*window*/, const QString& /*helpFile*/, unsigned /*command*/,
              quintptr /*data*/) override {}

private:
    static void print(const QString& text) {
        std::fputs(text.toUtf8().constData(), stderr);
        std::fputc('\n', stderr);
    }
};

} // namespace

bool DialogHost::selectFolder(QWidget* /*owner*/, const QString& /*caption*/, QString& /*folder*/) {
    return false;
}

DialogHost* SetDialogHost(DialogHost* host) {
    DialogHost* previous = g_host;
    g_host = host;
    return previous;
}

DialogHost& CurrentDialogHost() {
    if (g_host)
        return *g_host;
    return g_default ? *g_default : ConsoleDialogHost();
}

DialogHost* SetDefaultDialogHost(DialogHost* host) {
    DialogHost* previous = g_default;
    g_default = host;
    return previous;
}

DialogHost& ConsoleDialogHost() {
    static ConsoleHost host;
    return host;
}

int MessageBoxA(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    return CurrentDialogHost().messageBox(owner, text, caption, type);
}

void ShowMessage(const QString& text) {
    CurrentDialogHost().showMessage(text);
}

bool WinHelpA(QWidget* window, const QString& helpFile, unsigned command, quintptr data) {
    CurrentDialogHost().help(window, helpFile, command, data);
    return true;
}

bool SelectFolder(QWidget* owner, const QString& caption, QString& folder) {
    QString chosen = folder;
    if (!CurrentDialogHost().selectFolder(owner, caption, chosen) || chosen.isEmpty())
        return false;
    folder = QDir(chosen).absolutePath();
    return true;
}

bool FileDialog::Execute() {
    FileDialog attempt = *this;
    // Files is only an answer: a host that fills in FileName alone leaves no stale list.
    attempt.Files.clear();
    if (!CurrentDialogHost().execute(attempt))
        return false;
    if (attempt.Files.isEmpty() && !attempt.FileName.isEmpty())
        attempt.Files << attempt.FileName;
    if (attempt.FileName.isEmpty() && !attempt.Files.isEmpty())
        attempt.FileName = attempt.Files.first();
    *this = attempt;
    if (mode_ == Mode::Open && !FileName.isEmpty()) {
        // The open dialog does not keep the current folder: it moves to the chosen file's.
        QDir::setCurrent(QFileInfo(FileName).absolutePath());
    }
    return true;
}

} // namespace vrma
