// The calibration window: start-up defaults, layout, menu, file pickers, typed file
// names, help, the about box, exit and the plot bitmap.
#include "app/AboutBox.h"
#include "app/Alfa_form.h"
#include "platform/Application.h"
#include "platform/DesktopDialogHost.h"
#include "platform/HelpWindow.h"
#include "platform/ImageControl.h"
#include "platform/ListBox.h"
#include "platform/ListBoxModel.h"
#include "support/ScriptedDialogHost.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

namespace {

class CalibrationWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        // The window reads the current folder when it is made.
        ASSERT_TRUE(QDir::setCurrent(temp.path()));
        startFolder = QDir::currentPath();
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // A folder inside the temporary one, made on demand.
    QString folder(const QString& name) {
        QDir(temp.path()).mkpath(name);
        return QDir(temp.path()).absoluteFilePath(name);
    }

    // Types into a field one key at a time, as the user does.
    void type(QLineEdit* field, const QString& text) {
        for (QChar c : text)
            QTest::keyClick(field, c.toLatin1());
    }

    void clearByKeys(QLineEdit* field) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    QString startFolder;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

} // namespace

TEST_F(CalibrationWindow, StartsWithTheDefaults) {
    EXPECT_EQ(form->objectName(), QStringLiteral("AlfaKalibr_Form"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Построение таблицы коррекции"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("6"));
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("6"));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("720"));
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("576"));
    for (QLineEdit* empty : {form->Edit11, form->Edit10, form->Edit8, form->Edit9})
        EXPECT_TRUE(empty->text().isEmpty()) << empty->objectName().toStdString();
    EXPECT_TRUE(form->ListBoxLines().isEmpty());
    EXPECT_EQ(form->ratioListModel->rowCount(), 0);
    for (QLineEdit* result : {form->Edit8, form->Edit9}) {
        EXPECT_TRUE(result->isReadOnly());
        EXPECT_FALSE(result->isEnabled());
    }

    EXPECT_EQ(form->startFolder, startFolder);
    EXPECT_EQ(form->OpenCrdDialog.InitialDir, startFolder);
    EXPECT_TRUE(form->sceneFileName.isEmpty());
    EXPECT_TRUE(form->imageFileName.isEmpty());
    EXPECT_EQ(form->coefficient, 0.0);
    ASSERT_TRUE(form->scenePoints && form->imagePoints);
    EXPECT_EQ(form->scenePoints->Count(), 0);
    EXPECT_EQ(form->imagePoints->Count(), 0);
    EXPECT_EQ(form->scenePoints->Ownership(), 1);
    EXPECT_EQ(form->imagePoints->Ownership(), 1);

    // The splash picture covers the plot.
    EXPECT_TRUE(form->Image2->isVisible());
    EXPECT_FALSE(form->Image2->Picture().isNull());
    QWidget* viewport = form->ScrollBox1->viewport();
    EXPECT_EQ(form->Image2->geometry(), viewport->rect());
    EXPECT_EQ(viewport->childAt(10, 10), form->Image2);
    EXPECT_EQ(viewport->childAt(viewport->width() - 5, viewport->height() - 5), form->Image2);

    // The about box exists from the start and is hidden.
    ASSERT_NE(form->AboutBox, nullptr);
    EXPECT_FALSE(form->AboutBox->isVisible());
}

TEST_F(CalibrationWindow, DialogsAreSetUpAsDesigned) {
    EXPECT_TRUE(form->OpenCrdDialog.isOpen());
    EXPECT_EQ(form->OpenCrdDialog.Filter, QStringLiteral("Coordinate Files (*.crd)|*.crd"));
    EXPECT_EQ(form->OpenCrdDialog.DefaultExt, QStringLiteral("*.crd"));
    EXPECT_TRUE(form->OpenCrdDialog.AllowMultiSelect);
    EXPECT_FALSE(form->TabSaveDialog.isOpen());
    EXPECT_EQ(form->TabSaveDialog.Filter, QStringLiteral("Table Files|*.tab|All Files|*.*"));
    EXPECT_EQ(form->TabSaveDialog.DefaultExt, QStringLiteral("tab"));
    EXPECT_EQ(form->TabSaveDialog.FileName, QStringLiteral("Table1"));
    EXPECT_FALSE(form->SaveCamDialog.isOpen());
    EXPECT_EQ(form->SaveCamDialog.Filter, QStringLiteral("Camera Files|*.cam|All Files|*.*"));
    EXPECT_EQ(form->SaveCamDialog.DefaultExt, QStringLiteral("*.cam"));
}

TEST_F(CalibrationWindow, ControlsCarryTheirDesignNames) {
    const std::pair<const char*, QObject*> controls[] = {
        {"Edit11", form->Edit11},
        {"Edit10", form->Edit10},
        {"Button5", form->Button5},
        {"Button1", form->Button1},
        {"Edit3", form->Edit3},
        {"Edit5", form->Edit5},
        {"Edit6", form->Edit6},
        {"Edit7", form->Edit7},
        {"ScrollBox1", form->ScrollBox1},
        {"Image1", form->Image1},
        {"Image2", form->Image2},
        {"Splitter2", form->Splitter2},
        {"Panel5", form->Panel5},
        {"ListBox1", form->ListBox1},
        {"Edit8", form->Edit8},
        {"Edit9", form->Edit9},
        {"Button2", form->Button2},
        {"Button3", form->Button3},
        {"MainMenu1", form->MainMenu1},
        {"N16", form->N16},
        {"N5", form->N5},
        {"N15", form->N15},
        {"N4", form->N4},
        {"N25", form->cameraAction},
        {"N26", form->cameraCountAction},
        {"N10", form->N10},
        {"N11", form->N11},
    };
    for (const auto& [name, control] : controls) {
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(form->findChild<QObject*>(QString::fromLatin1(name)), control) << name;
    }
    EXPECT_EQ(form->AboutBox->objectName(), QStringLiteral("VRMAAboutBox"));
}

TEST_F(CalibrationWindow, MenuHasTheDesignedItems) {
    const QList<QAction*> menus = form->MainMenu1->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("&Файл"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Счёт"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("Помощь"));
    EXPECT_EQ(menus[0]->menu()->actions(),
              (QList<QAction*>{form->testFieldAction, form->measureAction, form->cameraAction,
                               form->photoSeparator, form->N16, form->reportAction, form->N5,
                               form->N15}));
    EXPECT_EQ(form->testFieldAction->text(), QStringLiteral("Создать тест-поле…"));
    EXPECT_EQ(form->measureAction->text(), QStringLiteral("Измерить снимок…"));
    EXPECT_EQ(form->cameraAction->text(), QStringLiteral("Калибровка камеры по снимкам…"));
    EXPECT_TRUE(form->photoSeparator->isSeparator());
    EXPECT_EQ(menus[1]->menu()->actions(), (QList<QAction*>{form->N4, form->cameraCountAction}));
    EXPECT_EQ(form->cameraCountAction->text(), QStringLiteral("Калибровка камеры по снимкам…"));
    EXPECT_EQ(menus[2]->menu()->actions(), (QList<QAction*>{form->N10, form->N11}));
    EXPECT_EQ(form->N16->text(), QStringLiteral("Сохранить"));
    EXPECT_TRUE(form->N5->isSeparator());
    EXPECT_EQ(form->N15->text(), QStringLiteral("Выход"));
    EXPECT_EQ(form->N4->text(), QStringLiteral("Калибровка масштабов"));
    EXPECT_EQ(form->N10->text(), QStringLiteral("Справка"));
    EXPECT_EQ(form->N11->text(), QStringLiteral("О программе"));
}

TEST_F(CalibrationWindow, IsLaidOutAsDesigned) {
    EXPECT_EQ(form->size(), QSize(812, 644));
    EXPECT_EQ(form->minimumSize(), QSize(690, 450));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred, give or take the window frame.
    EXPECT_LE(std::abs(form->frameGeometry().center().x() - screen.center().x()), 3);
    EXPECT_LE(std::abs(form->frameGeometry().center().y() - screen.center().y()), 3);
    EXPECT_EQ(form->font().pixelSize(), 14);

    // The top band: three rows 29 high; the file fields 150, the number fields 40.
    const QWidget* sceneRow = form->Edit11->parentWidget();
    const QWidget* imageRow = form->Edit10->parentWidget();
    EXPECT_EQ(sceneRow->height(), 29);
    EXPECT_EQ(imageRow->height(), 29);
    EXPECT_EQ(imageRow->y(), sceneRow->y() + 29);
    EXPECT_EQ(sceneRow->width(), form->centralWidget()->width());
    EXPECT_EQ(form->Edit3->parentWidget(), sceneRow);
    EXPECT_EQ(form->Edit6->parentWidget(), sceneRow);
    EXPECT_EQ(form->Edit5->parentWidget(), imageRow);
    EXPECT_EQ(form->Edit7->parentWidget(), imageRow);
    EXPECT_EQ(form->Edit11->width(), 150);
    EXPECT_EQ(form->Edit10->width(), 150);
    for (QLineEdit* number : {form->Edit3, form->Edit5, form->Edit6, form->Edit7})
        EXPECT_EQ(number->width(), 40);
    // The groups line up across the rows: the scene row's fields over the image row's.
    EXPECT_EQ(form->Edit11->x(), form->Edit10->x());
    EXPECT_EQ(form->Edit3->x(), form->Edit5->x());
    EXPECT_EQ(form->Edit6->x(), form->Edit7->x());
    EXPECT_LT(form->Edit11->geometry().right(), form->Edit3->x());
    EXPECT_LT(form->Edit3->geometry().right(), form->Edit6->x());

    // The "..." buttons lie over the right end of their fields and take no focus.
    const std::pair<QPushButton*, QLineEdit*> pickers[] = {{form->Button5, form->Edit11},
                                                           {form->Button1, form->Edit10}};
    for (const auto& [button, field] : pickers) {
        EXPECT_EQ(button->text(), QStringLiteral("..."));
        EXPECT_EQ(button->size(), QSize(22, 22));
        EXPECT_EQ(button->parentWidget(), field->parentWidget());
        EXPECT_EQ(button->geometry().right(), field->geometry().right());
        EXPECT_TRUE(field->geometry().contains(button->geometry().center()));
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(field->parentWidget()->childAt(button->geometry().center()), button);
    }

    // The plot area, the splitter and the result panel below the band.
    EXPECT_EQ(form->Image1->size(), QSize(700, 500));
    EXPECT_EQ(form->Image1->Picture().size(), QSize(700, 500));
    EXPECT_EQ(form->ScrollBox1->widget(), form->Image1);
    EXPECT_EQ(form->Image1->pos(), QPoint(0, 0));
    EXPECT_EQ(form->Splitter2->handleWidth(), 3);
    EXPECT_GE(form->Splitter2->y(), imageRow->geometry().bottom());
    EXPECT_EQ(form->Panel5->width(), 185);
    EXPECT_EQ(form->Panel5->mapTo(form.get(), QPoint(form->Panel5->width(), 0)).x(), form->width());
    EXPECT_EQ(form->ScrollBox1->x(), 0);
    EXPECT_EQ(form->ScrollBox1->width() + 3 + 185, form->width());

    // The lower part of the panel, 258 high, with its controls from top to bottom.
    QWidget* lower = form->Edit8->parentWidget();
    EXPECT_EQ(lower->parentWidget(), form->Panel5);
    EXPECT_EQ(lower->height(), 258);
    EXPECT_EQ(lower->geometry().bottom(), form->Panel5->height() - 1);
    EXPECT_EQ(form->ListBox1->y(), 0);
    EXPECT_EQ(form->ListBox1->geometry().bottom() + 1, lower->y());
    const auto* coefficientLabel = lower->findChild<QLabel*>(QStringLiteral("CoefficientLabel"));
    const auto* deviationLabel = lower->findChild<QLabel*>(QStringLiteral("DeviationLabel"));
    ASSERT_TRUE(coefficientLabel && deviationLabel);
    EXPECT_EQ(coefficientLabel->text(),
              QStringLiteral("Коэффициент соотношения масштабов по осям изображения"));
    EXPECT_EQ(deviationLabel->text(), QStringLiteral("Среднеквадратическое отклонение"));
    EXPECT_TRUE(coefficientLabel->wordWrap());
    EXPECT_TRUE(deviationLabel->wordWrap());
    const int order[] = {coefficientLabel->y(), form->Edit8->y(),   deviationLabel->y(),
                         form->Edit9->y(),      form->Button2->y(), form->Button3->y()};
    EXPECT_TRUE(std::is_sorted(std::begin(order), std::end(order)));
    EXPECT_LE(form->Button3->geometry().bottom(), lower->height());
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Счет"));
    EXPECT_EQ(form->Button2->toolTip(), QStringLiteral("Найти координаты главной точки"));
    EXPECT_EQ(form->Button3->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(form->Button3->toolTip(), QStringLiteral("Сохранить результаты"));
}

TEST_F(CalibrationWindow, ListBoxHoldsAMillionLinesOf16PixelItems) {
    EXPECT_EQ(form->ListBox1->RowHeight(), 16);
    QStringList lines;
    lines.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        lines << QString::number(i);
    form->SetListBoxLines(lines);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->ListBoxLines().size(), 1000000);
    EXPECT_EQ(form->ListBoxLines().last(), QStringLiteral("999999"));
    EXPECT_EQ(form->ListBox1->sizeHintForRow(0), 16);
    EXPECT_EQ(form->ListBox1->visualRect(form->ratioListModel->index(1)).top(),
              form->ListBox1->visualRect(form->ratioListModel->index(0)).top() + 16);
}

TEST_F(CalibrationWindow, ChoosingTheSceneFileKeepsThePathAndShowsTheName) {
    const QString field = folder(QStringLiteral("field"));
    const QString scene = field + QStringLiteral("/scene1.crd");
    host.answerFile(scene);
    QTest::mouseClick(form->Button5, Qt::LeftButton);

    EXPECT_EQ(form->Edit11->text(), QStringLiteral("scene1.crd"));
    EXPECT_EQ(form->sceneFileName, scene);
    EXPECT_TRUE(form->imageFileName.isEmpty());
    EXPECT_TRUE(form->Edit10->text().isEmpty());
    const auto dialogs = host.records(DialogRecord::Kind::FileDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(dialogs[0].openDialog);
    EXPECT_TRUE(dialogs[0].multiSelect);
    EXPECT_EQ(dialogs[0].filter, QStringLiteral("Coordinate Files (*.crd)|*.crd"));
    EXPECT_EQ(dialogs[0].defaultExt, QStringLiteral("*.crd"));
    EXPECT_EQ(dialogs[0].initialDir, startFolder);
    // After the first pick the dialog opens in the current folder, which moved to the
    // chosen file's folder.
    EXPECT_TRUE(form->OpenCrdDialog.InitialDir.isEmpty());
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(field).canonicalPath());

    host.answerFile(field + QStringLiteral("/image1.crd"));
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("image1.crd"));
    EXPECT_EQ(form->imageFileName, field + QStringLiteral("/image1.crd"));
    EXPECT_EQ(form->sceneFileName, scene);
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_TRUE(host.records()[1].initialDir.isEmpty());
}

TEST_F(CalibrationWindow, SeveralChosenFilesGiveTheFirst) {
    const QString field = folder(QStringLiteral("many"));
    host.answerFiles({field + QStringLiteral("/b.crd"), field + QStringLiteral("/a.crd"),
                      field + QStringLiteral("/c.crd")});
    form->Button1Click(form->Button1);
    EXPECT_EQ(form->imageFileName, field + QStringLiteral("/b.crd"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("b.crd"));
}

TEST_F(CalibrationWindow, CancellingTheDialogChangesNothing) {
    host.answerCancel();
    form->Button5Click(form->Button5);
    EXPECT_TRUE(form->Edit11->text().isEmpty());
    EXPECT_TRUE(form->sceneFileName.isEmpty());
    EXPECT_EQ(form->OpenCrdDialog.InitialDir, startFolder);
    EXPECT_EQ(QDir::currentPath(), startFolder);

    const QString field = folder(QStringLiteral("field"));
    host.answerFile(field + QStringLiteral("/scene1.crd"));
    form->Button5Click(form->Button5);
    host.answerCancel();
    form->Button5Click(form->Button5);
    EXPECT_EQ(form->Edit11->text(), QStringLiteral("scene1.crd"));
    EXPECT_EQ(form->sceneFileName, field + QStringLiteral("/scene1.crd"));
    EXPECT_TRUE(form->OpenCrdDialog.InitialDir.isEmpty());
}

TEST_F(CalibrationWindow, TypedNameBeforeAnyChoiceIsTakenAsTyped) {
    type(form->Edit10, QStringLiteral("a.crd"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("a.crd"));
    EXPECT_EQ(form->imageFileName, QStringLiteral("a.crd"));
    EXPECT_TRUE(form->sceneFileName.isEmpty());
}

TEST_F(CalibrationWindow, TypedNameIsTakenInTheFolderOfTheFileChosenLast) {
    const QString field = folder(QStringLiteral("field"));
    host.answerFile(field + QStringLiteral("/scene1.crd"));
    form->Button5Click(form->Button5);

    // Every key release stores the folder followed by the field's text of the moment.
    clearByKeys(form->Edit11);
    EXPECT_EQ(form->sceneFileName, field + QStringLiteral("/scene1.crd")); // empty field
    const QString typed = QStringLiteral("scene2.crd");
    for (qsizetype i = 0; i < typed.size(); ++i) {
        QTest::keyClick(form->Edit11, typed[i].toLatin1());
        EXPECT_EQ(form->sceneFileName, field + QLatin1Char('/') + typed.left(i + 1));
    }

    // A typed sub-folder is taken once, not twice.
    clearByKeys(form->Edit11);
    type(form->Edit11, QStringLiteral("sub/b"));
    EXPECT_EQ(form->sceneFileName, field + QStringLiteral("/sub/b"));

    // An absolute path stands as it is.
    clearByKeys(form->Edit11);
    type(form->Edit11, QStringLiteral("/other/c.crd"));
    EXPECT_EQ(form->sceneFileName, QStringLiteral("/other/c.crd"));

    // The image field has a folder of its own: none chosen yet.
    type(form->Edit10, QStringLiteral("i.crd"));
    EXPECT_EQ(form->imageFileName, QStringLiteral("i.crd"));
}

TEST_F(CalibrationWindow, EmptiedFieldKeepsTheMember) {
    const QString field = folder(QStringLiteral("field"));
    host.answerFile(field + QStringLiteral("/image1.crd"));
    form->Button1Click(form->Button1);
    clearByKeys(form->Edit10);
    EXPECT_TRUE(form->Edit10->text().isEmpty());
    EXPECT_EQ(form->imageFileName, field + QStringLiteral("/image1.crd"));
    // Any key at all counts as a release in the field, an arrow key too.
    QTest::keyClick(form->Edit10, Qt::Key_Left);
    EXPECT_EQ(form->imageFileName, field + QStringLiteral("/image1.crd"));
}

TEST_F(CalibrationWindow, HelpAsksForTheContentsOfTheHelpFile) {
    host.answerHelp();
    form->N10->trigger();
    const auto help = host.records(DialogRecord::Kind::Help);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].text, QStringLiteral("VRMAHelp\\VRMA_01.HLP"));
    EXPECT_EQ(help[0].command, HELP_FINDER);
    EXPECT_EQ(help[0].data, 0u);
    EXPECT_EQ(help[0].ownerName, QStringLiteral("AlfaKalibr_Form"));
}

namespace {

// The desktop host with its message box recorded instead of shown.
class DesktopHostWithoutScreen : public DesktopHost {
public:
    QStringList texts;
    int messageBox(QWidget*, const QString& text, const QString&, unsigned) override {
        texts << text;
        return IDOK;
    }

protected:
    bool openDocument(const QString&) override {
        ADD_FAILURE() << "no help file exists here";
        return false;
    }
};

} // namespace

TEST_F(CalibrationWindow, WithoutAHelpFileTheDesktopHostShowsTheGuide) {
    DesktopHostWithoutScreen desktop;
    test::ScopedDialogHost useDesktop(desktop);
    form->N10->trigger();
    EXPECT_TRUE(desktop.texts.isEmpty());
    THelpForm* guide = GuideWindow();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_FALSE(guide->isModal());
    EXPECT_EQ(guide->window()->parentWidget(), form.get()) << "it goes with the window";
    EXPECT_TRUE(
        guide->Browser->source().toString().endsWith(QStringLiteral("VRMAHelp/index.html")));
    EXPECT_EQ(guide->Browser->documentTitle(), QStringLiteral("Содержание"));
    // The calibration window stays usable beside it.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    guide->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(GuideWindow(), nullptr);
}

TEST_F(CalibrationWindow, AboutBoxIsShownModallyAndClosedWithOk) {
    bool checked = false;
    host.answerModal([&](QWidget& window) {
        auto* box = qobject_cast<TVRMAAboutBox*>(&window);
        EXPECT_EQ(box, form->AboutBox);
        if (!box)
            return 0;
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(box->isModal());
        EXPECT_EQ(box->windowTitle(), QStringLiteral("О программе"));
        EXPECT_EQ(box->size(), QSize(316, 193));
        EXPECT_EQ(box->ProductName->text(), QStringLiteral("VRMA"));
        EXPECT_EQ(box->Version->text(), QStringLiteral("Version 1.0.0"));
        EXPECT_EQ(box->Copyright->text(), QStringLiteral("2003"));
        EXPECT_EQ(box->ProgramIcon->size(), QSize(80, 70));
        EXPECT_FALSE(box->ProgramIcon->Picture().isNull());
        EXPECT_EQ(box->OKButton->size(), QSize(92, 30));
        EXPECT_TRUE(box->OKButton->isDefault());
        EXPECT_GT(box->OKButton->y(), box->Panel1->geometry().bottom());
        const QRect screen = box->screen()->availableGeometry();
        EXPECT_LE(std::abs(box->frameGeometry().center().x() - screen.center().x()), 3);
        EXPECT_LE(std::abs(box->frameGeometry().center().y() - screen.center().y()), 3);
        QTest::mouseClick(box->OKButton, Qt::LeftButton);
        checked = true;
        return box->result();
    });
    form->N11->trigger();
    EXPECT_TRUE(checked);
    const auto modal = host.records(DialogRecord::Kind::Modal);
    ASSERT_EQ(modal.size(), 1u);
    EXPECT_EQ(modal[0].objectName, QStringLiteral("VRMAAboutBox"));
    EXPECT_EQ(modal[0].className, QStringLiteral("vrma::TVRMAAboutBox"));
    EXPECT_EQ(form->AboutBox->result(), QDialog::Accepted);
    EXPECT_FALSE(form->AboutBox->isVisible());
    // Hidden, not destroyed: the same box is shown the next time.
    host.answerModal();
    form->N11->trigger();
    EXPECT_EQ(host.records(DialogRecord::Kind::Modal).size(), 2u);
}

TEST_F(CalibrationWindow, ExitClosesTheWindow) {
    form->N15->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(CalibrationWindow, ResizingKeepsThePlotAndItsPicture) {
    {
        QPainter painter(&form->Image1->Picture());
        painter.setPen(Qt::red);
        painter.drawLine(30, 250, 613, 250);
    }
    for (const QSize size : {QSize(690, 450), QSize(1100, 900), QSize(812, 644)}) {
        form->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(form->Image1->size(), QSize(700, 500));
        EXPECT_EQ(form->Image1->Picture().size(), QSize(700, 500));
        EXPECT_EQ(form->Image1->Picture().pixel(300, 250), qRgb(255, 0, 0));
        EXPECT_EQ(form->Image1->Picture().pixel(300, 260), qRgb(255, 255, 255));
        // The splash follows the visible part of the plot area.
        EXPECT_EQ(form->Image2->geometry(), form->ScrollBox1->viewport()->rect());
        EXPECT_EQ(form->Panel5->width(), 185);
    }
    EXPECT_EQ(form->minimumSize(), QSize(690, 450));
}

TEST_F(CalibrationWindow, DamagedSplashLeavesItEmptyAndTheWindowWorks) {
    form->LoadSplash(QByteArray("\xff\xd8 this is no picture"));
    EXPECT_TRUE(form->Image2->Picture().isNull());
    EXPECT_FALSE(form->grab().isNull());
    host.answerFile(folder(QStringLiteral("f")) + QStringLiteral("/s.crd"));
    form->Button5Click(form->Button5);
    EXPECT_EQ(form->Edit11->text(), QStringLiteral("s.crd"));
}
