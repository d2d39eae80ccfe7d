// Editors opened from the calibration window, side by side with it, and an editor shown
// modally, whose closing ends the modal display.
#include "EditorTestSupport.h"
#include "app/Alfa_form.h"
#include "platform/Application.h"
#include "platform/StringGrid.h"

#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace vrma::test {
namespace {

class FromCalibration : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override {
        form.reset();
        EditorTest::TearDown();
    }

    ScopedCurrentFolder keepFolder;
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(FromCalibration, ADoubleClickOpensTheFileAsAPointDocumentBesideTheWindow) {
    form->sceneFileName = Write(QStringLiteral("scene.crd"), "0;0\r\n25;0\r\n");
    form->imageFileName = Write(QStringLiteral("image.crd"), "1,5;2\r\n");
    QTest::mouseDClick(form->Edit11, Qt::LeftButton);
    ASSERT_EQ(EditorWindows().size(), 1);
    TRedForm* scene = EditorWindows().at(0);
    EXPECT_TRUE(scene->isVisible());
    EXPECT_FALSE(scene->isModal());
    EXPECT_EQ(scene->kind, 2);
    EXPECT_EQ(scene->fileName, form->sceneFileName);
    EXPECT_EQ(scene->windowTitle(), QStringLiteral("scene.crd Реперные точки"));
    EXPECT_EQ(scene->StringGrid1->Cells(1, 2), QStringLiteral("25"));
    EXPECT_TRUE(form->isVisible());

    QTest::mouseDClick(form->Edit10, Qt::LeftButton);
    ASSERT_EQ(EditorWindows().size(), 2);
    TRedForm* image = EditorWindows().at(1);
    EXPECT_EQ(image->fileName, form->imageFileName);
    EXPECT_EQ(image->StringGrid1->Cells(1, 1), QStringLiteral("1,5"));
    EXPECT_TRUE(scene->isVisible());
    EXPECT_TRUE(host.records().empty());
}

TEST_F(FromCalibration, EveryDoubleClickMakesAnotherWindow) {
    // Nothing chosen yet: an empty, untitled document, twice.
    form->Edit11DblClick();
    form->Edit11DblClick();
    const QList<TRedForm*> windows = EditorWindows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_NE(windows[0], windows[1]);
    for (TRedForm* w : windows) {
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Untitled Реперные точки"));
        EXPECT_EQ(w->StringGrid1->RowCount(), 2);
        EXPECT_EQ(w->StringGrid1->Cells(0, 1), QStringLiteral("1"));
    }
}

TEST_F(FromCalibration, AFileThatDoesNotOpenShowsTheMessageAndNoWindow) {
    form->imageFileName = Write(QStringLiteral("bad.crd"), "1;2;3\r\n");
    host.answerOk();
    form->Edit10DblClick();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text,
              QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику."));
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
    ASSERT_EQ(EditorWindows().size(), 1);
    EXPECT_FALSE(EditorWindows().at(0)->isVisible());
}

TEST_F(FromCalibration, ClosingAnEditorShownModallyEndsTheModalDisplay) {
    // Through the scripted host: the user edits and closes the modal window, answering
    // the question.
    TRedForm* w = Open(Write(QStringLiteral("m.crd"), "1;2\r\n"), 2);
    host.answerModal([](QWidget& window) {
        auto& editor = static_cast<TRedForm&>(window);
        EXPECT_TRUE(editor.isVisible());
        EXPECT_TRUE(editor.isModal());
        editor.ToolButton5Click();
        EXPECT_TRUE(editor.close());
        EXPECT_FALSE(editor.isVisible());
        return 0;
    });
    host.answerNo();
    CurrentDialogHost().execModal(*w);
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Данные не сохранены. Сохранить?"));

    // Through the desktop host's own modal loop: "Выход" ends it.
    DialogHost* scripted = SetDialogHost(nullptr);
    TRedForm* other = CreateEditorWindow();
    EXPECT_EQ(other->OpenDocument(Write(QStringLiteral("n.crd"), "3;4\r\n"), 2), 1);
    QTimer::singleShot(0, other, [other] { other->N6Click(); });
    const int result = CurrentDialogHost().execModal(*other);
    SetDialogHost(scripted);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(other->isVisible());
}

} // namespace
} // namespace vrma::test
