// Painting a run on the plot bitmap.
#include "drawing/ScaleRatioPlot.h"

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

ScaleRatioRun RunWithPlot(std::vector<PlotVertex> plot) {
    ScaleRatioRun run;
    run.stage = ScaleRatioStage::Ratio; // stopped part-way: no mean line
    run.plot = std::move(plot);
    return run;
}

TEST(ScaleRatioPlot, PolylinesStartWhereARowStarts) {
    QImage bitmap = WhiteBitmap();
    DrawScaleRatioPlot(bitmap, RunWithPlot({{146, 100, true},
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
    DrawScaleRatioPlot(bitmap, RunWithPlot({{263, 250, true}, {263, 300, true}}));
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 255, 255)), 700 * 500);
}

TEST(ScaleRatioPlot, MeanLineIsPureRedOverThePolylines) {
    QImage bitmap = WhiteBitmap();
    ScaleRatioRun run = RunWithPlot({{146, 250, true}, {263, 250, false}, {380, 250, false}});
    run.stage = ScaleRatioStage::Complete;
    run.meanLineY = 250;
    run.meanLineRight = 613;
    DrawScaleRatioPlot(bitmap, run);
    for (int x = 30; x <= 613; ++x)
        EXPECT_TRUE(IsRed(bitmap, x, 250)) << x;
    EXPECT_FALSE(IsRed(bitmap, 29, 250));
    EXPECT_FALSE(IsRed(bitmap, 614, 250));
    EXPECT_EQ(CountPixels(bitmap, qRgb(255, 0, 0)), 613 - 30 + 1);
    EXPECT_EQ(CountPixels(bitmap, qRgb(0, 0, 0)), 0);
}

TEST(ScaleRatioPlot, CoordinatesFarBeyondTheBitmapAreClipped) {
    QImage bitmap = WhiteBitmap();
    ScaleRatioRun run =
        RunWithPlot({{146, 250, true}, {263, 2000000000, false}, {380, -2000000000, false}});
    run.stage = ScaleRatioStage::Complete;
    run.meanLineY = 2000000000;
    run.meanLineRight = 613;
    DrawScaleRatioPlot(bitmap, run);
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

} // namespace
} // namespace vrma
