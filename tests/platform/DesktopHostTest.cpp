// The desktop host: how message boxes and file dialogs are built from the design's
// settings, the modal loops, and the help decision.
#include "platform/DesktopDialogHost.h"
#include "support/ScriptedDialogHost.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vrma;

namespace {

QStringList ButtonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons())
        texts << button->text().remove(QLatin1Char('&'));
    texts.sort();
    return texts;
}

// Runs the action as soon as the next modal loop is running.
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, qApp, [action] { action(QApplication::activeModalWidget()); });
}

void WriteFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0;0\r\n");
}

} // namespace

TEST(DesktopMessageBox, ButtonsIconsCaptionAndOwnerFollowTheFlags) {
    QWidget owner;
    struct Case {
        unsigned type;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    } cases[] = {
        {MB_OK, QMessageBox::NoIcon, QMessageBox::Ok},
        {MB_OK | MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No},
        {MB_YESNO | MB_ICONWARNING, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok},
        {MB_YESNO, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No},
    };
    for (const Case& c : cases) {
        const auto box =
            CreateMessageBox(&owner, QStringLiteral("Текст"), QStringLiteral("Ошибка!"), c.type);
        EXPECT_EQ(box->icon(), c.icon) << c.type;
        EXPECT_EQ(box->standardButtons(), c.buttons) << c.type;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Ошибка!"));
        EXPECT_EQ(box->text(), QStringLiteral("Текст"));
        EXPECT_EQ(box->parentWidget(), &owner);
    }
    const auto noOwner = CreateMessageBox(nullptr, QStringLiteral("a"), QStringLiteral("b"), 0);
    EXPECT_EQ(noOwner->parentWidget(), nullptr);
}

TEST(DesktopMessageBox, PlainMessageHasTheTitleOneOkAndNoIcon) {
    const auto box = CreatePlainMessage(QStringLiteral("Строка 3: неверное число"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("VRMA"));
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->parentWidget(), nullptr);
}

TEST(DesktopMessageBox, RunsModallyAndReportsTheButtonPressed) {
    DesktopHost host;
    QString seenTitle;
    QStringList seenButtons;
    WhenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenButtons = ButtonTexts(*box);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(host.messageBox(nullptr, QStringLiteral("Продолжить?"),
                              QStringLiteral("Предупреждение"), MB_YESNO | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(seenTitle, QStringLiteral("Предупреждение"));
    EXPECT_EQ(seenButtons, (QStringList{QStringLiteral("No"), QStringLiteral("Yes")}));

    WhenModal([](QWidget* widget) {
        qobject_cast<QMessageBox*>(widget)->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(host.messageBox(nullptr, QStringLiteral("?"), QStringLiteral("?"), MB_YESNO), IDYES);

    WhenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    host.showMessage(QStringLiteral("Строка 1"));
    EXPECT_EQ(seenTitle, QStringLiteral("VRMA"));
}

TEST(DesktopMessageBox, EscapeOrTheTitleBarDismissesAQuestionWithoutAnAnswer) {
    DesktopHost host;
    const auto ask = [&host](unsigned type) {
        return host.messageBox(nullptr, QStringLiteral("Данные не сохранены. Сохранить?"),
                               QStringLiteral("Предупреждение"), type);
    };
    // Escape, wherever the focus is in the box.
    WhenModal([](QWidget* widget) { QTest::keyClick(widget, Qt::Key_Escape); });
    EXPECT_EQ(ask(MB_YESNO), IDCANCEL);
    WhenModal([](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Yes)->setFocus();
        QTest::keyClick(box->button(QMessageBox::Yes), Qt::Key_Escape);
    });
    EXPECT_EQ(ask(MB_YESNO | MB_ICONQUESTION), IDCANCEL);
    // The close button of the title bar.
    WhenModal([](QWidget* widget) { widget->close(); });
    EXPECT_EQ(ask(MB_YESNO), IDCANCEL);
    // A pressed No stays No, in a box used after a dismissed one as well.
    WhenModal([](QWidget* widget) {
        qobject_cast<QMessageBox*>(widget)->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ask(MB_YESNO), IDNO);
    // A box with only OK is answered OK however it is closed.
    WhenModal([](QWidget* widget) { QTest::keyClick(widget, Qt::Key_Escape); });
    EXPECT_EQ(ask(MB_OK), IDOK);
    WhenModal([](QWidget* widget) { widget->close(); });
    EXPECT_EQ(ask(MB_OK | MB_ICONERROR), IDOK);
}

TEST(DesktopFileDialog, DesignFiltersBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters(QStringLiteral("Coordinate Files (*.crd)|*.crd")),
              QStringList{QStringLiteral("Coordinate Files (*.crd)")});
    EXPECT_EQ(
        QtNameFilters(QStringLiteral("Table Files|*.tab|All Files|*.*")),
        (QStringList{QStringLiteral("Table Files (*.tab)"), QStringLiteral("All Files (*.*)")}));
    EXPECT_EQ(QtNameFilters(QStringLiteral("Points|*.crd;*.txt")),
              QStringList{QStringLiteral("Points (*.crd *.txt)")});
    EXPECT_TRUE(QtNameFilters(QString()).isEmpty());

    EXPECT_EQ(QtDefaultSuffix(QStringLiteral("*.crd")), QStringLiteral("crd"));
    EXPECT_EQ(QtDefaultSuffix(QStringLiteral("tab")), QStringLiteral("tab"));
    EXPECT_EQ(QtDefaultSuffix(QStringLiteral(".cam")), QStringLiteral("cam"));
    EXPECT_EQ(QtDefaultSuffix(QString()), QString());
}

TEST(DesktopFileDialog, AFolderQuestionChoosesOneFolderStartingAtTheOneProposed) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFileDialog qt;
    ConfigureFolderDialog(qt, QStringLiteral("Папка"), folder.path());
    EXPECT_EQ(qt.windowTitle(), QStringLiteral("Папка"));
    EXPECT_EQ(qt.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(qt.fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(qt.testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(QDir(qt.directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
}

TEST(DesktopFileDialog, IsConfiguredAsTheDesignAsks) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::ScopedCurrentFolder keep;

    FileDialog open(FileDialog::Mode::Open);
    open.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    open.DefaultExt = QStringLiteral("*.crd");
    open.AllowMultiSelect = true;
    open.InitialDir = folder.path();
    QFileDialog qtOpen;
    ConfigureFileDialog(qtOpen, open);
    EXPECT_EQ(qtOpen.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(qtOpen.fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(qtOpen.nameFilters(), QStringList{QStringLiteral("Coordinate Files (*.crd)")});
    EXPECT_EQ(qtOpen.defaultSuffix(), QStringLiteral("crd"));
    EXPECT_EQ(QDir(qtOpen.directory()).canonicalPath(), QDir(folder.path()).canonicalPath());

    open.AllowMultiSelect = false;
    ConfigureFileDialog(qtOpen, open);
    EXPECT_EQ(qtOpen.fileMode(), QFileDialog::ExistingFile);

    // A save dialog with a proposed name and no initial folder opens in the current one.
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    FileDialog save(FileDialog::Mode::Save);
    save.Filter = QStringLiteral("Table Files|*.tab|All Files|*.*");
    save.DefaultExt = QStringLiteral("tab");
    save.FileName = QStringLiteral("Table1");
    QFileDialog qtSave;
    ConfigureFileDialog(qtSave, save);
    EXPECT_EQ(qtSave.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(qtSave.defaultSuffix(), QStringLiteral("tab"));
    EXPECT_EQ(QDir(qtSave.directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
    ASSERT_FALSE(qtSave.selectedFiles().isEmpty());
    // The proposed name, completed with the default extension.
    EXPECT_TRUE(qtSave.selectedFiles().first().endsWith(QStringLiteral("/Table1.tab")))
        << qtSave.selectedFiles().join(QLatin1Char(',')).toStdString();
}

TEST(DesktopFileDialog, ChoosingSeveralFilesTakesTheFirstAndMovesTheCurrentFolder) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString a = folder.filePath(QStringLiteral("a.crd"));
    const QString b = folder.filePath(QStringLiteral("b.crd"));
    WriteFile(a);
    WriteFile(b);
    test::ScopedCurrentFolder keep;

    FileDialog dialog(FileDialog::Mode::Open);
    dialog.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    dialog.AllowMultiSelect = true;
    dialog.InitialDir = folder.path();
    WhenModal([](QWidget* widget) {
        auto* qt = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(qt, nullptr);
        auto* name = qt->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("\"a.crd\" \"b.crd\""));
        QMetaObject::invokeMethod(qt, "accept");
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(QFileInfo(dialog.FileName).canonicalFilePath(), QFileInfo(a).canonicalFilePath());
    ASSERT_EQ(dialog.Files.size(), 2);
    EXPECT_EQ(QFileInfo(dialog.Files[1]).canonicalFilePath(), QFileInfo(b).canonicalFilePath());
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder.path()).canonicalPath());
}

TEST(DesktopFileDialog, CancelChangesNothing) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::ScopedCurrentFolder keep;
    const QString before = QDir::currentPath();

    FileDialog dialog(FileDialog::Mode::Open);
    dialog.InitialDir = folder.path();
    dialog.FileName = QStringLiteral("/somewhere/old.crd");
    WhenModal([](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/somewhere/old.crd"));
    EXPECT_EQ(dialog.InitialDir, folder.path());
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST(DesktopModal, DialogRunsItsOwnLoop) {
    DesktopHost host;
    QDialog dialog;
    bool wasModal = false;
    WhenModal([&](QWidget* widget) {
        wasModal = widget == &dialog;
        dialog.accept();
    });
    EXPECT_EQ(host.execModal(dialog), QDialog::Accepted);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DesktopModal, PlainWindowIsModalUntilItCloses) {
    DesktopHost host;
    QWidget window;
    bool wasModal = false;
    WhenModal([&](QWidget* widget) {
        wasModal = widget == &window && window.isVisible();
        window.setProperty("ModalResult", 5);
        window.close();
    });
    EXPECT_EQ(host.execModal(window), 5);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowModality(), Qt::NonModal);

    // Hiding ends the loop too; without a result property the result is 0.
    QWidget other;
    WhenModal([&](QWidget*) { other.hide(); });
    EXPECT_EQ(host.execModal(other), 0);
}

namespace {

// The desktop host's help decision, with the message box, the viewer and the guide
// recorded.
class RecordingDesktopHost : public DesktopHost {
public:
    struct Message {
        QString text;
        QString caption;
        unsigned type;
    };
    std::vector<Message> messages;
    QStringList opened;
    bool viewerWorks = true;
    int guides = 0;

    int messageBox(QWidget*, const QString& text, const QString& caption, unsigned type) override {
        messages.push_back({text, caption, type});
        return IDOK;
    }

protected:
    bool openDocument(const QString& path) override {
        opened << path;
        return viewerWorks;
    }
    void showGuide(QWidget*) override { ++guides; }
};

} // namespace

TEST(DesktopHelp, DesignNameIsResolvedAgainstTheCurrentFolder) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::ScopedCurrentFolder keep;
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    EXPECT_EQ(ResolveHelpFile(QStringLiteral("VRMAHelp\\VRMA_01.HLP")),
              QDir::current().absolutePath() + QStringLiteral("/VRMAHelp/VRMA_01.HLP"));
}

TEST(DesktopHelp, MissingFileOpensTheProgramsGuide) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::ScopedCurrentFolder keep;
    ASSERT_TRUE(QDir::setCurrent(folder.path()));

    RecordingDesktopHost host;
    host.help(nullptr, QStringLiteral("VRMAHelp\\VRMA_01.HLP"), HELP_FINDER, 0);
    EXPECT_TRUE(host.opened.isEmpty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.guides, 1);
}

TEST(DesktopHelp, ExistingFileGoesToTheViewer) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("VRMAHelp")));
    WriteFile(folder.filePath(QStringLiteral("VRMAHelp/VRMA_01.HLP")));
    test::ScopedCurrentFolder keep;
    ASSERT_TRUE(QDir::setCurrent(folder.path()));

    RecordingDesktopHost host;
    host.help(nullptr, QStringLiteral("VRMAHelp\\VRMA_01.HLP"), HELP_FINDER, 0);
    ASSERT_EQ(host.opened.size(), 1);
    EXPECT_EQ(
        QFileInfo(host.opened[0]).canonicalFilePath(),
        QFileInfo(folder.filePath(QStringLiteral("VRMAHelp/VRMA_01.HLP"))).canonicalFilePath());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.guides, 0);

    // No viewer for the file: said in a message, naming the file.
    host.viewerWorks = false;
    host.help(nullptr, QStringLiteral("VRMAHelp\\VRMA_01.HLP"), HELP_FINDER, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].text.contains(QStringLiteral("VRMAHelp/VRMA_01.HLP")));
}
