// The node analysis window with the run's photograph: the homography's error, the tilt
// and the corrected coefficient for the focal length typed (or prefilled), the note on
// its sensitivity, the warning on a tilted field only, and the message of a degenerate
// field; the statistics of the nodes stay those of the window without it.
#include "app/Alfa_form.h"
#include "app/NodeAnalysisWindow.h"
#include "data/ExportFiles.h"
#include "data/TextFile.h"
#include "support/ScriptedDialogHost.h"
#include "support/TiltedField.h"

#include <QDir>
#include <QTemporaryDir>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace vrma;

namespace {

struct Shot {
    test::TiltedField field;
    ScaleRatioRun run;
    NodeRatios ratios;
    FieldGeometry geometry;
};

Shot Photograph(const test::FieldPose& pose, std::optional<double> focal, unsigned seed) {
    const test::PinholeCamera camera;
    Shot s;
    s.field = test::MakeField(camera, pose, 11, 9, 0.05, seed);
    s.run = s.field.run();
    s.ratios = NodeRatios{11, 9, s.run.ratios};
    s.geometry =
        FieldGeometry{s.field.scene, s.field.image, camera.width, camera.height, focal, {}};
    return s;
}

TEST(FieldTiltWindow, TiltedFieldShowsItsTiltTheCorrectedCoefficientAndTheWarning) {
    const Shot shot = Photograph({10.0, 0.0}, 1000.0, 5);
    TNodeAnalysisForm plain(shot.ratios);
    TNodeAnalysisForm form(shot.ratios, shot.geometry);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // What the window showed before stays as it was.
    EXPECT_EQ(plain.FieldBox, nullptr);
    EXPECT_EQ(form.MeanValue->text(), plain.MeanValue->text());
    EXPECT_EQ(form.SdValue->text(), plain.SdValue->text());
    EXPECT_EQ(form.CountValue->text(), QStringLiteral("63"));

    ASSERT_NE(form.FieldBox, nullptr);
    EXPECT_TRUE(form.FieldBox->isVisible());
    EXPECT_EQ(form.FocalEdit->text(), QStringLiteral("1000"));
    ASSERT_TRUE(form.fieldCheck());
    const FieldCheck& check = *form.fieldCheck();
    EXPECT_NEAR(check.tiltVerticalDeg, 10.0, 0.2);
    EXPECT_NEAR(*check.correctedCoefficient, 1.0035, 3e-4);
    EXPECT_TRUE(form.TiltVerticalValue->text().startsWith(QStringLiteral("+10.")))
        << form.TiltVerticalValue->text().toStdString();
    EXPECT_TRUE(form.TiltVerticalValue->text().endsWith(QStringLiteral("°")));
    EXPECT_TRUE(form.CorrectedValue->text().startsWith(
        QString::number(*check.correctedCoefficient, 'f', 6) + QStringLiteral(" ± ")));
    EXPECT_EQ(form.HomographyRmsValue->text(), QString::number(check.homographyRmsPx, 'f', 3));
    EXPECT_TRUE(form.SensitivityLabel->text().contains(QStringLiteral("ε · sin²θ")));
    EXPECT_TRUE(form.TiltWarning->isVisible());
    EXPECT_TRUE(form.TiltWarning->text().startsWith(QStringLiteral("Поле наклонено")));
    EXPECT_FALSE(form.FieldError->isVisible());
}

TEST(FieldTiltWindow, SquareFieldHasNoWarning) {
    const Shot shot = Photograph({}, 1000.0, 6);
    TNodeAnalysisForm form(shot.ratios, shot.geometry);
    form.show();
    ASSERT_TRUE(form.fieldCheck());
    EXPECT_LT(form.fieldCheck()->tiltDeg, 0.1);
    EXPECT_FALSE(form.TiltWarning->isVisible());
    EXPECT_TRUE(form.TiltWarning->text().isEmpty());
}

TEST(FieldTiltWindow, FocalLengthTypedAfterwardsAndTypedWrong) {
    const Shot shot = Photograph({0.0, 12.0}, std::nullopt, 7);
    TNodeAnalysisForm form(shot.ratios, shot.geometry);
    form.show();
    // No camera file: the field starts empty; the homography is there, the tilt is not.
    EXPECT_TRUE(form.FocalEdit->text().isEmpty());
    ASSERT_TRUE(form.fieldCheck());
    EXPECT_FALSE(form.fieldCheck()->tiltKnown);
    EXPECT_NE(form.HomographyRmsValue->text(), QStringLiteral("—"));
    EXPECT_EQ(form.TiltHorizontalValue->text(), QStringLiteral("—"));
    EXPECT_EQ(form.CorrectedValue->text(), QStringLiteral("—"));
    EXPECT_FALSE(form.TiltWarning->isVisible());

    form.FocalEdit->setText(QStringLiteral("тысяча"));
    form.FocalEditChange(form.FocalEdit);
    EXPECT_FALSE(form.fieldCheck());
    EXPECT_TRUE(form.FieldError->isVisible());
    EXPECT_EQ(form.CorrectedValue->text(), QStringLiteral("—"));

    // Typed and confirmed with Enter.
    form.FocalEdit->setFocus();
    form.FocalEdit->selectAll();
    QTest::keyClicks(form.FocalEdit, QStringLiteral("1000"));
    QTest::keyClick(form.FocalEdit, Qt::Key_Return);
    ASSERT_TRUE(form.fieldCheck());
    EXPECT_NEAR(std::fabs(form.fieldCheck()->tiltHorizontalDeg), 12.0, 0.2);
    EXPECT_FALSE(form.FieldError->isVisible());
    EXPECT_TRUE(form.TiltWarning->isVisible());
}

TEST(FieldTiltWindow, DegenerateFieldShowsTheMessageInsteadOfNumbers) {
    Shot shot = Photograph({5.0, 0.0}, 1000.0, 8);
    for (size_t k = 0; k < shot.geometry.scene.size(); ++k)
        shot.geometry.scene[k] = {double(k), 3.0 * double(k)};
    TNodeAnalysisForm form(shot.ratios, shot.geometry);
    EXPECT_FALSE(form.fieldCheck());
    EXPECT_FALSE(form.FieldError->isHidden());
    EXPECT_TRUE(form.FieldError->text().contains(QStringLiteral("одной прямой")));
    EXPECT_EQ(form.TiltVerticalValue->text(), QStringLiteral("—"));
    EXPECT_TRUE(form.TiltWarning->isHidden());
}

} // namespace

namespace {

// Through the calibration window: its run of a tilted field's files, its camera file's
// focal length in the field, and the warning.
QStringList Lines(const std::vector<PlanePoint>& points) {
    QStringList lines;
    for (const PlanePoint& p : points)
        lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                     QString::number(p.y, 'g', 17);
    return lines;
}

TEST(FieldTiltWindow, CalibrationWindowPassesItsPhotographAndItsCameraFilesFocalLength) {
    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    const Shot shot = Photograph({9.0, 0.0}, std::nullopt, 9);
    const QString scene = QDir(temp.path()).absoluteFilePath(QStringLiteral("scene.crd"));
    const QString image = QDir(temp.path()).absoluteFilePath(QStringLiteral("image.crd"));
    WriteTextLines(scene, Lines(shot.field.scene));
    WriteTextLines(image, Lines(shot.field.image));

    auto form = CreateMainWindow();
    form->show();
    form->sceneFileName = scene;
    form->imageFileName = image;
    form->Edit5->setText(QStringLiteral("11"));
    form->Edit3->setText(QStringLiteral("9"));
    form->N4Click(nullptr);
    ASSERT_TRUE(form->nodeAnalysisAction->isEnabled());
    const double coefficient = form->coefficient;

    // A camera file whose focal length the editor has filled in.
    QStringList cam = CameraFileLines(QStringLiteral("720"), QStringLiteral("576"),
                                      QDir(temp.path()).absoluteFilePath(QStringLiteral("t.tab")));
    cam[3] = QStringLiteral("1000") + cam[3].mid(cam[3].indexOf(QLatin1Char(';')) - 1);
    form->cameraFileName = QDir(temp.path()).absoluteFilePath(QStringLiteral("camT.cam"));
    WriteTextLines(form->cameraFileName, cam);

    bool ran = false;
    host.answerModal([&](QWidget& window) {
        auto* analysis = qobject_cast<TNodeAnalysisForm*>(&window);
        EXPECT_NE(analysis, nullptr);
        if (!analysis)
            return 0;
        EXPECT_NE(analysis->FieldBox, nullptr);
        EXPECT_EQ(analysis->FocalEdit->text(), QStringLiteral("1000"));
        EXPECT_TRUE(analysis->fieldCheck() && analysis->fieldCheck()->tiltKnown);
        EXPECT_NEAR(analysis->fieldCheck()->tiltVerticalDeg, 9.0, 0.2);
        EXPECT_NEAR(analysis->fieldCheck()->coefficient, coefficient, 0.0);
        EXPECT_TRUE(analysis->TiltWarning->isVisible());
        ran = true;
        return 0;
    });
    form->nodeAnalysisAction->trigger();
    EXPECT_TRUE(ran);

    // Without a camera file the focal length field starts empty.
    form->cameraFileName.clear();
    ran = false;
    host.answerModal([&](QWidget& window) {
        auto* analysis = qobject_cast<TNodeAnalysisForm*>(&window);
        EXPECT_NE(analysis, nullptr);
        if (!analysis)
            return 0;
        EXPECT_TRUE(analysis->FocalEdit->text().isEmpty());
        ran = true;
        return 0;
    });
    form->nodeAnalysisAction->trigger();
    EXPECT_TRUE(ran);
    EXPECT_DOUBLE_EQ(form->coefficient, coefficient);
}

} // namespace
