// A camera from several photographs of a board turned any way (calib/PhotoCalibration,
// over calib/TargetDetection's labelling in the board's own axes), on renders through a
// lens with a known camera: the four quarter turns found and labelled as printed (or, where
// the board's look cannot tell them apart, as the smallest turn consistent with it);
// barrel and pincushion lenses and an off-centre principal point recovered through the
// whole pipeline from files; a photograph without the board, one with two targets swapped
// and one the user leaves out, each marked; the OpenCV YAML read back by OpenCV.
#include "calib/PhotoCalibration.h"
#include "data/Errors.h"
#include "data/Messages.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <vector>

namespace vrma {
namespace {

using test::PhotoScene;
using test::RenderedPhoto;
using test::RenderPhoto;

// A small camera with a pincushion lens and its principal point off the centre.
PhotoScene SmallPincushion(TargetKind kind, int columns, int rows) {
    PhotoScene scene;
    scene.kind = kind;
    scene.columns = columns;
    scene.rows = rows;
    scene.width = 800;
    scene.height = 600;
    scene.fx = 1000.0;
    scene.fy = 1004.0;
    scene.cx = 0.5 * (scene.width - 1) - 10.0;
    scene.cy = 0.5 * (scene.height - 1) + 7.0;
    scene.k1 = 0.15;
    scene.k2 = -0.04;
    scene.fill = 0.6;
    scene.tiltX = 12.0;
    scene.tiltY = -8.0;
    scene.blur = 0.8;
    return scene;
}

// The board's labelling turned by `quarters` quarter turns clockwise (its x axis taking
// the place of the one that was that many quarters before it): target (i, j) of the new
// labelling is target (columns - 1 - j, i) of the old for one quarter. The board must be
// square for an odd count.
std::vector<PlanePoint> Relabel(std::vector<PlanePoint> points, int columns, int rows,
                                int quarters) {
    for (int q = 0; q < ((quarters % 4) + 4) % 4; ++q) {
        std::vector<PlanePoint> turned(points.size());
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < columns; ++j)
                turned[size_t(i) * size_t(columns) + size_t(j)] =
                    points[size_t(columns - 1 - j) * size_t(rows) + size_t(i)];
        points = std::move(turned);
        std::swap(columns, rows);
    }
    return points;
}

double Rms(const std::vector<PlanePoint>& a, const std::vector<PlanePoint>& b) {
    if (a.size() != b.size() || a.empty())
        return INFINITY;
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k)
        sum += std::pow(a[k].x - b[k].x, 2) + std::pow(a[k].y - b[k].y, 2);
    return std::sqrt(sum / double(a.size()));
}

struct TurnCase {
    TargetKind kind;
    int columns;
    int rows;
    bool told180; // the board's look tells a half turn
    bool told90;  // and a quarter turn (square boards)
};

// Found in each of the four quarter turns, labelled in the board's own axes: the printed
// target (i, j) where the truth has it, when the board's look tells the turn; otherwise
// the smallest turn consistent with the look, the labelling turned by as much.
TEST(BoardAxes, FourQuarterTurnsLabelledAsPrinted) {
    const TurnCase cases[] = {
        {TargetKind::Chessboard, 9, 6, true, true},   // NC + NR odd: every turn told
        {TargetKind::Chessboard, 8, 6, false, true},  // NC + NR even: half turns not told
        {TargetKind::Chessboard, 7, 7, false, true},  // square, odd: quarter turns told
        {TargetKind::Chessboard, 6, 6, false, false}, // square, even: nothing told
        {TargetKind::Dots, 9, 6, false, true},        // dots: only NC from NR
    };
    for (const TurnCase& c : cases) {
        for (const int roll : {0, 90, 180, 270}) {
            PhotoScene scene = SmallPincushion(c.kind, c.columns, c.rows);
            scene.roll = roll + 4.0;
            const RenderedPhoto photo = RenderPhoto(scene);
            SCOPED_TRACE(testing::Message()
                         << (c.kind == TargetKind::Chessboard ? "chess " : "dots ") << c.columns
                         << " x " << c.rows << ", turned " << roll);
            DetectionTuning tuning;
            const BoardTargets found =
                FindBoardTargets(photo.image, c.kind, c.columns, c.rows, tuning);
            EXPECT_EQ(found.columns, c.columns);
            EXPECT_EQ(found.rows, c.rows);
            int expected = roll;
            if (!c.told180)
                expected %= 180;
            if (!c.told90 && c.columns == c.rows)
                expected %= 90;
            EXPECT_EQ(found.turn.degrees, expected);
            EXPECT_EQ(found.turn.told, c.told180 && (c.told90 || c.columns != c.rows));
            const std::vector<PlanePoint> truth =
                Relabel(photo.boardTruth, c.columns, c.rows, (expected - roll) / 90);
            EXPECT_LT(Rms(found.points, truth), 0.05);
        }
    }
}

// The calibration's order of the same targets: the board turned by a quarter has its rows
// as the calibration's columns, and the scene grid takes the pitch along y between them.
TEST(BoardAxes, QuarterTurnInTheCalibrationsOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PhotoScene scene = SmallPincushion(TargetKind::Chessboard, 9, 6);
    scene.pitch = 20.0;
    scene.pitchY = 25.0;
    scene.roll = 93.0;
    const RenderedPhoto photo = RenderPhoto(scene);
    const QString file = dir.filePath(QStringLiteral("turned.png"));
    test::WritePhoto(photo, file);
    const Board board{TargetKind::Chessboard, 9, 6, 20.0, 25.0};
    std::vector<int> told;
    const PhotoDetection detection = DetectBoardInPhoto(file, board, [&](int percent) {
        told.push_back(percent);
        return true;
    });
    ASSERT_TRUE(detection.found) << detection.reason.toStdString();
    EXPECT_TRUE(detection.read);
    EXPECT_EQ(detection.width, 800);
    EXPECT_EQ(detection.height, 600);
    ASSERT_TRUE(detection.turn);
    EXPECT_EQ(detection.turn->degrees, 90);
    EXPECT_EQ(Rms(detection.board, SceneGrid(board)), 0.0);
    EXPECT_LT(Rms(detection.image, photo.boardTruth), 0.05);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.front(), 0);
    EXPECT_EQ(told.back(), 100);

    ASSERT_TRUE(detection.single);
    EXPECT_TRUE(detection.single->swapped);
    EXPECT_EQ(detection.single->columns, photo.truthColumns);
    EXPECT_EQ(detection.single->columns, 6);
    EXPECT_EQ(detection.single->rows, 9);
    EXPECT_LT(test::RmsError(detection.single->points, photo.truth), 0.05);
    // Between the calibration's columns lie the board's rows: 25 apart; down a column, 20.
    ASSERT_EQ(detection.singleScene.size(), 54u);
    EXPECT_EQ(detection.singleScene[9].x, 25.0);
    EXPECT_EQ(detection.singleScene[1].y, 20.0);

    // Stopped: no result.
    EXPECT_THROW(DetectBoardInPhoto(file, board, [](int percent) { return percent < 50; }),
                 DetectionCancelled);
}

// A board turned by 45 degrees is found and labelled as printed; one photograph is
// calibrated with it too (a turn leaves the ratio of the central differences alone), but
// where its columns would not run down the image it is refused with what was seen.
TEST(BoardAxes, BoardTurnedByAnEighth) {
    PhotoScene scene = SmallPincushion(TargetKind::Chessboard, 7, 6);
    scene.roll = 45.0;
    scene.fill = 0.5;
    const RenderedPhoto photo = RenderPhoto(scene);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("aslant.png"));
    test::WritePhoto(photo, file);
    const PhotoDetection detection =
        DetectBoardInPhoto(file, Board{TargetKind::Chessboard, 7, 6, 20.0, 20.0});
    ASSERT_TRUE(detection.found) << detection.reason.toStdString();
    EXPECT_LT(Rms(detection.image, photo.boardTruth), 0.05);
    EXPECT_TRUE(detection.turn->told);
    ASSERT_TRUE(detection.single);
    EXPECT_LT(test::RmsError(detection.single->points, photo.truth), 0.05);

    // A column that turns back up the image: no order of the calibration's.
    BoardTargets bent;
    bent.columns = 3;
    bent.rows = 3;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            bent.points.push_back({100.0 + 30.0 * i - 30.0 * j, 100.0 + 30.0 * i + 30.0 * j});
    bent.points[4].y -= 35.0; // the middle target above the one before it in its column
    try {
        InCalibrationOrder(bent);
        ADD_FAILURE() << "ordered";
    } catch (const GridNotFound& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), messages::GridTurnedAslant());
    }
    bent.points[4].y += 35.0;
    EXPECT_NO_THROW(InCalibrationOrder(bent));
}

TEST(BoardAxes, PhotographsWithoutTheBoard) {
    QTemporaryDir dir;
    const QString grey = dir.filePath(QStringLiteral("grey.png"));
    ASSERT_TRUE(cv::imwrite(grey.toStdString(), cv::Mat(480, 640, CV_8U, cv::Scalar(128))));
    const Board board;
    const PhotoDetection empty = DetectBoardInPhoto(grey, board);
    EXPECT_TRUE(empty.read);
    EXPECT_FALSE(empty.found);
    EXPECT_EQ(empty.reason, messages::GridNotFound());
    EXPECT_EQ(empty.width, 640);
    EXPECT_FALSE(empty.turn);
    EXPECT_TRUE(empty.image.empty());

    const PhotoDetection missing =
        DetectBoardInPhoto(dir.filePath(QStringLiteral("no.jpg")), board);
    EXPECT_FALSE(missing.read);
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.reason, messages::PhotoUnreadable());
}

// ---- the camera from photographs, end to end ----------------------------------------------

PhotoScene Lens(double k1, double k2, double dx, double dy) {
    PhotoScene scene;
    scene.width = 1000;
    scene.height = 750;
    scene.fx = 1250.0;
    scene.fy = 1256.0;
    scene.cx = 0.5 * (scene.width - 1) + dx;
    scene.cy = 0.5 * (scene.height - 1) + dy;
    scene.k1 = k1;
    scene.k2 = k2;
    scene.p1 = 0.0006;
    scene.p2 = -0.0004;
    scene.blur = 0.8;
    scene.noise = 1.0;
    return scene;
}

class PhotoSet : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Ten photographs of the board through the camera, turned 0, 90, 180, 270, 0, ...
    // degrees besides their tilt, written as PNG and searched.
    std::vector<PhotoDetection> Photograph(const PhotoScene& camera, unsigned seed) {
        test::Variation variation;
        variation.quarterTurns = true;
        variation.room = 1.0;
        std::vector<PhotoDetection> detections;
        int k = 0;
        for (const PhotoScene& scene : test::VariedScenes(camera, 10, seed, variation)) {
            const QString file = dir.filePath(QStringLiteral("%1-%2.png").arg(seed).arg(++k));
            test::WritePhoto(RenderPhoto(scene), file);
            detections.push_back(DetectBoardInPhoto(file, board));
            EXPECT_TRUE(detections.back().found)
                << file.toStdString() << ": " << detections.back().reason.toStdString();
        }
        return detections;
    }

    QTemporaryDir dir;
    const Board board{TargetKind::Chessboard, 9, 6, 20.0, 20.0};
};

// Barrel and pincushion lenses with the principal point off the centre: fy/fx, the
// principal point and k1 within three standard errors of the truth, fy/fx within 1e-4.
TEST_F(PhotoSet, LensAndPrincipalPointRecovered) {
    for (const PhotoScene& camera :
         {Lens(-0.21, 0.08, 12.0, -9.0), Lens(0.18, -0.05, -15.0, 10.0)}) {
        SCOPED_TRACE(camera.k1);
        const std::vector<PhotoDetection> photos = Photograph(camera, camera.k1 < 0 ? 3U : 4U);
        std::vector<int> turns;
        for (const PhotoDetection& photo : photos)
            turns.push_back(photo.turn ? photo.turn->degrees : -1);
        EXPECT_EQ(std::set<int>(turns.begin(), turns.end()), (std::set<int>{0, 90, 180, 270}));
        const CameraCalibration fit = CalibrateFromPhotos(photos);
        const Camera truth = test::TrueTargets(camera).camera;
        EXPECT_EQ(fit.used, 10);
        EXPECT_EQ(fit.camera.width, 1000.0);
        EXPECT_LT(std::abs(fit.ratio - truth.fy() / truth.fx()), 1e-4);
        EXPECT_LT(std::abs(fit.ratio - truth.fy() / truth.fx()), 3.0 * fit.ratioSe);
        for (CameraParameter p : {CameraParameter::Cx, CameraParameter::Cy, CameraParameter::K1})
            EXPECT_LT(std::abs(fit.camera[p] - truth[p]), 3.0 * fit.covariance.StandardError(p))
                << CameraParameterName(p) << " " << fit.camera[p] << " against " << truth[p];
        EXPECT_LT(fit.rmsPx, 0.1);
    }
}

// A photograph without the board is marked not found; one with two targets swapped is
// left out by the RMS rule; one the user leaves out keeps its RMS under the camera found.
TEST_F(PhotoSet, PhotographsLeftOutAreMarked) {
    std::vector<PhotoDetection> photos = Photograph(Lens(-0.21, 0.08, 12.0, -9.0), 5U);
    const QString grey = dir.filePath(QStringLiteral("grey.png"));
    ASSERT_TRUE(cv::imwrite(grey.toStdString(), cv::Mat(750, 1000, CV_8U, cv::Scalar(90))));
    photos.insert(photos.begin() + 2, DetectBoardInPhoto(grey, board));
    ASSERT_FALSE(photos[2].found);
    std::swap(photos[6].image[10], photos[6].image[11]);

    const CameraCalibration all = CalibrateFromPhotos(photos);
    ASSERT_EQ(all.photos.size(), 11u);
    EXPECT_EQ(all.photos[2].use, PhotoUse::NotFound);
    EXPECT_FALSE(all.photos[2].rmsPx);
    EXPECT_EQ(all.photos[2].points, 0u);
    EXPECT_EQ(all.photos[6].use, PhotoUse::LeftOutRms);
    EXPECT_GT(*all.photos[6].rmsPx, 1.0);
    EXPECT_EQ(all.used, 9);
    for (size_t k : {0U, 1U, 3U, 10U}) {
        EXPECT_EQ(all.photos[k].use, PhotoUse::Used) << k;
        EXPECT_LT(*all.photos[k].rmsPx, 0.1) << k;
    }

    std::vector<bool> leftOut(photos.size(), false);
    leftOut[0] = true;
    const CameraCalibration fewer = CalibrateFromPhotos(photos, leftOut);
    EXPECT_EQ(fewer.photos[0].use, PhotoUse::LeftOutByUser);
    ASSERT_TRUE(fewer.photos[0].rmsPx);
    EXPECT_LT(*fewer.photos[0].rmsPx, 0.1); // a good photograph, under the camera found
    EXPECT_EQ(fewer.used, 8);
    EXPECT_NE(fewer.ratio, all.ratio);
    EXPECT_LT(std::abs(fewer.ratio - all.ratio), 3.0 * all.ratioSe);

    // Left out until fewer than three remain: refused in Russian.
    std::vector<bool> most(photos.size(), true);
    most[1] = most[3] = false;
    try {
        CalibrateFromPhotos(photos, most);
        ADD_FAILURE() << "calibrated from two photographs";
    } catch (const CalcError& error) {
        EXPECT_NE(std::string(error.what()).find("не меньше трёх"), std::string::npos);
    }
}

// The YAML is OpenCV's: read back by cv::FileStorage in C++ (and by OpenCV's Python
// binding where it is installed) to the digits written.
TEST_F(PhotoSet, OpenCvYamlReadsBack) {
    CameraCalibration fit;
    fit.camera.width = 1000;
    fit.camera.height = 750;
    const double values[] = {1250.125, 1256.5, 511.25,  366.75, -0.21,
                             0.08,     0.0006, -0.0004, 0.0123};
    for (CameraParameter p : kPinholeParameters)
        fit.camera[p] = values[int(p)];
    fit.rmsPx = 0.0421;
    const QString file = dir.filePath(QStringLiteral("camera.yml"));
    WriteOpenCvCameraYaml(file, fit);

    cv::FileStorage storage(file.toStdString(), cv::FileStorage::READ);
    ASSERT_TRUE(storage.isOpened());
    EXPECT_EQ(int(storage["image_width"]), 1000);
    EXPECT_EQ(int(storage["image_height"]), 750);
    cv::Mat matrix;
    cv::Mat distortion;
    storage["camera_matrix"] >> matrix;
    storage["distortion_coefficients"] >> distortion;
    ASSERT_EQ(matrix.rows, 3);
    ASSERT_EQ(matrix.cols, 3);
    ASSERT_EQ(distortion.total(), 5u);
    EXPECT_EQ(cv::Matx33d(matrix), fit.camera.Matrix());
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(distortion.at<double>(k), fit.camera.Distortion()[k]);
    EXPECT_EQ(double(storage["avg_reprojection_error"]), 0.0421);
    EXPECT_EQ(std::string(storage["distortion_model"]), "plumb_bob");

    // The rational model's eight coefficients in OpenCV's order, the model named.
    CameraCalibration rational = fit;
    rational.camera[CameraParameter::K4] = 0.61;
    rational.camera[CameraParameter::K5] = 0.052;
    rational.camera[CameraParameter::K6] = -0.0031;
    const QString eight = dir.filePath(QStringLiteral("rational.yml"));
    WriteOpenCvCameraYaml(eight, rational);
    cv::FileStorage again(eight.toStdString(), cv::FileStorage::READ);
    ASSERT_TRUE(again.isOpened());
    EXPECT_EQ(std::string(again["distortion_model"]), "rational_polynomial");
    cv::Mat terms;
    again["distortion_coefficients"] >> terms;
    ASSERT_EQ(terms.total(), 8u);
    EXPECT_EQ(std::vector<double>(terms.begin<double>(), terms.end<double>()),
              (std::vector<double>{-0.21, 0.08, 0.0006, -0.0004, 0.0123, 0.61, 0.052, -0.0031}));

    // Debian's Python, which python3-opencv (scripts/install-deps.sh) serves.
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python))
        GTEST_SKIP() << "no /usr/bin/python3";
    QProcess process;
    process.start(python,
                  {QStringLiteral("-c"),
                   QStringLiteral("import sys, cv2\n"
                                  "s = cv2.FileStorage(sys.argv[1], cv2.FILE_STORAGE_READ)\n"
                                  "m = s.getNode('camera_matrix').mat()\n"
                                  "d = s.getNode('distortion_coefficients').mat()\n"
                                  "print(repr(m[0, 0]), repr(m[1, 2]), repr(d.ravel()[4]), "
                                  "int(s.getNode('image_width').real()))\n"),
                   file});
    ASSERT_TRUE(process.waitForFinished(60000));
    if (process.exitCode() != 0 && process.readAllStandardError().contains("No module named 'cv2'"))
        GTEST_SKIP() << "no OpenCV for Python";
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().trimmed(), QByteArray("1250.125 366.75 0.0123 1000"));
}

} // namespace
} // namespace vrma
