// The scripted host of the tests: answers in order, records, and fails on surprises.
#include "support/ScriptedDialogHost.h"

#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

TEST(ScriptedDialogHost, AnswersInOrderAndRecordsEverything) {
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::ScopedCurrentFolder keep;

    host.answerYes();
    host.answerFiles({folder.filePath(QStringLiteral("a.crd")), QStringLiteral("/x/b.crd")});
    host.answerOk();
    host.answerNo();
    host.answerCancel();
    host.answerHelp();

    EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("Заменить?"), QStringLiteral("Предупреждение"),
                          MB_YESNO | MB_ICONQUESTION),
              IDYES);
    FileDialog open(FileDialog::Mode::Open);
    open.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    open.DefaultExt = QStringLiteral("*.crd");
    open.InitialDir = QStringLiteral("/start");
    open.AllowMultiSelect = true;
    ASSERT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName, folder.filePath(QStringLiteral("a.crd")));
    EXPECT_EQ(open.Files.size(), 2);
    // The open dialog moved the current folder to the chosen file's.
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder.path()).canonicalPath());
    ShowMessage(QStringLiteral("Строка 2"));
    EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("?"), QStringLiteral("?"), MB_YESNO), IDNO);
    FileDialog save(FileDialog::Mode::Save);
    save.FileName = QStringLiteral("Table1");
    EXPECT_FALSE(save.Execute());
    EXPECT_EQ(save.FileName, QStringLiteral("Table1"));
    WinHelpA(nullptr, QStringLiteral("a\\b.HLP"), HELP_FINDER, 0);

    const auto& records = host.records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].kind, DialogRecord::Kind::MessageBox);
    EXPECT_EQ(records[0].caption, QStringLiteral("Предупреждение"));
    EXPECT_EQ(records[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(records[1].kind, DialogRecord::Kind::FileDialog);
    EXPECT_EQ(records[1].filter, QStringLiteral("Coordinate Files (*.crd)|*.crd"));
    EXPECT_EQ(records[1].defaultExt, QStringLiteral("*.crd"));
    EXPECT_EQ(records[1].initialDir, QStringLiteral("/start"));
    EXPECT_TRUE(records[1].openDialog);
    EXPECT_TRUE(records[1].multiSelect);
    EXPECT_EQ(records[2].kind, DialogRecord::Kind::ShowMessage);
    EXPECT_EQ(records[2].caption, QStringLiteral("VRMA"));
    EXPECT_EQ(records[2].text, QStringLiteral("Строка 2"));
    EXPECT_EQ(records[4].kind, DialogRecord::Kind::FileDialog);
    EXPECT_FALSE(records[4].openDialog);
    EXPECT_EQ(records[4].fileName, QStringLiteral("Table1"));
    EXPECT_EQ(records[5].kind, DialogRecord::Kind::Help);
    EXPECT_EQ(records[5].text, QStringLiteral("a\\b.HLP"));
    EXPECT_EQ(records[5].command, HELP_FINDER);
}

TEST(ScriptedDialogHost, ModalWindowIsShownModallyWhileTheActionRuns) {
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("Probe"));
    bool visible = false;
    bool modal = false;
    host.answerModal([&](QWidget& window) {
        visible = window.isVisible();
        modal = window.isModal();
        dialog.accept();
        return dialog.result();
    });
    EXPECT_EQ(CurrentDialogHost().execModal(dialog), QDialog::Accepted);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(modal);
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].objectName, QStringLiteral("Probe"));
    EXPECT_EQ(host.records()[0].className, QStringLiteral("QDialog"));

    // Without an action the window is closed again at once.
    host.answerModal();
    EXPECT_EQ(CurrentDialogHost().execModal(dialog), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ScriptedDialogHost, UnexpectedDialogsFailTheTest) {
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    EXPECT_NONFATAL_FAILURE(
        MessageBoxA(nullptr, QStringLiteral("Нет ответа"), QStringLiteral("Ошибка!"), MB_OK),
        "Nothing was queued");
    FileDialog dialog(FileDialog::Mode::Open);
    EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(dialog.Execute()), "Nothing was queued");

    // The wrong kind of answer.
    host.answerYes();
    EXPECT_NONFATAL_FAILURE(
        MessageBoxA(nullptr, QStringLiteral("?"), QStringLiteral("Ошибка!"), MB_OK),
        "does not fit");
    host.answerOk();
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("?"), QStringLiteral("?"), MB_YESNO), IDNO),
        "does not fit");
    // Several files for a dialog that takes one.
    host.answerFiles({QStringLiteral("/a"), QStringLiteral("/b")});
    EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(dialog.Execute()), "Several files");

    // Answers left over.
    host.answerOk();
    EXPECT_NONFATAL_FAILURE(host.expectAllAnswersUsed(), "never used");
    EXPECT_EQ(host.pendingAnswers(), 0);
}

TEST(ScriptedDialogHost, ADismissedQuestionIsNeitherYesNorNo) {
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    host.answerDismiss();
    host.answerNo();
    EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("Сохранить?"), QStringLiteral("?"), MB_YESNO),
              IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("Сохранить?"), QStringLiteral("?"), MB_YESNO),
              IDNO);
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Сохранить?"));

    // Only a question can be dismissed: an OK box has nothing to dismiss it from.
    host.answerDismiss();
    EXPECT_NONFATAL_FAILURE(
        MessageBoxA(nullptr, QStringLiteral("?"), QStringLiteral("Ошибка!"), MB_OK),
        "does not fit");
}
