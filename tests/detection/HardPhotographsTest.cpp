// The search on the photographs users take, rendered with a known answer: rows and columns
// bent by a strong lens, a fisheye or bent paper, the outer squares past the frame's edge,
// heavy blur and noise, uneven light, steep and small boards, a phone's 16 megapixels; and
// the reason told when a row of the board is hidden inside the frame.
#include "calib/TargetDetection.h"
#include "data/Messages.h"
#include "support/PhotoRenderer.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <functional>

using namespace vrma;
using vrma::test::PhotoScene;
using vrma::test::RenderedPhoto;
using vrma::test::RenderPhoto;

namespace {

// The RMS distance of the targets found to the truth, both in the board's axes; where the
// board's look cannot tell its turn, the truth half a round turned is as good.
double BoardRms(const BoardTargets& found, const RenderedPhoto& photo, int columns, int rows) {
    const auto rms = [&](bool turned) {
        double sum = 0.0;
        for (int i = 0; i < columns; ++i) {
            for (int j = 0; j < rows; ++j) {
                const PlanePoint& p = found.points[size_t(i) * size_t(rows) + size_t(j)];
                const int ti = turned ? columns - 1 - i : i;
                const int tj = turned ? rows - 1 - j : j;
                const PlanePoint& t = photo.boardTruth[size_t(ti) * size_t(rows) + size_t(tj)];
                sum += (p.x - t.x) * (p.x - t.x) + (p.y - t.y) * (p.y - t.y);
            }
        }
        return std::sqrt(sum / double(columns * rows));
    };
    return found.turn.told ? rms(false) : std::min(rms(false), rms(true));
}

// A 9 x 6 chessboard of squares about 46 pixels across in an 800 x 600 photograph.
PhotoScene Squares46() {
    PhotoScene scene;
    scene.width = 800;
    scene.height = 600;
    scene.fx = 1000.0;
    scene.fy = 1003.5;
    scene.fill = 0.69;
    scene.tiltX = 15.0;
    scene.tiltY = -10.0;
    return scene;
}

struct HardCase {
    const char* name;
    std::function<void(PhotoScene&)> set;
    double tolerance; // RMS, pixels
};

TEST(HardPhotographs, TheBoardIsFoundAndMeasured) {
    const HardCase cases[] = {
        {"fisheye of 180 degrees, the board off the axis",
         [](PhotoScene& s) {
             s = PhotoScene{};
             s.width = 640;
             s.height = 720;
             s.fisheye = true;
             s.fx = s.fy = 200.0;
             s.columns = 4;
             s.rows = 6;
             s.fill = 0.6;
             s.shiftX = 0.3;
             s.tiltY = 30.0;
             s.blur = 0.8;
         },
         0.1},
        {"barrel lens, a 13 x 12 board filling the frame",
         [](PhotoScene& s) {
             s = PhotoScene{};
             s.width = 640;
             s.height = 480;
             s.fx = s.fy = 360.0;
             s.k1 = -0.38;
             s.k2 = 0.14;
             s.columns = 13;
             s.rows = 12;
             s.margin = 0.5;
             s.fill = 1.0;
             s.tiltX = 10.0;
             s.blur = 0.8;
         },
         0.1},
        {"paper bent by 60 degrees",
         [](PhotoScene& s) {
             s = Squares46();
             s.bend = 60.0;
             s.blur = 1.0;
         },
         0.1},
        {"the outer squares and the margin past the frame",
         [](PhotoScene& s) {
             s = PhotoScene{};
             s.width = 640;
             s.height = 480;
             s.fx = s.fy = 560.0;
             s.columns = 7;
             s.rows = 5;
             s.fill = 1.3;
             s.blur = 1.0;
         },
         0.1},
        {"blur of sigma 8 pixels", [](PhotoScene& s) { s.blur = 8.0; }, 0.3},
        {"noise of sigma 45 levels",
         [](PhotoScene& s) {
             s.blur = 1.0;
             s.noise = 45.0;
         },
         0.3},
        {"light falling off by 70 % and to the corners",
         [](PhotoScene& s) {
             s.lighting = 0.7;
             s.vignette = 0.6;
             s.blur = 1.0;
         },
         0.1},
        {"a board turned 62 degrees away",
         [](PhotoScene& s) {
             s.tiltY = 62.0;
             s.tiltX = 0.0;
             s.blur = 0.8;
         },
         0.1},
        {"squares of 15 pixels",
         [](PhotoScene& s) {
             s = PhotoScene{};
             s.fill = 0.12;
             s.roll = 20.0;
             s.blur = 0.8;
         },
         0.1},
    };
    for (const HardCase& c : cases) {
        PhotoScene scene = Squares46();
        c.set(scene);
        const RenderedPhoto photo = RenderPhoto(scene);
        try {
            const BoardTargets found = FindBoardTargets(photo.image, scene.kind, scene.columns,
                                                        scene.rows, DetectionTuning{});
            EXPECT_LT(BoardRms(found, photo, scene.columns, scene.rows), c.tolerance) << c.name;
        } catch (const GridNotFound& error) {
            ADD_FAILURE() << c.name << ": " << error.what();
        }
    }
}

TEST(HardPhotographs, APhonesSixteenMegapixels) {
    // A hand-made 8 x 6 board on bent paper taking some 40 % of an upright 3456 x 4608
    // photograph: rendered at a third of the size and enlarged (each pixel's truth moves
    // with it), then compressed as a phone does.
    PhotoScene scene;
    scene.columns = 8;
    scene.rows = 6;
    scene.margin = 0.6;
    scene.width = 1152;
    scene.height = 1536;
    scene.fx = scene.fy = 1230.0;
    scene.fill = 0.4;
    scene.bend = 35.0;
    scene.tiltX = 20.0;
    scene.roll = 8.0;
    scene.blur = 0.7;
    scene.noise = 2.0;
    scene.lighting = 0.3;
    RenderedPhoto photo = RenderPhoto(scene);
    cv::Mat large;
    cv::resize(photo.image, large, cv::Size(3456, 4608), 0.0, 0.0, cv::INTER_CUBIC);
    std::vector<unsigned char> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", large, jpeg, {cv::IMWRITE_JPEG_QUALITY, 88}));
    large = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
    for (PlanePoint& p : photo.boardTruth)
        p = {3.0 * p.x + 1.0, 3.0 * p.y + 1.0};
    const BoardTargets found =
        FindBoardTargets(large, scene.kind, scene.columns, scene.rows, DetectionTuning{});
    EXPECT_EQ(found.imageWidth, 3456);
    EXPECT_LT(BoardRms(found, photo, scene.columns, scene.rows), 0.3);
}

TEST(HardPhotographs, ARowHiddenInsideTheFrameIsNotSaidToBeOutside) {
    // The board's last row of corners painted over in the table's grey, well inside the
    // photograph: what was seen is a grid of 9 x 5.
    PhotoScene scene = Squares46();
    scene.tiltX = 0.0;
    scene.tiltY = 0.0;
    scene.blur = 1.0;
    RenderedPhoto photo = RenderPhoto(scene);
    std::vector<cv::Point> row;
    for (int i = 0; i < scene.columns; ++i) {
        const PlanePoint& p = photo.boardTruth[size_t(i) * size_t(scene.rows) + 5];
        row.emplace_back(int(p.x), int(p.y));
    }
    cv::polylines(photo.image, row, false, cv::Scalar(90), 30);
    try {
        FindBoardTargets(photo.image, scene.kind, 9, 6, DetectionTuning{});
        ADD_FAILURE() << "found";
    } catch (const GridNotFound& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), messages::GridOfOtherSize(9, 5, 9, 6, true))
            << error.what();
    }
}

} // namespace
