// The calibration window with a camera calibrated in this run: the field check of the
// calibration on screen uses it (the node analysis has no focal length to type), and a
// tilted field is told in red under the result fields with the corrected value, while the
// list, the coefficient and what "Сохранить" writes stay those of the plain calibration. A
// camera of another image size is not taken.
#include "app/Alfa_form.h"
#include "app/NodeAnalysisWindow.h"
#include "data/PointFileWriter.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "support/ScriptedDialogHost.h"
#include "support/TiltedField.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vrma {
namespace {

using test::DialogRecord;

class CalibratedCamera : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
        form->show();
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // The files of a field seen by a camera of fy/fx = 1.0035 (fx 1000, 720 x 576), tilted
    // as given, calibrated in the window.
    void calibrate(const test::FieldPose& pose, unsigned seed) {
        const test::TiltedField field =
            test::MakeField(test::PinholeCamera{}, pose, 11, 9, 0.05, seed);
        const QString scene = path(QStringLiteral("scene%1.crd").arg(seed));
        const QString image = path(QStringLiteral("image%1.crd").arg(seed));
        WritePointFiles(scene, field.scene, image, field.image);
        form->sceneFileName = scene;
        form->imageFileName = image;
        form->Edit5->setText(QStringLiteral("11"));
        form->Edit3->setText(QStringLiteral("9"));
        form->Edit6->setText(QStringLiteral("720"));
        form->Edit7->setText(QStringLiteral("576"));
        form->N4->trigger();
        ASSERT_TRUE(host.records(DialogRecord::Kind::MessageBox).empty());
        waitForTheCheck();
    }

    // The field check behind the warning runs on a thread of its own.
    void waitForTheCheck() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->tiltChecking(); }, 60000));
    }

    void takeCamera(const Camera& camera) {
        form->TakeCalibratedCamera(camera);
        waitForTheCheck();
    }

    static Camera TrueCamera(double width = 720.0, double height = 576.0) {
        return Camera::Centred(width, height, 1000.0, 1003.5);
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(CalibratedCamera, ATiltedFieldIsToldInRedWithTheCorrectedValue) {
    calibrate({12.0, 0.0}, 3);
    // Nothing known of the camera: no check, no warning.
    EXPECT_TRUE(form->TiltWarning->isHidden());
    const QStringList lines = form->ListBoxLines();
    const QString coefficient = form->Edit8->text();
    const double plain = form->coefficient;

    // A camera calibrated from photographs of this size: the check runs on it.
    form->TakeCalibratedCamera(TrueCamera());
    EXPECT_TRUE(form->tiltChecking());
    EXPECT_TRUE(form->TiltWarning->isHidden()); // until the check has ended
    waitForTheCheck();
    ASSERT_FALSE(form->TiltWarning->isHidden());
    const QString warning = form->TiltWarning->text();
    EXPECT_TRUE(warning.startsWith(QStringLiteral("Поле наклонено: коэффициент смещён на ")))
        << warning.toStdString();
    // The corrected value is the camera's fy/fx.
    const qsizetype at = warning.indexOf(QStringLiteral("Надёжнее исправленное значение "));
    ASSERT_GE(at, 0);
    const double corrected = warning.mid(at + 31, 6).toDouble();
    EXPECT_NEAR(corrected, 1.0035, 2e-4) << warning.toStdString();
    EXPECT_GT(form->TiltWarning->palette().color(QPalette::WindowText).red(), 150);
    // The results stay those of the plain calibration.
    EXPECT_EQ(form->ListBoxLines(), lines);
    EXPECT_EQ(form->Edit8->text(), coefficient);
    EXPECT_EQ(form->coefficient, plain);
    EXPECT_GT(plain, 1.0035 + 0.01); // the tilt's bias, which the table gets as before

    // Calibrated again on a field that faces the camera: no warning.
    calibrate({0.0, 0.0}, 4);
    EXPECT_TRUE(form->TiltWarning->isHidden());
    // A tilted one again, with the camera known from before.
    calibrate({0.0, 14.0}, 5);
    EXPECT_FALSE(form->TiltWarning->isHidden());
    // Results cleared (a run that fails clears them first): the warning goes with them.
    form->ClearResults();
    EXPECT_TRUE(form->TiltWarning->isHidden());

    // A check still running when the results are cleared tells nothing any more.
    calibrate({0.0, 14.0}, 8);
    ASSERT_FALSE(form->TiltWarning->isHidden());
    form->TakeCalibratedCamera(TrueCamera());
    ASSERT_TRUE(form->tiltChecking());
    form->ClearResults();
    waitForTheCheck();
    EXPECT_TRUE(form->TiltWarning->isHidden());
}

TEST_F(CalibratedCamera, TheNodeAnalysisUsesTheCameraAndNeedsNoFocalLength) {
    calibrate({10.0, 0.0}, 6);
    takeCamera(TrueCamera());
    bool checked = false;
    host.answerModal([&](QWidget& window) {
        auto& analysis = static_cast<TNodeAnalysisForm&>(window);
        EXPECT_FALSE(analysis.FocalEdit->isEnabled());
        EXPECT_EQ(analysis.FocalEdit->text(), QStringLiteral("1000"));
        EXPECT_TRUE(analysis.fieldCheck().has_value());
        if (analysis.fieldCheck()) {
            EXPECT_TRUE(analysis.fieldCheck()->cameraKnown);
            EXPECT_NEAR(analysis.fieldCheck()->tiltVerticalDeg, 10.0, 0.3);
            EXPECT_NEAR(*analysis.fieldCheck()->correctedCoefficient, 1.0035, 2e-4);
        }
        EXPECT_FALSE(analysis.TiltWarning->isHidden());
        checked = true;
        return 0;
    });
    form->nodeAnalysisAction->trigger();
    EXPECT_TRUE(checked);
}

TEST_F(CalibratedCamera, ACameraOfAnotherSizeIsNotTaken) {
    calibrate({12.0, 0.0}, 7);
    takeCamera(TrueCamera(1600.0, 1200.0));
    EXPECT_FALSE(form->tiltChecking()); // nothing to check it with
    EXPECT_TRUE(form->TiltWarning->isHidden());
    bool checked = false;
    host.answerModal([&](QWidget& window) {
        auto& analysis = static_cast<TNodeAnalysisForm&>(window);
        // The focal length is typed as before.
        EXPECT_TRUE(analysis.FocalEdit->isEnabled());
        EXPECT_TRUE(analysis.FocalEdit->text().isEmpty());
        checked = true;
        return 0;
    });
    form->nodeAnalysisAction->trigger();
    EXPECT_TRUE(checked);
}

} // namespace
} // namespace vrma
