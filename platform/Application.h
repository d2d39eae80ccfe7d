#pragma once
// The application object: title, translations, decimal separator and the default
// error report for exceptions that escape an event handler.
#include <QApplication>
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

// Start-up steps shared by the program and its tests: application title "VRMA",
// Qt's translations for the system locale, the decimal separator.
void InitApplication(QApplication& app);

// Start-up steps after the application object: the calibration window (the main
// window), then the about box, hidden.
std::unique_ptr<TAlfaKalibr_Form> CreateMainWindow();

// The whole program: start-up, the calibration window, the message loop. Returns 0.
int RunVrma(int argc, char** argv);

} // namespace vrma
