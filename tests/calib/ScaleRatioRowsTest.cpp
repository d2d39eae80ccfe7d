// The run takes each row's nodes in one sweep with its checks gathered, and does the row
// again step by step when one of them fails: the outcome must be that of every step
// checked in turn, down to the node where a failure stops the run and the last bit of every
// value. Compared here with the plain step-by-step run, with its plot and without, on fields
// with faults planted in them.
#include "calib/ScaleRatio.h"
#include "drawing/ScaleRatioPlot.h"

#include "data/Checked.h"
#include "data/Errors.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

namespace vrma {
namespace {

using namespace checked;

// Every step checked in turn, row by row, the plot's with the run's (or the run's alone).
PlottedScaleRatio StepByStep(qint32 nc, qint32 nr, const std::vector<PlanePoint>& scene,
                             const std::vector<PlanePoint>& image, bool plotted = true) {
    PlottedScaleRatio result;
    ScaleRatioRun& run = result.run;
    ScaleRatioPlot& plot = result.plot;
    try {
        run.stage = ScaleRatioStage::Step;
        if (plotted)
            plot.h = Div(700.0, double(nc));
        run.coefficientSet = true;
        run.stage = ScaleRatioStage::Ratio;
        const size_t rows = size_t(nr);
        for (qint32 j = 1; j <= nr - 2; ++j) {
            for (qint32 i = 1; i <= nc - 2; ++i) {
                run.failedColumn = i;
                run.failedRow = j;
                const size_t node = size_t(i) * rows + size_t(j);
                const double a = Div(Sub(image[node + rows].x, image[node - rows].x),
                                     Sub(scene[node + rows].x, scene[node - rows].x));
                const double b = Div(Sub(image[node + 1].y, image[node - 1].y),
                                     Sub(scene[node + 1].y, scene[node - 1].y));
                const double v = std::fabs(Div(b, a));
                if (plotted && j == 1)
                    plot.s = Div(250.0, v);
                if (plotted)
                    plot.vertices.push_back(PlotVertex{Trunc(Add(Mul(i, plot.h), 30.0)),
                                                       Trunc(Mul(v, plot.s)), i == 1});
                run.coefficient = Add(run.coefficient, v);
                run.ratios.push_back(v);
            }
        }
        run.failedColumn = -1;
        run.failedRow = -1;
        run.stage = ScaleRatioStage::Mean;
        run.coefficient = Div(run.coefficient, double(run.ratios.size()));
        run.stage = ScaleRatioStage::Deviation;
        double squares = 0.0;
        for (double ratio : run.ratios) {
            const double d = Sub(ratio, run.coefficient);
            squares = Add(squares, Mul(d, d));
        }
        const size_t n = run.ratios.size();
        run.sd = n > 1 ? std::sqrt(Div(squares, double(n - 1))) : 0.0;
        run.stage = ScaleRatioStage::MeanLine;
        if (plotted) {
            plot.meanLineY = Trunc(Mul(run.coefficient, plot.s));
            plot.meanLineRight = Trunc(Add(Mul(double(nc) - 1.0, plot.h), 30.0));
            plot.meanLine = true;
        }
        run.stage = ScaleRatioStage::Complete;
    } catch (const CalcError&) {
    }
    return result;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectSameRun(const PlottedScaleRatio& actualRun, const PlottedScaleRatio& expectedRun,
                   int trial) {
    SCOPED_TRACE(trial);
    const ScaleRatioRun& actual = actualRun.run;
    const ScaleRatioRun& expected = expectedRun.run;
    const ScaleRatioPlot& actualPlot = actualRun.plot;
    const ScaleRatioPlot& expectedPlot = expectedRun.plot;
    ASSERT_EQ(int(actual.stage), int(expected.stage));
    EXPECT_EQ(actual.failedColumn, expected.failedColumn);
    EXPECT_EQ(actual.failedRow, expected.failedRow);
    ASSERT_EQ(actual.ratios.size(), expected.ratios.size());
    for (size_t k = 0; k < actual.ratios.size(); ++k)
        ASSERT_TRUE(SameBits(actual.ratios[k], expected.ratios[k])) << k;
    ASSERT_EQ(actualPlot.vertices.size(), expectedPlot.vertices.size());
    for (size_t k = 0; k < actualPlot.vertices.size(); ++k) {
        ASSERT_EQ(actualPlot.vertices[k].x, expectedPlot.vertices[k].x) << k;
        ASSERT_EQ(actualPlot.vertices[k].y, expectedPlot.vertices[k].y) << k;
        ASSERT_EQ(actualPlot.vertices[k].startsPolyline, expectedPlot.vertices[k].startsPolyline)
            << k;
    }
    EXPECT_TRUE(SameBits(actualPlot.h, expectedPlot.h));
    EXPECT_TRUE(SameBits(actualPlot.s, expectedPlot.s));
    EXPECT_EQ(actual.coefficientSet, expected.coefficientSet);
    EXPECT_TRUE(SameBits(actual.coefficient, expected.coefficient));
    EXPECT_TRUE(SameBits(actual.sd, expected.sd));
    EXPECT_EQ(actualPlot.meanLineY, expectedPlot.meanLineY);
    EXPECT_EQ(actualPlot.meanLineRight, expectedPlot.meanLineRight);
}

// A measured field: 2 mm between targets, 5 pixels a millimetre, a little noise.
void MakeField(qint32 nc, qint32 nr, std::mt19937_64& random, std::vector<PlanePoint>& scene,
               std::vector<PlanePoint>& image) {
    std::normal_distribution<double> noise(0.0, 0.02);
    scene.assign(size_t(nc) * size_t(nr), {});
    image.assign(scene.size(), {});
    for (qint32 i = 0; i < nc; ++i) {
        for (qint32 j = 0; j < nr; ++j) {
            const size_t k = size_t(i) * size_t(nr) + size_t(j);
            scene[k] = {2.0 * i + 0.001 * noise(random), 2.0 * j + 0.001 * noise(random)};
            image[k] = {10.0 * i + noise(random), 10.023 * j + noise(random)};
        }
    }
}

// Plants a fault (or a near fault) at a random point: a value equal to a neighbour's, a
// zero, a value far beyond the others, one too small to divide by, an infinity or NaN.
void PlantFault(qint32 nc, qint32 nr, std::mt19937_64& random, std::vector<PlanePoint>& scene,
                std::vector<PlanePoint>& image) {
    const size_t k = size_t(random() % scene.size());
    std::vector<PlanePoint>& table = random() % 2 ? scene : image;
    double& value = random() % 2 ? table[k].x : table[k].y;
    const size_t across = k + size_t(nr) < table.size() ? k + size_t(nr) : k;
    const size_t down = k + 2 < table.size() ? k + 2 : k;
    switch (random() % 9) {
    case 0:
        value = (&value == &table[k].x) ? table[across].x : table[down].y; // equal neighbours
        break;
    case 1:
        value = 0.0;
        break;
    case 2:
        value = random() % 2 ? 1.7e308 : -1.7e308; // differences beyond the range
        break;
    case 3:
        value = value * 1e300; // ratios far too large for a pixel, or beyond the range
        break;
    case 4:
        value = value * 1e-300;
        break;
    case 5:
        value = std::numeric_limits<double>::infinity();
        break;
    case 6:
        value = std::numeric_limits<double>::quiet_NaN();
        break;
    case 7: // a first row whose ratio is 0 (image y of both neighbours alike)
        if (nr > 2)
            for (qint32 i = 0; i < nc; ++i)
                image[size_t(i) * size_t(nr) + 2].y = image[size_t(i) * size_t(nr)].y;
        break;
    default:
        value = value * 1e6;
        break;
    }
}

TEST(ScaleRatioRows, SameRunAsEveryStepCheckedOnFieldsWithFaults) {
    std::mt19937_64 random(41);
    int failed = 0;
    int completed = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const qint32 nc = 1 + qint32(random() % 14);
        const qint32 nr = 1 + qint32(random() % 14);
        std::vector<PlanePoint> scene;
        std::vector<PlanePoint> image;
        MakeField(nc, nr, random, scene, image);
        const int faults = trial % 4 == 0 ? 0 : 1 + int(random() % 3);
        for (int f = 0; f < faults; ++f)
            PlantFault(nc, nr, random, scene, image);
        const PlottedScaleRatio expected = StepByStep(nc, nr, scene, image);
        ExpectSameRun(RunPlottedScaleRatio(nc, nr, scene, image), expected, trial);
        (expected.run.complete() ? completed : failed)++;
        // The run without its plot stops only where its own steps fail.
        ExpectSameRun(PlottedScaleRatio{RunScaleRatio(nc, nr, scene, image), {}},
                      StepByStep(nc, nr, scene, image, false), trial);
    }
    // Both outcomes, and failures at every stage they can have, came up.
    EXPECT_GT(completed, 500);
    EXPECT_GT(failed, 500);
}

TEST(ScaleRatioRows, WideGridsTakenInBlocksOfRows) {
    // Wide grids are taken a few rows at a time (one row a block from about 5,500 columns
    // on): faults at the first and last rows of a block, and between blocks.
    std::mt19937_64 random(43);
    for (int trial = 0; trial < 60; ++trial) {
        const qint32 nc = trial % 3 == 0 ? 9000 : 2000 + qint32(random() % 3000);
        const qint32 nr = 3 + qint32(random() % 12);
        std::vector<PlanePoint> scene;
        std::vector<PlanePoint> image;
        MakeField(nc, nr, random, scene, image);
        if (trial % 4 != 0)
            PlantFault(nc, nr, random, scene, image);
        ExpectSameRun(RunPlottedScaleRatio(nc, nr, scene, image), StepByStep(nc, nr, scene, image),
                      trial);
    }
}

TEST(ScaleRatioRows, SumBeyondTheRangeStopsWhereEveryStepCheckedStops) {
    // Ratios near the largest double on a wide row: the running sum overflows part-way.
    const qint32 nc = 40;
    const qint32 nr = 4;
    std::vector<PlanePoint> scene(size_t(nc) * nr);
    std::vector<PlanePoint> image(scene.size());
    for (qint32 i = 0; i < nc; ++i) {
        for (qint32 j = 0; j < nr; ++j) {
            const size_t k = size_t(i) * nr + size_t(j);
            scene[k] = {1e-150 * i, 1e-150 * j};
            image[k] = {1e-150 * i, 1e157 * j};
        }
    }
    const PlottedScaleRatio expected = StepByStep(nc, nr, scene, image);
    ExpectSameRun(RunPlottedScaleRatio(nc, nr, scene, image), expected, 0);
    EXPECT_EQ(int(expected.run.stage), int(ScaleRatioStage::Ratio));
    EXPECT_EQ(expected.run.failedRow, 1);
}

} // namespace
} // namespace vrma
