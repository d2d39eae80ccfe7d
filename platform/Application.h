#pragma once
// The application object: title, translations, decimal separator and the default
// error report for exceptions that escape an event handler.
#include <QApplication>

namespace vrma {

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

// The whole program: start-up, the calibration window, the message loop. Returns 0.
int RunVrma(int argc, char** argv);

} // namespace vrma
