// The node analysis against direct computation: where each ratio lies, median, MAD,
// standard error, outliers on the bundled example with one image point moved, and the
// CSV text.
#include "calib/NodeAnalysis.h"
#include "calib/ScaleRatio.h"
#include "data/Errors.h"
#include "data/PlanePoint.h"
#include "data/Procedures.h"
#include "platform/Locale.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace vrma {
namespace {

using Node = std::pair<int, int>; // column, row

// The median by its definition: the middle of the fully sorted values.
long double SortedMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (static_cast<long double>(v[n / 2 - 1]) + v[n / 2]) / 2;
}

struct Grid {
    int nc;
    int nr;
    std::vector<PlanePoint> scene;
    std::vector<PlanePoint> image;
    PlanePoint& Image(int i, int j) { return image[size_t(i * nr + j)]; }
    ScaleRatioRun Run() const { return RunScaleRatio(nc, nr, scene, image); }
};

std::vector<PlanePoint> Points(const QString& file) {
    VT_Points list(1);
    LoadPointFile(file, &list);
    return PlanePoints(list);
}

Grid Example() {
    const QString dir = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");
    return Grid{6, 6, Points(dir + QStringLiteral("scene.crd")),
                Points(dir + QStringLiteral("image.crd"))};
}

// A camera looking straight at a field of integer coordinates: every central
// difference is exact, so every ratio is exactly 1.25 and MAD is 0.
Grid ExactField(int nc, int nr) {
    Grid g{nc, nr, {}, {}};
    for (int i = 0; i < nc; ++i)
        for (int j = 0; j < nr; ++j) {
            g.scene.push_back({20.0 * i, 20.0 * j});
            g.image.push_back({100.0 + 4.0 * i * 20.0, 50.0 + 5.0 * j * 20.0});
        }
    return g;
}

// The interior nodes whose central differences use image point (i, j): its x enters
// the scale along x of the nodes (i-1, j) and (i+1, j), its y the scale along y of the
// nodes (i, j-1) and (i, j+1).
std::set<Node> Neighbours(int nc, int nr, int i, int j) {
    std::set<Node> out;
    for (const Node& n : {Node{i - 1, j}, Node{i + 1, j}, Node{i, j - 1}, Node{i, j + 1}})
        if (n.first >= 1 && n.first <= nc - 2 && n.second >= 1 && n.second <= nr - 2)
            out.insert(n);
    return out;
}

std::set<Node> Flagged(const NodeAnalysis& a) {
    std::set<Node> out;
    for (const NodeValue& v : a.nodes)
        if (v.outlier)
            out.insert({v.column, v.row});
    return out;
}

// The nodes whose ratio differs between two runs of the same grid.
std::set<Node> Changed(int nc, const ScaleRatioRun& before, const ScaleRatioRun& after) {
    std::set<Node> out;
    for (size_t k = 0; k < before.ratios.size(); ++k)
        if (before.ratios[k] != after.ratios[k])
            out.insert({1 + int(k) % (nc - 2), 1 + int(k) / (nc - 2)});
    return out;
}

TEST(NodeAnalysis, EachRatioLiesAtTheNodeItWasComputedFor) {
    // Every node gets a ratio of its own, made from its column and row.
    const auto ratio = [](int i, int j) { return 1.0 + i / 100.0 + j / 10000.0; };
    Grid g{7, 5, {}, {}};
    for (int i = 0; i < g.nc; ++i) {
        double y = 0;
        for (int j = 0; j < g.nr; ++j) {
            g.scene.push_back({10.0 * i, 10.0 * j});
            // The image y chained so that the central difference at (i, j) is
            // 20 * ratio(i, j) over a scene step of 20.
            if (j == 1)
                y = 10.0;
            else if (j >= 2)
                y = g.image[size_t(i * g.nr + j - 2)].y +
                    20.0 * (i >= 1 && i <= g.nc - 2 ? ratio(i, j - 1) : 1.0);
            g.image.push_back({10.0 * i, y});
        }
    }
    const ScaleRatioRun run = g.Run();
    ASSERT_TRUE(run.complete());
    const NodeAnalysis a = AnalyseNodes(g.nc, g.nr, run.ratios);
    ASSERT_EQ(a.nodes.size(), 15u);
    std::set<Node> seen;
    for (const NodeValue& v : a.nodes) {
        EXPECT_NEAR(v.ratio, ratio(v.column, v.row), 1e-12) << v.column << "," << v.row;
        EXPECT_EQ(a.at(v.column, v.row), &v);
        seen.insert({v.column, v.row});
    }
    EXPECT_EQ(seen.size(), 15u);
    EXPECT_EQ(a.at(0, 1), nullptr);
    EXPECT_EQ(a.at(6, 1), nullptr);
    EXPECT_EQ(a.at(1, 4), nullptr);
}

TEST(NodeAnalysis, StatisticsAgreeWithDirectComputation) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(0.9, 1.1);
    for (const auto& [nc, nr] :
         {std::pair{3, 3}, std::pair{4, 3}, std::pair{5, 5}, std::pair{6, 7}, std::pair{12, 9}}) {
        std::vector<double> ratios;
        for (int k = 0; k < (nc - 2) * (nr - 2); ++k)
            ratios.push_back(spread(random));
        // A few exact repeats, so that ties in the middle are exercised too.
        if (ratios.size() > 4)
            ratios[1] = ratios[3] = ratios[0];
        const NodeAnalysis a = AnalyseNodes(nc, nr, ratios);
        const size_t n = ratios.size();
        EXPECT_EQ(a.n, qint64(n));

        long double sum = 0;
        for (double r : ratios)
            sum += r;
        const long double mean = sum / n;
        long double squares = 0;
        for (double r : ratios)
            squares += (r - mean) * (r - mean);
        const long double sd = n > 1 ? std::sqrt(squares / (n - 1)) : 0;
        EXPECT_NEAR(a.mean, double(mean), 1e-14);
        EXPECT_NEAR(a.sd, double(sd), 1e-14);
        EXPECT_NEAR(a.sem, double(sd / std::sqrt(static_cast<long double>(n))), 1e-14);

        const long double median = SortedMedian(ratios);
        EXPECT_NEAR(a.median, double(median), 1e-15);
        std::vector<double> distances;
        for (double r : ratios)
            distances.push_back(double(std::fabs(r - median)));
        const long double mad = SortedMedian(distances);
        EXPECT_NEAR(a.mad, double(mad), 1e-15);
        EXPECT_NEAR(a.scaledMad, double(1.4826L * mad), 1e-15);

        for (size_t k = 0; k < n; ++k) {
            const NodeValue& v = a.nodes[k];
            EXPECT_NEAR(v.deviation, sd > 0 ? double((ratios[k] - mean) / sd) : 0.0, 1e-12);
            EXPECT_EQ(v.outlier, std::fabs(ratios[k] - median) > 3.5L * 1.4826L * mad);
        }
    }
}

TEST(NodeAnalysis, HandWorkedField) {
    // 5 x 5 grid, 3 x 3 interior. Sorted: 0.9 0.95 1 1 1 1.05 1.1 1.2 5 -> median 1.
    // Distances sorted: 0 0 0 .05 .05 .1 .1 .2 4 -> MAD 0.05, scaled 0.07413, and the
    // outlier bound 3.5 * 0.07413 = 0.259455 leaves 1.2 in and puts 5 out.
    const std::vector<double> ratios{1.0, 1.2, 0.9, 1.1, 5.0, 1.05, 0.95, 1.0, 1.0};
    const NodeAnalysis a = AnalyseNodes(5, 5, ratios);
    EXPECT_DOUBLE_EQ(a.median, 1.0);
    EXPECT_NEAR(a.mad, 0.05, 1e-15);
    EXPECT_NEAR(a.threshold, 0.259455, 1e-12);
    ASSERT_EQ(a.outlierCount(), 1);
    const NodeValue out = a.outliers()[0];
    EXPECT_EQ(out.column, 2); // the fifth ratio: row 2, middle column
    EXPECT_EQ(out.row, 2);
    EXPECT_DOUBLE_EQ(out.ratio, 5.0);
    EXPECT_DOUBLE_EQ(a.minRatio, 0.9);
    EXPECT_DOUBLE_EQ(a.maxRatio, 5.0);

    // An even count takes the middle of the two middle values.
    EXPECT_DOUBLE_EQ(Median(std::vector<double>{4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_DOUBLE_EQ(Median(std::vector<double>{7.0}), 7.0);
    EXPECT_THROW(Median(std::vector<double>{}), CalcError);
}

TEST(NodeAnalysis, TwoPixelsOnOneImagePointFlagExactlyItsNeighbours) {
    const Grid example = Example();
    const ScaleRatioRun original = example.Run();
    ASSERT_TRUE(original.complete());
    const NodeAnalysis plain = AnalyseNodes(6, 6, original.ratios);
    EXPECT_EQ(plain.outlierCount(), 0) << "the example's noise is not an outlier";

    // Every point of the field in turn, moved by two pixels along x and along y.
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 6; ++j) {
            Grid moved = example;
            moved.Image(i, j).x += 2.0;
            moved.Image(i, j).y += 2.0;
            const ScaleRatioRun run = moved.Run();
            ASSERT_TRUE(run.complete());
            const std::set<Node> expected = Neighbours(6, 6, i, j);
            // The central differences: only the neighbours' ratios change...
            EXPECT_EQ(Changed(6, original, run), expected) << "point " << i << "," << j;
            // ...and exactly those are flagged.
            EXPECT_EQ(Flagged(AnalyseNodes(6, 6, run.ratios)), expected)
                << "point " << i << "," << j;
        }
    }
}

TEST(NodeAnalysis, ExactFieldWithoutSpreadHasNoOutliersUntilAPointMoves) {
    const Grid exact = ExactField(7, 6);
    const ScaleRatioRun run = exact.Run();
    ASSERT_TRUE(run.complete());
    const NodeAnalysis a = AnalyseNodes(7, 6, run.ratios);
    EXPECT_EQ(a.mad, 0.0);
    EXPECT_EQ(a.sd, 0.0);
    EXPECT_EQ(a.outlierCount(), 0);
    for (const NodeValue& v : a.nodes) {
        EXPECT_DOUBLE_EQ(v.ratio, 1.25);
        EXPECT_EQ(v.deviation, 0.0);
    }

    // MAD stays 0 with one point moved (more than half of the nodes keep 1.25), and
    // the nodes that left the common ratio are the outliers.
    Grid moved = exact;
    moved.Image(3, 2).x += 2.0;
    moved.Image(3, 2).y -= 2.0;
    const ScaleRatioRun after = moved.Run();
    ASSERT_TRUE(after.complete());
    const NodeAnalysis b = AnalyseNodes(7, 6, after.ratios);
    EXPECT_EQ(b.mad, 0.0);
    EXPECT_EQ(Flagged(b), Neighbours(7, 6, 3, 2));
}

TEST(NodeAnalysis, RatiosEqualUpToRoundingHaveNoOutliersAndNoDeviation) {
    // Nine equal ratios whose sum is not exact: the mean differs from them in the last
    // bit, which must not show as a deviation or an outlier.
    const std::vector<double> ratios(9, 0.1);
    const NodeAnalysis a = AnalyseNodes(5, 5, ratios);
    EXPECT_EQ(a.outlierCount(), 0);
    for (const NodeValue& v : a.nodes)
        EXPECT_EQ(v.deviation, 0.0);

    // One ratio a single bit away from the others is rounding, not an outlier.
    std::vector<double> almost(9, 1.0);
    almost[4] = std::nextafter(1.0, 2.0);
    EXPECT_EQ(AnalyseNodes(5, 5, almost).outlierCount(), 0);
}

TEST(NodeAnalysis, RatiosThatDoNotFitTheGridAreRefused) {
    EXPECT_THROW(AnalyseNodes(6, 6, std::vector<double>(15, 1.0)), CalcError);
    EXPECT_THROW(AnalyseNodes(2, 6, std::vector<double>{}), CalcError);
    EXPECT_THROW(AnalyseNodes(6, 6, std::vector<double>{}), CalcError);
    std::vector<double> withNan(16, 1.0);
    withNan[3] = std::nan("");
    EXPECT_THROW(AnalyseNodes(6, 6, withNan), CalcError);
}

TEST(NodeAnalysis, CsvHoldsEveryNodeWithAPointWhateverTheSeparator) {
    const ScaleRatioRun run = Example().Run();
    ASSERT_TRUE(run.complete());
    std::vector<double> ratios = run.ratios;
    ratios[5] = 1.5; // an outlier, so that the flag column holds a 1
    const QChar keep = DecimalSeparator();
    SetDecimalSeparator(QLatin1Char(','));
    const NodeAnalysis a = AnalyseNodes(6, 6, ratios);
    const QByteArray csv = NodeAnalysisCsv(a);
    SetDecimalSeparator(keep);

    const QString text = QString::fromUtf8(csv);
    EXPECT_EQ(text.toUtf8(), csv) << "valid UTF-8";
    ASSERT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 17);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Столбец,Строка,")));
    EXPECT_EQ(lines[0].split(QLatin1Char(',')).size(), 5);
    int flagged = 0;
    for (int k = 0; k < 16; ++k) {
        const QStringList f = lines[k + 1].split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 5) << lines[k + 1].toStdString();
        EXPECT_EQ(f[0].toInt(), 1 + k % 4);
        EXPECT_EQ(f[1].toInt(), 1 + k / 4);
        bool ok = false;
        EXPECT_EQ(f[2].toDouble(&ok), ratios[size_t(k)]) << "the ratio reads back exactly";
        EXPECT_TRUE(ok);
        EXPECT_EQ(f[3].toDouble(&ok), a.nodes[size_t(k)].deviation);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(f[4] == QStringLiteral("0") || f[4] == QStringLiteral("1"));
        flagged += f[4].toInt();
    }
    EXPECT_EQ(flagged, 1);
    EXPECT_EQ(lines[6].split(QLatin1Char(',')).at(4), QStringLiteral("1"));
}

} // namespace
} // namespace vrma
