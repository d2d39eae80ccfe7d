// The program's entry point: everything happens in RunVrma.
#include "app/Alfa_form.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

namespace {

// For the check of an installation only: with VRMA_QUIT_AFTER_START set, the program
// starts as usual and, as soon as its main window is on the screen, prints the window's
// caption and ends; when no window has appeared after ten seconds it ends with 1.
// Without the variable nothing here runs.
void QuitAfterStart(int attempt) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed()) {
            std::printf("VRMA: окно «%s» открыто, выход\n", qPrintable(widget->windowTitle()));
            std::fflush(stdout);
            QCoreApplication::quit();
            return;
        }
    }
    if (attempt >= 1000) {
        std::fputs("VRMA: окно не открылось\n", stderr);
        std::exit(1);
    }
    QTimer::singleShot(10, [attempt] { QuitAfterStart(attempt + 1); });
}

void ArmQuitAfterStart() {
    if (qEnvironmentVariableIsSet("VRMA_QUIT_AFTER_START"))
        QTimer::singleShot(0, [] { QuitAfterStart(0); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ArmQuitAfterStart)

int main(int argc, char** argv) {
    return vrma::RunVrma(argc, argv);
}
