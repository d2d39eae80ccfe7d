// The search for the grid on large grids and on textured pictures, where OpenCV's finders
// did not end (findCirclesGrid on 60 x 60 dots, findChessboardCorners on a speckled table
// for minutes): the grid is found, in the calibration's order and within the tolerance of
// the small fields; a grid inside a larger one (the message names the one seen) and a
// picture of speckle alone are not. The
// time they take is measured in bench/photo_limits.cpp.
#include "calib/GridFinder.h"
#include "calib/TargetDetection.h"
#include "data/Messages.h"
#include "support/PhotoRenderer.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

using namespace vrma;
using vrma::test::PhotoScene;
using vrma::test::RenderedPhoto;
using vrma::test::RenderPhoto;
using vrma::test::RmsError;

namespace {

class LargeAndTextured : public ::testing::TestWithParam<TargetKind> {};

INSTANTIATE_TEST_SUITE_P(Kinds, LargeAndTextured,
                         ::testing::Values(TargetKind::Chessboard, TargetKind::Dots),
                         [](const auto& info) {
                             return std::string(info.param == TargetKind::Chessboard ? "Chessboard"
                                                                                     : "Dots");
                         });

// The message of a search that finds no grid; empty when it finds one.
QString NotFound(const cv::Mat& image, TargetKind kind, int columns, int rows) {
    try {
        DetectTargets(image, kind, columns, rows);
        return QString();
    } catch (const GridNotFound& error) {
        return QString::fromUtf8(error.what());
    }
}

// What the search says when it sees a whole grid of another size.
QString OtherSize(TargetKind kind, int seenColumns, int seenRows, int columns, int rows) {
    return messages::GridOfOtherSize(seenColumns, seenRows, columns, rows,
                                     kind == TargetKind::Chessboard);
}

TEST_P(LargeAndTextured, SixtyBySixtyGridIsFoundInOrder) {
    // 3 megapixels, the targets some 18 pixels apart, seen at a slant and turned.
    PhotoScene scene;
    scene.kind = GetParam();
    scene.columns = 60;
    scene.rows = 60;
    scene.width = 2000;
    scene.height = 1500;
    scene.fx = scene.fy = 2400.0;
    scene.fill = 0.85;
    scene.tiltX = 10.0;
    scene.roll = 5.0;
    scene.blur = 0.8;
    scene.noise = 2.0;
    const RenderedPhoto photo = RenderPhoto(scene);
    const DetectedTargets found = DetectTargets(photo.image, scene.kind, 60, 60);
    // A target out of its place would be a pitch away from its truth.
    EXPECT_LT(RmsError(found.points, photo.truth), 0.05);
    ASSERT_EQ(found.points.size(), 3600u);
    EXPECT_GT(found.points[1].y, found.points[0].y);  // down the first column
    EXPECT_GT(found.points[60].x, found.points[0].x); // then to the right
    // One column or row fewer: a grid inside the field, not the field; the field seen is
    // named.
    EXPECT_EQ(NotFound(photo.image, scene.kind, 59, 60), OtherSize(scene.kind, 60, 60, 59, 60));
    EXPECT_EQ(NotFound(photo.image, scene.kind, 60, 58), OtherSize(scene.kind, 60, 60, 60, 58));
}

TEST_P(LargeAndTextured, GridInsideALargerOneIsNotFound) {
    PhotoScene scene;
    scene.kind = GetParam();
    scene.columns = 12;
    scene.rows = 9;
    scene.blur = 1.0;
    const RenderedPhoto photo = RenderPhoto(scene);
    EXPECT_EQ(NotFound(photo.image, scene.kind, 12, 9), QString());
    for (const auto& [columns, rows] : {std::pair{9, 6}, std::pair{11, 9}, std::pair{12, 8}})
        EXPECT_EQ(NotFound(photo.image, scene.kind, columns, rows),
                  OtherSize(scene.kind, 12, 9, columns, rows))
            << columns << " x " << rows;
    // Typed the other way round, it is the field turned by a quarter: found, the
    // calibration's columns along image x.
    const DetectedTargets turned = DetectTargets(photo.image, scene.kind, 9, 12);
    EXPECT_TRUE(turned.swapped);
    EXPECT_EQ(turned.columns, 12);
    EXPECT_EQ(turned.rows, 9);
    EXPECT_LT(RmsError(turned.points, photo.truth), 0.05);
}

TEST_P(LargeAndTextured, FieldOnASpeckledTable) {
    // The table around the paper in speckle: every pixel its own grey, or discs of any grey
    // up to 6 pixels across.
    for (const double speckle : {0.5, 3.0}) {
        PhotoScene scene;
        scene.kind = GetParam();
        scene.width = 1800;
        scene.height = 1200;
        scene.fill = 0.5;
        scene.speckle = speckle;
        scene.blur = 0.8;
        scene.noise = 2.0;
        const RenderedPhoto photo = RenderPhoto(scene);
        const DetectedTargets found = DetectTargets(photo.image, scene.kind, 9, 6);
        EXPECT_LT(RmsError(found.points, photo.truth), 0.05) << speckle;
    }
}

TEST_P(LargeAndTextured, SpeckleAloneHasNoGrid) {
    cv::Mat speckle(1200, 1800, CV_8U);
    cv::RNG rng(11);
    rng.fill(speckle, cv::RNG::UNIFORM, 0, 256);
    EXPECT_EQ(NotFound(speckle, GetParam(), 9, 6), messages::GridNotFound());
    speckle.setTo(128);
    for (int n = 0; n < 60000; ++n)
        cv::circle(speckle, {rng.uniform(0, 1800), rng.uniform(0, 1200)}, rng.uniform(1, 7),
                   cv::Scalar(rng.uniform(0, 256)), -1);
    EXPECT_EQ(NotFound(speckle, GetParam(), 9, 6), messages::GridNotFound());
}

TEST(LargestReduction, KeepsTheTargetsApart) {
    // A 9 x 6 field in 24 megapixels may be searched five times smaller; 200 x 200 only
    // at full size.
    EXPECT_EQ(LargestReduction(6000, 4000, 9, 6, 12.0), 11);
    EXPECT_EQ(LargestReduction(6000, 4000, 200, 200, 12.0), 1);
    EXPECT_EQ(LargestReduction(6000, 4000, 50, 50, 12.0), 2);
    EXPECT_EQ(LargestReduction(10, 10, 9, 6, 12.0), 1);
}

} // namespace
