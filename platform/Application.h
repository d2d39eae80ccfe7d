#pragma once
// The application object: title, translations, decimal separator and the default
// error report for exceptions that escape an event handler.
#include <QApplication>
#include <exception>
#include <memory>

namespace vrma {

class VrmaApplication : public QApplication {
    Q_OBJECT
public:
    // Installs the desktop dialog host as the default one for the process's lifetime.
    VrmaApplication(int& argc, char** argv);
    ~VrmaApplication() override;
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

// Connects a control's signal to a window's command handler, run under the command guard.
// The handler is a member taking the sender (the design's handlers: N4Click(sender)) or
// any callable taking nothing.
template <class Sender, class Signal, class Window, class Owner>
QMetaObject::Connection ConnectCommand(Sender* sender, Signal signal, Window* window,
                                       void (Owner::*handler)(QObject*)) {
    return QObject::connect(sender, signal, window, [sender, window, handler] {
        RunCommand([&] { (window->*handler)(sender); });
    });
}
template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectCommand(Sender* sender, Signal signal, QObject* context,
                                       Handler handler) {
    return QObject::connect(sender, signal, context, [handler] { RunCommand([&] { handler(); }); });
}

// Start-up steps shared by the program and its tests: application title "VRMA",
// Qt's Russian translation (whatever the locale), the decimal separator of the locale.
void InitApplication(QApplication& app);

} // namespace vrma
