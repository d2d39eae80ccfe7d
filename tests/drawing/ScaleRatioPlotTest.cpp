// Painting a plot on the plot bitmap.
#include "drawing/ScaleRatioPlot.h"

#include "data/Errors.h"
#include "support/SyntheticField.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

namespace vrma {
namespace {

QImage WhiteBitmap() {
    QImage bitmap(700, 500, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    return bitmap;
}

bool IsBlack(const QImage& image, int x, int y) {
    return image.pixel(x, y) == qRgb(0, 0, 0);
}
bool IsRed(const QImage& image, int x, int y) {
    return image.pixel(x, y) == qRgb(255, 0, 0);
}

int CountPixels(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

// A plot of these vertices and no mean line (a run stopped part-way).
ScaleRatioPlot PlotWith(std::vector<PlotVertex> vertices) {
    ScaleRatioPlot plot;
    plot.vertices = std::move(vertices);
    return plot;
}

TEST(ScaleRatioPlot, PolylinesStartWhereARowStarts) {
    QImage bitmap = WhiteBitmap();
    DrawScaleRatioPlot(bitmap, PlotWith({{146, 100, true},
                                         {263, 200, false},
                                         {380, 100, false},
                                         {146, 400, true},
                                         {263, 400, false}}));
    for (auto [x, y] : {std::pair{146, 100}, {263, 200}, {380, 100}, {146, 400}, {263, 400}})
        EXPECT_TRUE(IsBlack(bitmap, x, y)) << x << "," << y;
    // The second row is not joined to the first.
    EXPECT_FALSE(IsBlack(bitmap, 263, 250));
    EXPECT_FALSE(IsBlack(bitmap, 381, 100));
    // A level segment of one pixel's width, both ends included: 118 pixels.
    int row400 = 0;
    for (int x = 0; x < 700; ++x)
        row400 += IsBlack(bitmap, x, 400);
    EXPECT_EQ(row400, 118);
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 0, 0)), 0);
}

TEST(ScaleRatioPlot, RowOfOneNodeDrawsNothing) {
    QImage bitmap = WhiteBitmap();
    DrawScaleRatioPlot(bitmap, PlotWith({{263, 250, true}, {263, 300, true}}));
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 255, 255)), 700 * 500);
}

TEST(ScaleRatioPlot, MeanLineIsPureRedOverThePolylines) {
    QImage bitmap = WhiteBitmap();
    ScaleRatioPlot plot = PlotWith({{146, 250, true}, {263, 250, false}, {380, 250, false}});
    plot.meanLine = true;
    plot.meanLineY = 250;
    plot.meanLineRight = 613;
    DrawScaleRatioPlot(bitmap, plot);
    for (int x = 30; x <= 613; ++x)
        EXPECT_TRUE(IsRed(bitmap, x, 250)) << x;
    EXPECT_FALSE(IsRed(bitmap, 29, 250));
    EXPECT_FALSE(IsRed(bitmap, 614, 250));
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 0, 0)), 613 - 30 + 1);
    EXPECT_EQ(CountPixels(bitmap, qRgb(0, 0, 0)), 0);
}

TEST(ScaleRatioPlot, CoordinatesFarBeyondTheBitmapAreClipped) {
    QImage bitmap = WhiteBitmap();
    ScaleRatioPlot plot =
        PlotWith({{146, 250, true}, {263, 2000000000, false}, {380, -2000000000, false}});
    plot.meanLine = true;
    plot.meanLineY = 2000000000;
    plot.meanLineRight = 613;
    DrawScaleRatioPlot(bitmap, plot);
    // The first segment falls straight down from its node, the second crosses the
    // whole height half-way between the nodes.
    for (int y = 250; y < 500; ++y)
        EXPECT_TRUE(IsBlack(bitmap, 146, y)) << y;
    for (int y = 0; y < 500; ++y) {
        bool crossed = false;
        for (int x = 319; x <= 324; ++x)
            crossed = crossed || IsBlack(bitmap, x, y);
        EXPECT_TRUE(crossed) << y;
    }
    EXPECT_FALSE(IsBlack(bitmap, 146, 249));
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 0, 0)), 0);
}

TEST(ScaleRatioPlot, MadeAgainFromACompleteRunAsItWasWhileTheRunWent) {
    // The report places the plot again from the run's ratios and mean.
    const test::SyntheticField field = test::FieldWithRatios(
        9, 7, [](int i, int j) { return 0.9 + 0.01 * i + (j == 1 ? 0.0 : 0.05 * j); });
    const PlottedScaleRatio plotted = field.Plotted();
    ASSERT_TRUE(plotted.run.complete());
    for (const ScaleRatioRun& run : {plotted.run, field.Run()}) {
        const ScaleRatioPlot again = PlotOfRun(9, run);
        EXPECT_EQ(again.h, plotted.plot.h);
        EXPECT_EQ(again.s, plotted.plot.s);
        ASSERT_EQ(again.vertices.size(), plotted.plot.vertices.size());
        for (size_t k = 0; k < again.vertices.size(); ++k) {
            EXPECT_EQ(again.vertices[k].x, plotted.plot.vertices[k].x) << k;
            EXPECT_EQ(again.vertices[k].y, plotted.plot.vertices[k].y) << k;
            EXPECT_EQ(again.vertices[k].startsPolyline, plotted.plot.vertices[k].startsPolyline);
        }
        EXPECT_TRUE(again.meanLine);
        EXPECT_EQ(again.meanLineY, plotted.plot.meanLineY);
        EXPECT_EQ(again.meanLineRight, plotted.plot.meanLineRight);
    }
}

TEST(ScaleRatioPlot, NoPlotOfARunThatStoppedOrThatTheWindowWouldHaveStopped) {
    test::SyntheticField field = test::FieldWithRatios(6, 6, [](int, int) { return 1.0; });
    field.Image(2, 2).y = field.Image(2, 0).y; // a ratio of 0 in the first row: no scale
    const ScaleRatioRun unplotted = field.Run();
    ASSERT_TRUE(unplotted.complete());
    EXPECT_THROW(PlotOfRun(6, unplotted), CalcError);

    const PlottedScaleRatio plotted = field.Plotted();
    ASSERT_FALSE(plotted.run.complete());
    EXPECT_EQ(plotted.plot.vertices.size(), size_t(1));
    EXPECT_FALSE(plotted.plot.meanLine);
    EXPECT_THROW(PlotOfRun(6, plotted.run), CalcError);
}

} // namespace
} // namespace vrma
