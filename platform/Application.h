#pragma once
// The application object: title, translations, decimal separator and the default
// error report for exceptions that escape an event handler.
#include <QApplication>
#include <exception>
#include <memory>

namespace vrma {

class TAlfaKalibr_Form;

class VrmaApplication : public QApplication {
    Q_OBJECT
public:
    VrmaApplication(int& argc, char** argv);
    // Shows an escaped exception in a message box with its own text and goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The default error report: a message box (through the dialog host) with the text.
void ShowDefaultErrorReport(const QString& text);

// Runs the handler of a command; a failure that the handler's own guards leave is shown
// in the default error report and the program goes on. Handlers are connected through it,
// so that no exception unwinds through the window system's code (notify() stays the last
// net for event handlers that are called by the window system directly).
template <class Handler> void RunCommand(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowDefaultErrorReport(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowDefaultErrorReport(QStringLiteral("Неизвестная ошибка."));
    }
}

// Start-up steps shared by the program and its tests: application title "VRMA",
// Qt's translations for the system locale, the decimal separator.
void InitApplication(QApplication& app);

// Start-up steps after the application object: the calibration window (the main
// window), then the about box, hidden.
std::unique_ptr<TAlfaKalibr_Form> CreateMainWindow();

// The whole program: start-up, the calibration window, the message loop. Returns 0.
int RunVrma(int argc, char** argv);

} // namespace vrma
