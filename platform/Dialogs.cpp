#include "platform/Dialogs.h"

#include "platform/DesktopDialogHost.h"

#include <QDir>
#include <QFileInfo>

namespace vrma {

namespace {
DialogHost* g_host = nullptr;
}

DialogHost* SetDialogHost(DialogHost* host) {
    DialogHost* previous = g_host;
    g_host = host;
    return previous;
}

DialogHost& CurrentDialogHost() {
    return g_host ? *g_host : DesktopDialogHost();
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
