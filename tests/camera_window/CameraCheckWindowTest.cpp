// "Проверить камеру…" in the camera window on renders of a known camera: the camera of the
// renders explains them, one 1 % longer has drifted; a file that is no camera is refused.
// The check runs off the user interface's thread and ends in one message, worded as
// vrma-calib words it.
#include "app/Alfa_form.h"
#include "app/BoardForm.h"
#include "app/CameraWindow.h"
#include "data/CameraMessages.h"
#include "data/Messages.h"
#include "editor/Edit.h"
#include "support/BoardViews.h"
#include "support/ScriptedDialogHost.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vrma {
namespace {

using test::DialogRecord;

class CameraCheckWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        test::PhotoScene scene;
        photos = new QStringList(test::WriteLensSet(folder->path(), &scene));
        truth = new Camera(test::TrueTargets(scene).camera);
    }
    static void TearDownTestSuite() {
        delete folder;
        delete photos;
        delete truth;
    }

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
        form->cameraAction->trigger();
        window = form->CameraForm;
        ASSERT_NE(window, nullptr);
        window->BoardForm->KindBox->setCurrentIndex(0);
        window->BoardForm->ColumnsEdit->setText(QStringLiteral("9"));
        window->BoardForm->RowsEdit->setText(QStringLiteral("6"));
        window->BoardForm->PitchEdit->setText(QStringLiteral("20"));
        host.answerFiles(*photos);
        window->AddButton->click();
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return !window->searching() && !window->fitting(); }, 120000));
        host.clearRecords();
    }
    void TearDown() override {
        form.reset();
        DestroyEditorWindows();
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
    TCameraForm* window = nullptr;
    static inline QTemporaryDir* folder = nullptr;
    static inline QStringList* photos = nullptr;
    static inline Camera* truth = nullptr;
};

TEST_F(CameraCheckWindow, TheCameraOfThePhotographsExplainsThemAndALongerOneHasDrifted) {
    Camera longer = *truth;
    longer[CameraParameter::Fx] *= 1.01;
    longer[CameraParameter::Fy] *= 1.01;
    for (const auto& [camera, explains] : {std::pair{*truth, true}, std::pair{longer, false}}) {
        CameraCalibration saved;
        saved.camera = camera;
        const QString yaml = QDir(temp.path()).absoluteFilePath(QStringLiteral("saved.yml"));
        WriteOpenCvCameraYaml(yaml, saved);
        host.clearRecords();
        host.answerFile(yaml);
        host.answerOk();
        window->CheckButton->click();
        // The check runs on the fits' thread: the click has returned before it ends.
        EXPECT_TRUE(window->checking());
        EXPECT_FALSE(window->CheckButton->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->checking(); }, 120000));
        EXPECT_TRUE(window->CheckButton->isEnabled());

        const auto files = host.records(DialogRecord::Kind::FileDialog);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files[0].openDialog);
        EXPECT_EQ(files[0].filter, QStringLiteral("Файлы YAML|*.yml;*.yaml|Все файлы|*.*"));
        const auto shown = host.records(DialogRecord::Kind::MessageBox);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, messages::CameraCheckCaption());
        const QStringList lines = shown[0].text.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2) << shown[0].text.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Проверка камеры: СКО")));
        EXPECT_EQ(lines[1], messages::CameraExplainsPhotos(explains)) << explains;
    }
}

TEST_F(CameraCheckWindow, AFileWithoutACameraIsRefusedByName) {
    const QString yaml = QDir(temp.path()).absoluteFilePath(QStringLiteral("none.yml"));
    QFile file(yaml);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%YAML:1.0\n---\nimage_width: 800\n");
    file.close();
    host.answerFile(yaml);
    host.answerOk();
    window->CheckButton->click();
    EXPECT_FALSE(window->checking());
    const auto shown = host.records(DialogRecord::Kind::MessageBox);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, messages::ErrorCaption());
    EXPECT_EQ(shown[0].text, messages::CameraYamlUnreadable(yaml));
}

} // namespace
} // namespace vrma
