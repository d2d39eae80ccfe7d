// The application object: exceptions that escape an event handler are reported and
// the program goes on; the start-up under a Russian locale.
#include "platform/Application.h"
#include "app/AboutBox.h"
#include "app/Alfa_form.h"
#include "data/Errors.h"
#include "platform/DesktopDialogHost.h"
#include "platform/Locale.h"
#include "support/ScriptedDialogHost.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

namespace {

// Restores the application's name at the end of a test.
class ScopedApplicationName {
public:
    explicit ScopedApplicationName(const QString& name)
        : previous_(QCoreApplication::applicationName()) {
        QCoreApplication::setApplicationName(name);
    }
    ~ScopedApplicationName() { QCoreApplication::setApplicationName(previous_); }

private:
    QString previous_;
};

} // namespace

TEST(DefaultErrorReport, ExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    ScopedApplicationName name(QStringLiteral("VRMA"));
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);

    QPushButton button(QStringLiteral("Пуск"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        ++clicks;
        throw Exception("Сбой при обработке нажатия");
    });
    button.show();
    host.answerOk();
    host.answerOk();
    QTest::mouseClick(&button, Qt::LeftButton);
    // The button still works after the failure, and the next failure is reported again.
    QTest::mouseClick(&button, Qt::LeftButton);

    EXPECT_EQ(clicks, 2);
    const auto boxes = host.records(DialogRecord::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    for (const DialogRecord& box : boxes) {
        EXPECT_EQ(box.text, QStringLiteral("Сбой при обработке нажатия"));
        EXPECT_EQ(box.caption, QStringLiteral("VRMA"));
        EXPECT_EQ(box.type, MB_OK | MB_ICONERROR);
    }
    EXPECT_TRUE(button.isVisible());
}

TEST(DefaultErrorReport, AnyOtherThrownValueIsReportedToo) {
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { throw 42; });
    button.show();
    host.answerOk();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_FALSE(host.records()[0].text.isEmpty());
}

// Runs in a child process (see below) under the locale that the parent sets: the
// program's start-up code, then what it must have set up. Qt's dialogs speak Russian
// whatever the locale; the decimal separator is the locale's.
TEST(StartupProbe, DISABLED_UnderTheLocaleGiven) {
    const QString separator = qEnvironmentVariable("VRMA_STARTUP_PROBE");
    if (separator.size() != 1)
        GTEST_SKIP() << "only run by the start-up test";
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    InitApplication(*app);
    const auto form = CreateMainWindow();

    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("VRMA"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("VRMA"));
    EXPECT_EQ(DecimalSeparator(), separator.at(0));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Построение таблицы коррекции"));
    ASSERT_NE(form->AboutBox, nullptr);
    EXPECT_FALSE(form->AboutBox->isVisible());

    // A question as the program asks it, through the desktop dialog host: shown modally,
    // its buttons read while it is on the screen, then answered with "Да".
    form->show();
    QStringList shown;
    QTimer::singleShot(0, app, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton* button : box->buttons())
            shown << button->text().remove(QLatin1Char('&'));
        box->button(QMessageBox::Yes)->click();
    });
    const int answer = DesktopDialogHost().messageBox(
        form.get(), QStringLiteral("Сохранить вычисленный коэффициент в существующий файл?"),
        QStringLiteral("Предупреждение"), MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDYES);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Ok);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')),
              QStringLiteral("Отмена"));

    // Qt's own file dialog (the one used where the desktop offers none).
    for (const bool open : {true, false}) {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        auto* dialogButtons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(dialogButtons, nullptr);
        QStringList texts;
        for (QAbstractButton* button : dialogButtons->buttons())
            texts << button->text().remove(QLatin1Char('&'));
        EXPECT_TRUE(texts.contains(open ? QStringLiteral("Открыть") : QStringLiteral("Сохранить")))
            << texts.join(QLatin1Char(',')).toStdString();
        EXPECT_TRUE(texts.contains(QStringLiteral("Отмена")))
            << texts.join(QLatin1Char(',')).toStdString();
    }
}

TEST(Startup, RussianButtonsInEveryLocaleAndTheLocalesDecimalSeparator) {
    const struct {
        const char* locale;
        const char* separator;
    } cases[] = {{"ru_RU.UTF-8", ","}, {"C.UTF-8", "."}, {"en_US.UTF-8", "."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(c.locale));
        env.insert(QStringLiteral("LANG"), QString::fromLatin1(c.locale));
        env.insert(QStringLiteral("LANGUAGE"), QString::fromLatin1(c.locale).left(2));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VRMA_STARTUP_PROBE"), QString::fromLatin1(c.separator));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=StartupProbe.*"),
                     QStringLiteral("--gtest_also_run_disabled_tests")});
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
        EXPECT_FALSE(output.contains(QStringLiteral("SKIPPED"))) << output.toStdString();
    }
}
