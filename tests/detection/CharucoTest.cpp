// A ChArUco board: the board as OpenCV draws it, and a camera calibrated from photographs
// that each show part of it, into the frame's corners (renders with a known camera).
#include "calib/CharucoBoard.h"
#include "calib/PhotoCalibration.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/aruco/charuco.hpp>
#include <opencv2/imgproc.hpp>

namespace vrma {
namespace {

// The dark parts painted black on white, `scale` pixels a scene unit.
cv::Mat Paint(const CharucoDarkParts& dark, double scale, cv::Size size) {
    cv::Mat image(size, CV_8U, cv::Scalar(255));
    const auto fill = [&](const cv::Rect2d& r) {
        const cv::Point from(int(std::lround(r.x * scale)), int(std::lround(r.y * scale)));
        const cv::Point to(int(std::lround((r.x + r.width) * scale)),
                           int(std::lround((r.y + r.height) * scale)));
        image(cv::Rect(from, to)).setTo(0);
    };
    for (const cv::Rect2d& r : dark.squares)
        fill(r);
    for (const auto& marker : dark.markers)
        for (const cv::Rect2d& r : marker)
            fill(r);
    return image;
}

TEST(CharucoBoard, DrawnAsOpenCvDrawsIt) {
    // Square sides in pixels at which the marker's cells are whole pixels.
    struct Case {
        int columns, rows, dictionary, squarePx;
        double share;
    };
    const Case cases[] = {
        {11, 8, 7, 56, 0.75}, // DICT_5X5_1000: 7 cells of 6 px, 7 px of paper around
        {4, 3, 0, 48, 0.75},  // DICT_4X4_50
        {5, 6, 10, 80, 0.6},  // DICT_6X6_250: 8 cells of 6 px
        {6, 4, 16, 56, 0.5},  // DICT_ARUCO_ORIGINAL: 7 cells of 4 px
        {3, 2, 18, 80, 0.7},  // DICT_APRILTAG_25h9: 7 cells of 8 px
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dictionary);
        Board board;
        board.kind = TargetKind::Charuco;
        board.columns = c.columns;
        board.rows = c.rows;
        board.pitch = board.pitchY = 30.0;
        board.marker = c.share * board.pitch;
        board.dictionary = c.dictionary;
        ASSERT_EQ(CheckBoard(board), BoardFault::None);
        const cv::Size size((c.columns + 1) * c.squarePx, (c.rows + 1) * c.squarePx);
        const cv::Ptr<cv::aruco::CharucoBoard> made = cv::aruco::CharucoBoard::create(
            c.columns + 1, c.rows + 1, float(board.pitch), float(board.marker),
            cv::aruco::getPredefinedDictionary(c.dictionary));
        cv::Mat drawn;
        made->draw(size, drawn, 0, 1);
        const cv::Mat ours = Paint(CharucoDarkCells(board), c.squarePx / board.pitch, size);
        cv::Mat differ;
        cv::absdiff(drawn, ours, differ);
        EXPECT_EQ(cv::countNonZero(differ > 127), 0);
    }
}

// Photographs of an 11 x 8 board through a barrel lens: two whole, the rest cut by the
// frame's edges, pushed into its corners and turned every way.
class CharucoPartialViews : public ::testing::Test {
protected:
    static test::PhotoScene Scene() {
        test::PhotoScene scene;
        scene.kind = TargetKind::Charuco;
        scene.columns = 11;
        scene.rows = 8;
        scene.width = 1280;
        scene.height = 960;
        scene.fx = 1000.0;
        scene.fy = 1003.0;
        scene.cx = 652.0;
        scene.cy = 471.0;
        scene.k1 = -0.25;
        scene.k2 = 0.08;
        scene.margin = 0.5;
        scene.blur = 0.8;
        scene.noise = 2.0;
        return scene;
    }
    static void SetUpTestSuite() {
        struct View {
            double shiftX, shiftY, fill, tiltX, tiltY, roll;
        };
        const View views[] = {
            {0, 0, 0.7, 20, -25, 10},         {0, 0, 0.75, -25, 20, -5},
            {-0.38, -0.36, 1.15, 15, 20, 30}, {0.4, -0.35, 1.2, -20, 15, 175},
            {0.4, 0.35, 1.2, -25, 10, 95},    {-0.4, 0.36, 1.15, 20, -20, 270},
            {-0.35, -0.3, 1.0, -15, -25, 0},  {0.36, 0.32, 1.05, 25, 25, 200},
        };
        dir_ = new QTemporaryDir;
        for (size_t n = 0; n < std::size(views); ++n) {
            test::PhotoScene scene = Scene();
            const View& v = views[n];
            scene.shiftX = v.shiftX;
            scene.shiftY = v.shiftY;
            scene.fill = v.fill;
            scene.tiltX = v.tiltX;
            scene.tiltY = v.tiltY;
            scene.roll = v.roll;
            scene.seed = unsigned(n + 1);
            const test::RenderedPhoto photo = test::RenderPhoto(scene);
            const QString file = QDir(dir_->path()).filePath(QStringLiteral("%1.png").arg(n));
            test::WritePhoto(photo, file);
            Board board;
            board.kind = TargetKind::Charuco;
            board.columns = scene.columns;
            board.rows = scene.rows;
            board.pitch = board.pitchY = scene.pitch;
            board.marker = kMarkerShare * scene.pitch;
            truths_.push_back(photo);
            found_.push_back(DetectBoardInPhoto(file, board));
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
        truths_.clear();
        found_.clear();
    }
    static inline QTemporaryDir* dir_ = nullptr;
    static inline std::vector<test::SceneTargets> truths_;
    static inline std::vector<PhotoDetection> found_;
};

TEST_F(CharucoPartialViews, CornersLabelledAndPlacedAsProjected) {
    for (size_t n = 0; n < found_.size(); ++n) {
        SCOPED_TRACE(n);
        const PhotoDetection& photo = found_[n];
        ASSERT_TRUE(photo.found) << photo.reason.toStdString();
        EXPECT_GE(photo.points(), 6U);
        ASSERT_EQ(photo.indices.size(), photo.points());
        // The corners of the photograph that lie well inside it are all found.
        size_t inside = 0;
        for (const PlanePoint& p : truths_[n].boardTruth)
            inside += p.x > 30 && p.y > 30 && p.x < 1250 && p.y < 930 ? 1 : 0;
        EXPECT_GE(photo.points(), inside * 9 / 10);
        for (size_t k = 0; k < photo.points(); ++k) {
            const size_t index = size_t(photo.indices[k]);
            ASSERT_LT(index, truths_[n].board.size());
            EXPECT_EQ(photo.board[k].x, truths_[n].board[index].x);
            EXPECT_EQ(photo.board[k].y, truths_[n].board[index].y);
            const PlanePoint& truth = truths_[n].boardTruth[index];
            EXPECT_LT(std::hypot(photo.image[k].x - truth.x, photo.image[k].y - truth.y), 0.2);
        }
    }
    // Some photographs show only part of the board.
    const size_t whole = truths_[0].board.size();
    EXPECT_LT(std::count_if(found_.begin(), found_.end(),
                            [&](const PhotoDetection& p) { return p.points() == whole; }),
              std::ptrdiff_t(found_.size()));
}

TEST_F(CharucoPartialViews, CameraRecoveredFromEveryPhotographIntoTheCorners) {
    const CameraCalibration calibration = CalibrateFromPhotos(found_);
    EXPECT_EQ(calibration.used, int(found_.size()));
    const test::PhotoScene truth = Scene();
    EXPECT_NEAR(calibration.ratio, truth.fy / truth.fx, 2e-4);
    EXPECT_NEAR(calibration.camera.cx(), truth.cx, 2.0);
    EXPECT_NEAR(calibration.camera.cy(), truth.cy, 2.0);
    EXPECT_NEAR(calibration.camera[CameraParameter::K1], truth.k1, 0.01);
    EXPECT_TRUE(CoverageOf(calibration, found_).AllCorners());
}

} // namespace
} // namespace vrma
