// The scale-ratio computation on synthetic fields.
#include "calib/ScaleRatio.h"
#include "drawing/ScaleRatioPlot.h"
#include "support/SyntheticField.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace vrma {
namespace {

using test::FieldWithRatios;
using test::PinholeField;
using test::RatiosRowByRow;
using Field = test::SyntheticField;

double Spread(int i, int j) {
    return 1.0 + 0.01 * ((7 * i + 13 * j) % 11 - 5);
}

TEST(ScaleRatio, PinholeCameraGivesFocalRatioAtEveryNode) {
    for (const auto& [fx, fy] : {std::pair{1200.0, 1202.76}, std::pair{850.5, 790.25}}) {
        const ScaleRatioRun run = PinholeField(9, 7, fx, fy).Run();
        ASSERT_TRUE(run.complete());
        ASSERT_EQ(run.ratios.size(), size_t(7 * 5));
        for (double ratio : run.ratios)
            EXPECT_NEAR(ratio, fy / fx, 1e-12);
        EXPECT_NEAR(run.coefficient, fy / fx, 1e-12);
        EXPECT_NEAR(run.sd, 0.0, 1e-12);
    }
}

TEST(ScaleRatio, KnownSpreadGivesMeanAndSampleDeviation) {
    const qint32 nc = 8, nr = 11;
    const ScaleRatioRun run = FieldWithRatios(nc, nr, Spread).Run();
    ASSERT_TRUE(run.complete());

    const std::vector<double> want = RatiosRowByRow(nc, nr, Spread);
    ASSERT_EQ(run.ratios.size(), want.size());
    for (size_t t = 0; t < want.size(); ++t)
        EXPECT_NEAR(run.ratios[t], want[t], 1e-13) << "ratio " << t;

    long double sum = 0;
    for (double v : want)
        sum += v;
    const long double mean = sum / want.size();
    long double squares = 0;
    for (double v : want)
        squares += (v - mean) * (v - mean);
    const long double sd = std::sqrt(squares / (want.size() - 1));
    EXPECT_NEAR(run.coefficient, double(mean), 1e-13);
    EXPECT_NEAR(run.sd, double(sd), 1e-13);
    EXPECT_GT(run.sd, 0.01); // the field really has a spread
}

TEST(ScaleRatio, WideGridListsEveryRowInOrder) {
    // More columns than the computation takes in one sweep, and a ratio that tells its
    // node: every ratio must come out at its own place in the row-by-row order.
    const qint32 nc = 103, nr = 9;
    const auto ratio = [](int i, int j) { return 1.0 + i / 1024.0 + j / 8.0; };
    const auto [run, plot] = FieldWithRatios(nc, nr, ratio).Plotted();
    ASSERT_TRUE(run.complete());
    const std::vector<double> want = RatiosRowByRow(nc, nr, ratio);
    ASSERT_EQ(run.ratios.size(), want.size());
    ASSERT_EQ(plot.vertices.size(), want.size());
    for (size_t t = 0; t < want.size(); ++t) {
        ASSERT_NEAR(run.ratios[t], want[t], 1e-12) << "ratio " << t;
        const int i = int(t % size_t(nc - 2)) + 1;
        EXPECT_EQ(plot.vertices[t].x, int(std::trunc(i * (700.0 / nc) + 30.0))) << t;
        EXPECT_EQ(plot.vertices[t].startsPolyline, i == 1) << t;
    }
}

TEST(ScaleRatio, PlotOfTheDefaultGrid) {
    // Rows after the first are scaled by 250 over the last ratio of the first row.
    const auto ratio = [](int i, int j) { return j == 1 ? 1.0 + 0.1 * i : 0.75 + 0.25 * i * j; };
    const auto [run, plot] = FieldWithRatios(6, 6, ratio).Plotted();
    ASSERT_TRUE(run.complete());
    ASSERT_EQ(plot.vertices.size(), size_t(16));
    EXPECT_DOUBLE_EQ(plot.h, 700.0 / 6.0);
    EXPECT_DOUBLE_EQ(plot.s, 250.0 / 1.4);
    const int columnX[] = {146, 263, 380, 496};
    for (int t = 0; t < 16; ++t) {
        const int i = t % 4 + 1, j = t / 4 + 1;
        const PlotVertex& p = plot.vertices[size_t(t)];
        EXPECT_EQ(p.x, columnX[i - 1]) << t;
        EXPECT_EQ(p.startsPolyline, i == 1) << t;
        if (j == 1)
            EXPECT_TRUE(p.y == 250 || p.y == 249) << t << ": " << p.y;
        else
            EXPECT_EQ(p.y, int(std::trunc(ratio(i, j) * 250.0 / 1.4))) << t;
    }
    EXPECT_EQ(plot.meanLineRight, 613);
    EXPECT_EQ(plot.meanLineY, int(std::trunc(run.coefficient * plot.s)));
}

TEST(ScaleRatio, SmallestGridHasOneRatioAndNoDeviation) {
    const auto [run, plot] = FieldWithRatios(3, 3, [](int, int) { return 1.0625; }).Plotted();
    ASSERT_TRUE(run.complete());
    ASSERT_EQ(run.ratios.size(), size_t(1));
    EXPECT_DOUBLE_EQ(run.ratios[0], 1.0625);
    EXPECT_DOUBLE_EQ(run.coefficient, 1.0625);
    EXPECT_EQ(run.sd, 0.0);
    EXPECT_EQ(plot.vertices[0].x, 263);
    EXPECT_EQ(plot.meanLineRight, 496);
}

TEST(ScaleRatio, EqualRatiosLieOnTheFirstRowLevel) {
    const auto [run, plot] = FieldWithRatios(7, 5, [](int, int) { return 1.0; }).Plotted();
    ASSERT_TRUE(run.complete());
    for (const PlotVertex& p : plot.vertices)
        EXPECT_EQ(p.y, 250);
    EXPECT_EQ(run.coefficient, 1.0);
    EXPECT_EQ(run.sd, 0.0);
    EXPECT_EQ(plot.meanLineY, 250);
}

TEST(ScaleRatio, SwappedSizesPairOtherNodes) {
    // The same 20 points read as 4 columns of 5 and as 5 columns of 4.
    const Field f = FieldWithRatios(4, 5, Spread);
    const ScaleRatioRun asLaidOut = RunScaleRatio(4, 5, f.scene, f.image);
    const ScaleRatioRun swapped = RunScaleRatio(5, 4, f.scene, f.image);
    ASSERT_TRUE(asLaidOut.complete());
    ASSERT_TRUE(swapped.complete());
    EXPECT_EQ(asLaidOut.ratios.size(), size_t(6));
    EXPECT_EQ(swapped.ratios.size(), size_t(6));
    EXPECT_NE(asLaidOut.ratios, swapped.ratios);
}

// Failures: where the run stops and what it leaves.

TEST(ScaleRatioFailure, EqualSceneXInALaterRowKeepsTheNodesBefore) {
    Field f = FieldWithRatios(6, 6, Spread);
    f.Scene(3, 3).x = f.Scene(1, 3).x; // neighbours of node (2, 3)
    const auto [run, plot] = f.Plotted();
    EXPECT_EQ(run.stage, ScaleRatioStage::Ratio);
    EXPECT_EQ(run.failedColumn, 2);
    EXPECT_EQ(run.failedRow, 3);
    // Rows 1 and 2, then node (1, 3). Node (2, 3)'s neighbour change only touches it.
    std::vector<double> want = RatiosRowByRow(6, 6, Spread);
    want.resize(9);
    ASSERT_EQ(run.ratios.size(), want.size());
    ASSERT_EQ(plot.vertices.size(), want.size());
    double sum = 0;
    for (size_t t = 0; t < want.size(); ++t) {
        EXPECT_NEAR(run.ratios[t], want[t], 1e-13);
        sum += run.ratios[t];
    }
    EXPECT_TRUE(run.coefficientSet);
    EXPECT_DOUBLE_EQ(run.coefficient, sum); // summed, not divided
    EXPECT_FALSE(run.meanKnown());
}

TEST(ScaleRatioFailure, FaultFarIntoAWideGridKeepsTheNodesBefore) {
    Field f = FieldWithRatios(90, 7, Spread);
    f.Scene(71, 4).x = f.Scene(69, 4).x; // neighbours of node (70, 4)
    const auto [run, plot] = f.Plotted();
    EXPECT_EQ(run.stage, ScaleRatioStage::Ratio);
    EXPECT_EQ(run.failedColumn, 70);
    EXPECT_EQ(run.failedRow, 4);
    std::vector<double> want = RatiosRowByRow(90, 7, Spread);
    want.resize(size_t(3 * 88 + 69));
    ASSERT_EQ(run.ratios.size(), want.size());
    ASSERT_EQ(plot.vertices.size(), want.size());
    double sum = 0;
    for (size_t t = 0; t < want.size(); ++t) {
        ASSERT_NEAR(run.ratios[t], want[t], 1e-13) << t;
        sum += run.ratios[t];
    }
    EXPECT_DOUBLE_EQ(run.coefficient, sum);
}

TEST(ScaleRatioFailure, EveryZeroDivisorStopsTheRun) {
    struct Case {
        const char* what;
        std::function<void(Field&)> spoil;
        qint32 column, row;
    };
    const std::vector<Case> cases = {
        {"equal scene y above and below", [](Field& f) { f.Scene(2, 2).y = f.Scene(2, 0).y; }, 2,
         1},
        {"image x equal: scale along x is 0", [](Field& f) { f.Image(4, 2).x = f.Image(2, 2).x; },
         3, 2},
        {"0 / 0 for the ratio",
         [](Field& f) {
             f.Image(4, 2).x = f.Image(2, 2).x;
             f.Image(3, 3).y = f.Image(3, 1).y;
         },
         3, 2},
        {"0 / 0 along y",
         [](Field& f) {
             f.Scene(1, 4).y = f.Scene(1, 2).y;
             f.Image(1, 4).y = f.Image(1, 2).y;
         },
         1, 3},
        {"ratio 0 in the first row: no scale", [](Field& f) { f.Image(2, 2).y = f.Image(2, 0).y; },
         2, 1},
    };
    for (const Case& c : cases) {
        Field f = FieldWithRatios(6, 6, Spread);
        c.spoil(f);
        const auto [run, plot] = f.Plotted();
        EXPECT_EQ(run.stage, ScaleRatioStage::Ratio) << c.what;
        EXPECT_EQ(run.failedColumn, c.column) << c.what;
        EXPECT_EQ(run.failedRow, c.row) << c.what;
        const size_t before = size_t(c.row - 1) * 4 + size_t(c.column - 1);
        EXPECT_EQ(run.ratios.size(), before) << c.what;
        EXPECT_EQ(plot.vertices.size(), before) << c.what;
    }
}

TEST(ScaleRatioFailure, RatioZeroInALaterRowIsNoFault) {
    Field f = FieldWithRatios(6, 6, Spread);
    f.Image(2, 3).y = f.Image(2, 1).y; // b = 0 at node (2, 2)
    const auto [run, plot] = f.Plotted();
    ASSERT_TRUE(run.complete());
    EXPECT_EQ(run.ratios[5], 0.0);
    EXPECT_EQ(plot.vertices[5].y, 0);
}

TEST(ScaleRatioFailure, OverflowingDifferenceStopsTheRun) {
    Field f = FieldWithRatios(5, 5, Spread);
    f.Image(1, 2).x = -1.5e308;
    f.Image(3, 2).x = 1.5e308; // the difference is beyond the range of a double
    const ScaleRatioRun run = f.Run();
    EXPECT_EQ(run.stage, ScaleRatioStage::Ratio);
    EXPECT_EQ(run.failedColumn, 2);
    EXPECT_EQ(run.failedRow, 2);
}

TEST(ScaleRatioFailure, HugeRatios) {
    // A later row a million times the first fits the plot's 32-bit coordinates.
    const auto big = [](int, int j) { return j == 1 ? 1.0 : 1e6; };
    const PlottedScaleRatio fits = FieldWithRatios(5, 5, big).Plotted();
    ASSERT_TRUE(fits.run.complete());
    EXPECT_EQ(fits.plot.vertices.back().y, 250000000);

    // Ten billion times does not: the node fails before it is drawn or summed.
    const auto huge = [](int, int j) { return j == 1 ? 1.0 : 1e10; };
    const auto [run, plot] = FieldWithRatios(5, 5, huge).Plotted();
    EXPECT_EQ(run.stage, ScaleRatioStage::Ratio);
    EXPECT_EQ(run.failedColumn, 1);
    EXPECT_EQ(run.failedRow, 2);
    EXPECT_EQ(plot.vertices.size(), size_t(3));
    EXPECT_DOUBLE_EQ(run.coefficient, 3.0);

    // A huge first row scales itself to 250; the squared deviations overflow only after
    // the mean is known, which the window keeps.
    const auto first = [](int, int j) { return j == 1 ? 1e200 : 1.0; };
    const ScaleRatioRun late = FieldWithRatios(5, 4, first).Plotted().run;
    EXPECT_EQ(late.stage, ScaleRatioStage::Deviation);
    EXPECT_TRUE(late.meanKnown());
    EXPECT_FALSE(late.statisticsKnown());
    EXPECT_DOUBLE_EQ(late.coefficient, (3e200 + 3.0) / 6.0);
}

TEST(ScaleRatioFailure, SumBeyondTheRangeOfADouble) {
    // One interior row of two nodes, each with the ratio 1e308: the second node is drawn
    // (joined to the first) before its ratio is summed, and the sum overflows.
    Field f{4, 3, std::vector<PlanePoint>(12), std::vector<PlanePoint>(12)};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j) {
            f.Scene(i, j) = {10.0 * i, 1e-10 * j};
            f.Image(i, j) = {10.0 * i, j == 2 ? 2e298 : 0.0};
        }
    }
    const auto [run, plot] = f.Plotted();
    EXPECT_EQ(run.stage, ScaleRatioStage::Ratio);
    EXPECT_EQ(run.failedColumn, 2);
    EXPECT_EQ(run.failedRow, 1);
    ASSERT_EQ(run.ratios.size(), size_t(1));
    EXPECT_DOUBLE_EQ(run.ratios[0], 1e308);
    ASSERT_EQ(plot.vertices.size(), size_t(2));
    EXPECT_FALSE(plot.vertices[1].startsPolyline);
    EXPECT_DOUBLE_EQ(run.coefficient, 1e308);
}

TEST(ScaleRatioFailure, NoInteriorNodeIsZeroOverZero) {
    for (const auto& [nc, nr] :
         {std::pair{2, 6}, std::pair{6, 2}, std::pair{1, 1}, std::pair{2, 2}}) {
        const auto [run, plot] = FieldWithRatios(nc, nr, Spread).Plotted();
        EXPECT_EQ(run.stage, ScaleRatioStage::Mean) << nc << "x" << nr;
        EXPECT_TRUE(run.coefficientSet);
        EXPECT_EQ(run.coefficient, 0.0);
        EXPECT_TRUE(run.ratios.empty());
        EXPECT_TRUE(plot.vertices.empty());
    }
}

TEST(ScaleRatioFailure, NoColumnsHasNoStep) {
    const ScaleRatioRun run = RunPlottedScaleRatio(0, 6, {}, {}).run;
    EXPECT_EQ(run.stage, ScaleRatioStage::Step);
    EXPECT_FALSE(run.coefficientSet);
}

TEST(ScaleRatioFailure, SizesThatCannotBeLaidOut) {
    const Field f = FieldWithRatios(2, 3, Spread); // six points
    for (const auto& [nc, nr] : {std::pair{-2, -3}, std::pair{-3, -2}, std::pair{-6, -1},
                                 std::pair{3, 3}, std::pair{6, 6}}) {
        const ScaleRatioRun run = RunScaleRatio(nc, nr, f.scene, f.image);
        EXPECT_EQ(run.stage, ScaleRatioStage::Tables) << nc << "x" << nr;
        EXPECT_FALSE(run.coefficientSet);
        EXPECT_TRUE(run.ratios.empty());
    }
    // A product beyond 32 bits is not wrapped around to the count.
    EXPECT_EQ(GridPointCount(65536, 65536), qint64(1) << 32);
    EXPECT_EQ(RunScaleRatio(-1, 0, {}, {}).stage, ScaleRatioStage::Tables);
    EXPECT_EQ(RunScaleRatio(std::numeric_limits<qint32>::min(), -1, {}, {}).stage,
              ScaleRatioStage::Tables);
}

TEST(ScaleRatio, PointListsGiveTheSameRun) {
    const Field f = FieldWithRatios(5, 4, Spread);
    VT_Points scene(1), image(1);
    for (size_t k = 0; k < f.scene.size(); ++k) {
        scene.Add(new VT_Point(f.scene[k].x, f.scene[k].y));
        image.Add(new VT_Point(f.image[k].x, f.image[k].y));
    }
    const ScaleRatioRun fromLists = RunScaleRatio(5, 4, scene, image);
    const ScaleRatioRun fromTables = f.Run();
    ASSERT_TRUE(fromLists.complete());
    EXPECT_EQ(fromLists.ratios, fromTables.ratios);
    EXPECT_EQ(fromLists.coefficient, fromTables.coefficient);
    EXPECT_EQ(RunScaleRatio(-5, -4, scene, image).stage, ScaleRatioStage::Tables);
    EXPECT_EQ(RunScaleRatio(4, 4, scene, image).stage, ScaleRatioStage::Tables);
}

} // namespace
} // namespace vrma
