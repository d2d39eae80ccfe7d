#include "platform/Application.h"

#include "platform/DesktopDialogHost.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"

#include "data/Messages.h"
#include "data/VectorState.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <new>

namespace vrma {

VrmaApplication::VrmaApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetDefaultDialogHost(&DesktopDialogHost());
}

VrmaApplication::~VrmaApplication() {
    SetDefaultDialogHost(nullptr);
}

bool VrmaApplication::notify(QObject* receiver, QEvent* event) {
    // Every command starts from clean vector registers (see data/VectorState.h).
    ClearUpperVectorState();
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        ShowDefaultErrorReport(messages::OutOfMemory());
    } catch (const std::exception& error) {
        ShowDefaultErrorReport(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowDefaultErrorReport(QStringLiteral("Неизвестная ошибка."));
    }
    // The event reached its handler; the failure has been reported.
    return true;
}

void ShowDefaultErrorReport(const QString& text) {
    QString caption = QCoreApplication::applicationName();
    if (caption.isEmpty())
        caption = QStringLiteral("VRMA");
    MessageBoxA(QApplication::activeWindow(), text, caption, MB_OK | MB_ICONERROR);
}

void InitApplication(QApplication& app) {
    // The application's title. Qt would append a display name to every window's
    // caption, so only the name is set; applicationDisplayName() falls back to it.
    QCoreApplication::setApplicationName(QStringLiteral("VRMA"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));

    // Qt's own dialogs and buttons ("Да", "Нет", "Отмена", the file dialogs) speak the
    // program's language, Russian, whatever the locale: a user under C.UTF-8 or an English
    // locale sees the same window as under ru_RU. Only the texts: numbers keep the
    // locale's decimal separator.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                         QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;

    InitDecimalSeparatorFromSystem();
}

} // namespace vrma
