// The stages of the search on their own: what a failed search tells from what it saw, the
// check that a grid another source found is the whole board, and the blur read from a
// grid's edges, each against a known answer (a table of what was seen; renders whose
// targets and blur are known).
#include "calib/DetectionFault.h"
#include "calib/GridFinder.h"
#include "calib/TargetRefinement.h"
#include "data/Messages.h"
#include "support/PhotoRenderer.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using namespace vrma;
using vrma::test::PhotoScene;
using vrma::test::RenderPhoto;

namespace {

// A piece of lattice seen, `nodes` of it in an extent of along x lines.
GridSighting Piece(size_t nodes, int along, int lines, bool cut = false, double pitch = 30.0) {
    GridSighting seen;
    seen.nodes = nodes;
    seen.along = along;
    seen.lines = lines;
    seen.whole = nodes == size_t(along) * size_t(lines);
    seen.cut = cut;
    seen.pitch = pitch;
    return seen;
}

TEST(SearchFault, WhatWasSeenIsTold) {
    struct Case {
        const char* what;
        SearchRecord record;
        SearchFaultKind kind;
        int seenColumns = 0;
        int seenRows = 0;
        int targets = 0;
    };
    SearchRecord atEdge;
    atEdge.atEdge = true;
    SearchRecord tooSmall;
    tooSmall.tooSmall = true;
    tooSmall.spacing = 3.0;
    SearchRecord blurred;
    blurred.lost = true;
    blurred.blur = 6.0;
    blurred.spacing = 20.0;
    SearchRecord sharpButLost = blurred;
    sharpButLost.blur = 2.0;
    const auto seeing = [](const GridSighting& seen) {
        SearchRecord record;
        record.seen = seen;
        return record;
    };
    // Asked for 9 x 6 throughout.
    const Case cases[] = {
        {"nothing", SearchRecord{}, SearchFaultKind::NotFound},
        {"six columns, the rest beyond the frame", seeing(Piece(36, 6, 6, true)),
         SearchFaultKind::PartlyOutside},
        {"six columns, the rest not beyond the frame", seeing(Piece(36, 6, 6)),
         SearchFaultKind::OtherSize, 6, 6},
        {"a larger grid, counted as the user counts", seeing(Piece(70, 7, 10)),
         SearchFaultKind::OtherSize, 10, 7},
        {"a larger grid is never cut", seeing(Piece(70, 10, 7, true)), SearchFaultKind::OtherSize,
         10, 7},
        {"a target at the very edge", atEdge, SearchFaultKind::PartlyOutside},
        {"a grid too small to measure", tooSmall, SearchFaultKind::TooSmall},
        {"a piece with targets 3 pixels apart", seeing(Piece(30, 9, 4, false, 3.0)),
         SearchFaultKind::TooSmall},
        {"a grid lost to blur", blurred, SearchFaultKind::TooBlurred},
        {"a grid lost, sharp", sharpButLost, SearchFaultKind::NotFound},
        {"most of the grid, some targets missing", seeing(Piece(44, 9, 6)),
         SearchFaultKind::PieceSeen, 0, 0, 44},
        {"a few targets", seeing(Piece(12, 9, 6)), SearchFaultKind::NotFound},
        {"the piece sprawls", seeing(Piece(30, 9, 6)), SearchFaultKind::NotFound},
    };
    for (const Case& c : cases) {
        const SearchFault fault = FaultOf(c.record, 9, 6);
        EXPECT_EQ(fault.kind, c.kind) << c.what;
        EXPECT_EQ(fault.seenColumns, c.seenColumns) << c.what;
        EXPECT_EQ(fault.seenRows, c.seenRows) << c.what;
        EXPECT_EQ(fault.targets, c.targets) << c.what;
    }
    // Worded by the catalogue.
    EXPECT_EQ(
        QString::fromUtf8(
            GridNotFound(FaultOf(seeing(Piece(44, 9, 6)), 9, 6), TargetKind::Dots, 9, 6).what()),
        messages::GridPieceSeen(44, 9, 6));
    EXPECT_EQ(
        QString::fromUtf8(GridNotFound(FaultOf(blurred, 9, 6), TargetKind::Dots, 9, 6).what()),
        messages::GridTooBlurred(6, 20));
}

// The true targets of a render as a grid in OpenCV's layout: lines along the board's y,
// each along its x (columns from `first` on, every `step`-th, `count` of them).
FoundGrid TrueGrid(const test::RenderedPhoto& photo, const PhotoScene& scene, int first, int count,
                   int step, int rows) {
    FoundGrid grid;
    grid.along = count;
    grid.lines = rows;
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < count; ++k) {
            const PlanePoint& p =
                photo.boardTruth[size_t(first + k * step) * size_t(scene.rows) + size_t(j)];
            grid.points.emplace_back(float(p.x), float(p.y));
        }
    return grid;
}

class BoardCheck : public ::testing::TestWithParam<TargetKind> {};

INSTANTIATE_TEST_SUITE_P(Kinds, BoardCheck,
                         ::testing::Values(TargetKind::Chessboard, TargetKind::Dots),
                         [](const auto& info) {
                             return std::string(info.param == TargetKind::Chessboard ? "Chessboard"
                                                                                     : "Dots");
                         });

TEST_P(BoardCheck, OnlyTheWholeBoardPasses) {
    PhotoScene scene;
    scene.kind = GetParam();
    scene.columns = 12;
    scene.rows = 9;
    scene.tiltY = 25.0;
    scene.blur = 1.0;
    const test::RenderedPhoto photo = RenderPhoto(scene);
    const bool dots = scene.kind == TargetKind::Dots;
    EXPECT_TRUE(IsTheBoard(TrueGrid(photo, scene, 0, 12, 1, 9), photo.image, dots));
    // Inside the board, at its middle and against one of its edges.
    EXPECT_FALSE(IsTheBoard(TrueGrid(photo, scene, 2, 8, 1, 9), photo.image, dots));
    EXPECT_FALSE(IsTheBoard(TrueGrid(photo, scene, 0, 9, 1, 9), photo.image, dots));
    // Every other column: targets skipped.
    EXPECT_FALSE(IsTheBoard(TrueGrid(photo, scene, 0, 6, 2, 9), photo.image, dots));
}

TEST(EdgeBlur, IsTheBlurOfTheRender) {
    for (const double blur : {1.5, 3.0, 5.0}) {
        PhotoScene scene;
        scene.blur = blur;
        const test::RenderedPhoto photo = RenderPhoto(scene);
        std::vector<cv::Point2d> points;
        for (const PlanePoint& p : photo.boardTruth)
            points.emplace_back(p.x, p.y);
        // The render's own pixels add a little (a box of one pixel: sigma 0.29).
        const double expected = std::hypot(blur, 0.29);
        EXPECT_NEAR(EdgeBlur(photo.image, points, scene.columns, scene.rows), expected,
                    0.15 * expected)
            << blur;
    }
}

} // namespace
