// Target detection on rendered photographs whose true target positions are known: the
// order of the targets, their accuracy, the kinds of file, the failures and the files
// written for the calibration.
#include "calib/TargetDetection.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/PointFileWriter.h"
#include "data/TextFile.h"
#include "drawing/ScaleRatioCommand.h"
#include "platform/Dialogs.h"
#include "support/PhotoRenderer.h"
#include "support/RecordingDialogHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

using namespace vrma;
using vrma::test::PhotoScene;
using vrma::test::RenderedPhoto;
using vrma::test::RenderPhoto;
using vrma::test::RmsError;
using vrma::test::WritePhoto;

namespace {

PhotoScene Field(TargetKind kind) {
    PhotoScene scene;
    scene.kind = kind;
    return scene;
}

// Blurred, unevenly lit, noisy and JPEG compressed.
PhotoScene Degraded(PhotoScene scene) {
    scene.blur = 1.6;
    scene.lighting = 0.35;
    scene.noise = 3.0;
    scene.jpegQuality = 80;
    return scene;
}

class Detection : public ::testing::TestWithParam<TargetKind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previousHost = SetDialogHost(&host);
    }
    void TearDown() override {
        SetDialogHost(previousHost);
        SetDecimalSeparator(QLatin1Char('.'));
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    // The photograph written to a file and detected from it.
    DetectedTargets FromFile(const RenderedPhoto& photo, const PhotoScene& scene,
                             const QString& name) {
        const QString file = path(name);
        WritePhoto(photo, file);
        return DetectTargetsInFile(file, scene.kind, scene.columns, scene.rows);
    }

    QTemporaryDir dir;
    test::RecordingHost host;
    DialogHost* previousHost = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Kinds, Detection,
                         ::testing::Values(TargetKind::Chessboard, TargetKind::Dots),
                         [](const auto& info) {
                             return std::string(info.param == TargetKind::Chessboard ? "Chessboard"
                                                                                     : "Dots");
                         });

TEST_P(Detection, SharpRenderWithinTheTolerance) {
    const PhotoScene scene = Field(GetParam());
    const RenderedPhoto photo = RenderPhoto(scene);
    const DetectedTargets found = DetectTargets(photo.image, scene.kind, scene.columns, scene.rows);
    EXPECT_EQ(found.kind, scene.kind);
    EXPECT_EQ(found.columns, scene.columns);
    EXPECT_EQ(found.rows, scene.rows);
    EXPECT_EQ(found.imageWidth, scene.width);
    EXPECT_EQ(found.imageHeight, scene.height);
    // A target out of order would be a pitch (over 100 pixels) away from its truth.
    EXPECT_LT(RmsError(found.points, photo.truth), 0.05);
}

TEST_P(Detection, BlurredNoisyJpegWithinTheTolerance) {
    const PhotoScene scene = Degraded(Field(GetParam()));
    const RenderedPhoto photo = RenderPhoto(scene);
    ASSERT_FALSE(photo.jpeg.empty());
    const DetectedTargets found = FromFile(photo, scene, QStringLiteral("degraded.jpg"));
    EXPECT_LT(RmsError(found.points, photo.truth), 0.15);
}

TEST_P(Detection, TiltedFieldWithinTheTolerance) {
    // Dots seen at a slant: the middle of a dot's image is off the image of its middle by
    // about 0.1 pixel here, which the detection takes out.
    PhotoScene scene = Field(GetParam());
    scene.tiltX = 15.0;
    scene.tiltY = -20.0;
    scene.blur = 0.8;
    const RenderedPhoto photo = RenderPhoto(scene);
    const DetectedTargets found = DetectTargets(photo.image, scene.kind, scene.columns, scene.rows);
    EXPECT_LT(RmsError(found.points, photo.truth), 0.04);
}

TEST_P(Detection, SixteenBitColourPngAndColourJpeg) {
    PhotoScene deep = Field(GetParam());
    deep.sixteenBit = true;
    deep.colour = true;
    deep.blur = 1.0;
    const RenderedPhoto deepPhoto = RenderPhoto(deep);
    ASSERT_EQ(deepPhoto.image.depth(), CV_16U);
    ASSERT_EQ(deepPhoto.image.channels(), 3);
    EXPECT_LT(
        RmsError(FromFile(deepPhoto, deep, QStringLiteral("deep.png")).points, deepPhoto.truth),
        0.05);

    PhotoScene grey16 = Field(GetParam());
    grey16.sixteenBit = true;
    const RenderedPhoto greyPhoto = RenderPhoto(grey16);
    EXPECT_LT(
        RmsError(FromFile(greyPhoto, grey16, QStringLiteral("grey16.tif")).points, greyPhoto.truth),
        0.05);

    PhotoScene colour = Degraded(Field(GetParam()));
    colour.colour = true;
    const RenderedPhoto colourPhoto = RenderPhoto(colour);
    EXPECT_LT(RmsError(FromFile(colourPhoto, colour, QStringLiteral("colour.jpg")).points,
                       colourPhoto.truth),
              0.15);
}

TEST_P(Detection, TurnedHalfRoundGivesTheSameOrder) {
    // The finders may hand the grid back from any corner; the list still starts at the top
    // left target of the image and goes down the columns.
    for (const double roll : {180.0, 176.0, -4.0}) {
        PhotoScene scene = Field(GetParam());
        scene.roll = roll;
        scene.blur = 1.0;
        const RenderedPhoto photo = RenderPhoto(scene);
        const DetectedTargets found =
            DetectTargets(photo.image, scene.kind, scene.columns, scene.rows);
        EXPECT_LT(RmsError(found.points, photo.truth), 0.05) << roll;
        ASSERT_EQ(found.points.size(), size_t(scene.columns) * size_t(scene.rows));
        EXPECT_GT(found.points[1].y, found.points[0].y) << roll; // down the first column
        EXPECT_GT(found.points[size_t(scene.rows)].x, found.points[0].x) << roll; // then right
    }
}

TEST_F(Detection, LightDotsOnDark) {
    PhotoScene scene = Field(TargetKind::Dots);
    scene.lightOnDark = true;
    scene.blur = 1.2;
    const RenderedPhoto photo = RenderPhoto(scene);
    EXPECT_LT(RmsError(DetectTargets(photo.image, scene.kind, scene.columns, scene.rows).points,
                       photo.truth),
              0.05);
    const PhotoScene degraded = Degraded(scene);
    const RenderedPhoto degradedPhoto = RenderPhoto(degraded);
    EXPECT_LT(RmsError(FromFile(degradedPhoto, degraded, QStringLiteral("light.jpg")).points,
                       degradedPhoto.truth),
              0.15);
}

TEST_P(Detection, SteepPerspectiveThroughABarrelLens) {
    // The field turned 45 to 55 degrees away about the vertical axis: its far columns come
    // out a third narrower and turned against the near ones.
    for (const double tilt : {45.0, 50.0, 55.0}) {
        PhotoScene scene = Field(GetParam());
        scene.tiltY = tilt;
        scene.tiltX = 8.0;
        scene.k1 = -0.21;
        scene.k2 = 0.08;
        scene.fill = 0.7;
        scene.blur = 1.0;
        const RenderedPhoto photo = RenderPhoto(scene);
        const DetectedTargets found =
            DetectTargets(photo.image, scene.kind, scene.columns, scene.rows);
        EXPECT_LT(RmsError(found.points, photo.truth), 0.1) << tilt;
    }
}

TEST_P(Detection, GridOfOtherSizeIsNotFoundAndNamed) {
    const PhotoScene scene = Field(GetParam());
    const RenderedPhoto photo = RenderPhoto(scene);
    const bool chessboard = scene.kind == TargetKind::Chessboard;
    // One column short, one more row (a chessboard's squares counted for its corners): the
    // grid seen is named, counted as the user counts.
    for (const auto& [columns, rows] : {std::pair{8, 6}, std::pair{10, 7}, std::pair{6, 10}}) {
        try {
            DetectTargets(photo.image, scene.kind, columns, rows);
            ADD_FAILURE() << columns << " x " << rows << " was found";
        } catch (const GridNotFound& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()),
                      columns > rows ? messages::GridOfOtherSize(9, 6, columns, rows, chessboard)
                                     : messages::GridOfOtherSize(6, 9, columns, rows, chessboard))
                << error.what();
        }
    }
}

TEST_P(Detection, PartlyOutsideThePhotographIsSaid) {
    // The field's right third beyond the photograph's edge.
    PhotoScene scene = Field(GetParam());
    scene.shiftX = 0.35;
    scene.blur = 0.8;
    const RenderedPhoto photo = RenderPhoto(scene);
    try {
        DetectTargets(photo.image, scene.kind, scene.columns, scene.rows);
        ADD_FAILURE() << "found";
    } catch (const GridNotFound& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), messages::GridPartlyOutside()) << error.what();
    }
}

TEST_P(Detection, CoefficientOfTheWrittenFilesIsTheAspectRatio) {
    PhotoScene scene = Field(GetParam());
    scene.blur = 1.0;
    scene.noise = 1.0;
    scene.fy = scene.fx * 1.0035;
    const RenderedPhoto photo = RenderPhoto(scene);
    const DetectedTargets found = FromFile(photo, scene, QStringLiteral("field.png"));
    SetDecimalSeparator(QLatin1Char(','));
    const QString sceneFile = path(QStringLiteral("scene.crd"));
    const QString imageFile = path(QStringLiteral("image.crd"));
    WritePointFiles(sceneFile, SceneGrid(found.columns, found.rows, scene.pitch, scene.pitch),
                    imageFile, found.points);
    VT_Points scenePoints(1);
    VT_Points imagePoints(1);
    const ScaleRatioOutcome calibration =
        RunScaleRatioCommand(QString::number(scene.columns), QString::number(scene.rows), sceneFile,
                             imageFile, scenePoints, imagePoints);
    ASSERT_TRUE(calibration.done());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_NEAR(calibration.run.coefficient, scene.fy / scene.fx, 2e-4);
}

TEST_P(Detection, ProgressRisesAndCancelStops) {
    const PhotoScene scene = Field(GetParam());
    const RenderedPhoto photo = RenderPhoto(scene);
    const QString file = path(QStringLiteral("field.png"));
    WritePhoto(photo, file);
    std::vector<int> told;
    DetectTargetsInFile(file, scene.kind, scene.columns, scene.rows, [&](int percent) {
        told.push_back(percent);
        return true;
    });
    ASSERT_GE(told.size(), 4u);
    EXPECT_EQ(told.front(), 0);
    EXPECT_EQ(told.back(), 100);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));

    // Stopped at each boundary in turn: it stops there, asked no further.
    for (size_t stop = 0; stop < told.size(); ++stop) {
        size_t calls = 0;
        EXPECT_THROW(DetectTargetsInFile(file, scene.kind, scene.columns, scene.rows,
                                         [&](int) { return calls++ < stop; }),
                     DetectionCancelled)
            << stop;
        EXPECT_EQ(calls, stop + 1);
    }
}

// ---- failures -------------------------------------------------------------------------

class DetectionFailures : public Detection {};

template <class Error> QString MessageOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const Error& error) {
        return QString::fromUtf8(error.what());
    }
    return QStringLiteral("(nothing thrown)");
}

TEST_F(DetectionFailures, PhotographsThatCannotBeRead) {
    const QString missing = path(QStringLiteral("missing.jpg"));
    const QString text = path(QStringLiteral("text.jpg"));
    WriteTextLines(text, {QStringLiteral("1 ; 2")});
    // A JPEG cut after half its bytes: the decoders would give a picture half grey.
    PhotoScene scene = Field(TargetKind::Chessboard);
    scene.jpegQuality = 90;
    RenderedPhoto photo = RenderPhoto(scene);
    photo.jpeg.resize(photo.jpeg.size() / 2);
    const QString truncated = path(QStringLiteral("truncated.jpg"));
    WritePhoto(photo, truncated);
    // And a PNG cut short.
    scene.jpegQuality = 0;
    const QString png = path(QStringLiteral("whole.png"));
    WritePhoto(RenderPhoto(scene), png);
    QFile whole(png);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString cutPng = path(QStringLiteral("cut.png"));
    QFile cut(cutPng);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() * 2 / 3));
    cut.close();

    for (const QString& file : {missing, text, truncated, cutPng, dir.path()}) {
        EXPECT_EQ(MessageOf<PhotoReadError>([&] { ReadPhotograph(file); }),
                  messages::PhotoUnreadable())
            << file.toStdString();
        EXPECT_EQ(MessageOf<PhotoReadError>(
                      [&] { DetectTargetsInFile(file, TargetKind::Chessboard, 9, 6); }),
                  messages::PhotoUnreadable())
            << file.toStdString();
    }
    // The whole photograph reads, with a NUL byte in its first few bytes.
    ASSERT_TRUE(bytes.left(64).contains('\0'));
    EXPECT_EQ(ReadPhotograph(png).cols, scene.width);
}

TEST_F(DetectionFailures, PicturesWithoutTheGrid) {
    // A photograph of one pixel, one of the paper alone, and one of the other kind.
    const QString tiny = path(QStringLiteral("tiny.png"));
    ASSERT_TRUE(cv::imwrite(tiny.toStdString(), cv::Mat(1, 1, CV_8U, cv::Scalar(200))));
    cv::Mat paper(1200, 1600, CV_8U, cv::Scalar(230));
    cv::randn(paper, 200, 20);
    const QString blank = path(QStringLiteral("blank.png"));
    ASSERT_TRUE(cv::imwrite(blank.toStdString(), paper));
    const QString dots = path(QStringLiteral("dots.png"));
    WritePhoto(RenderPhoto(Field(TargetKind::Dots)), dots);
    for (const QString& file : {tiny, blank, dots})
        EXPECT_EQ(MessageOf<GridNotFound>(
                      [&] { DetectTargetsInFile(file, TargetKind::Chessboard, 9, 6); }),
                  messages::GridNotFound())
            << file.toStdString();
    EXPECT_EQ(MessageOf<GridNotFound>([&] { DetectTargetsInFile(blank, TargetKind::Dots, 9, 6); }),
              messages::GridNotFound());
    EXPECT_THROW(DetectTargets(paper, TargetKind::Dots, 1, 6), std::invalid_argument);
    EXPECT_THROW(DetectTargets(paper, TargetKind::Chessboard, 9, 0), std::invalid_argument);
}

} // namespace
