// The plot is painted with fewer vertices than the plot has, pixel for pixel as the painter
// draws every vertex of every polyline: the bitmaps are compared whole, on runs like those
// of a calibration and on runs made to hit the cases where leaving a vertex out could show
// (repeated vertices at the ends of a polyline, closed polylines, polylines leaving and
// entering the bitmap, tails beyond its right edge, coordinates near its edges and far away).
#include "drawing/ScaleRatioPlot.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace vrma {
namespace {

// The plot as the plain painter draws it: every polyline of the plot with all its vertices.
QImage ReferencePlot(int width, int height, const ScaleRatioPlot& plot) {
    QImage bitmap(width, height, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter canvas(&bitmap);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(QColor(0, 0, 0), 1));
    std::vector<QPoint> points;
    const auto flush = [&] {
        if (points.size() >= 2)
            canvas.drawPolyline(points.data(), int(points.size()));
        points.clear();
    };
    for (const PlotVertex& v : plot.vertices) {
        if (v.startsPolyline)
            flush();
        points.emplace_back(v.x, v.y);
    }
    flush();
    if (plot.meanLine) {
        canvas.setPen(QPen(QColor(255, 0, 0), 1));
        canvas.drawLine(QPoint(30, plot.meanLineY), QPoint(plot.meanLineRight, plot.meanLineY));
    }
    return bitmap;
}

QImage Plot(int width, int height, const ScaleRatioPlot& plot) {
    QImage bitmap(width, height, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    DrawScaleRatioPlot(bitmap, plot);
    return bitmap;
}

int PaintedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

// A plot as a calibration of an nc x nr grid makes it: ratios about `mean` with deviation
// `sd`, the first interior row scaled to about 250 by its last ratio.
ScaleRatioPlot CalibrationLikeRun(int nc, int nr, double mean, double sd, std::mt19937& rng) {
    std::normal_distribution<double> ratio(mean, sd);
    ScaleRatioPlot plot;
    plot.h = 700.0 / nc;
    std::vector<double> firstRow;
    for (int i = 1; i <= nc - 2; ++i)
        firstRow.push_back(std::fabs(ratio(rng)));
    plot.s = 250.0 / firstRow.back();
    for (int j = 1; j <= nr - 2; ++j) {
        for (int i = 1; i <= nc - 2; ++i) {
            const double v = j == 1 ? firstRow[size_t(i - 1)] : std::fabs(ratio(rng));
            plot.vertices.push_back(
                PlotVertex{qint32(i * plot.h + 30.0), qint32(v * plot.s), i == 1});
        }
    }
    plot.meanLine = true;
    plot.meanLineY = 250;
    plot.meanLineRight = qint32((nc - 1) * plot.h + 30.0);
    return plot;
}

TEST(ScaleRatioPlotPixels, CalibrationLikeRunsAreUnchanged) {
    std::mt19937 rng(7);
    // Grids whose last columns lie within the bitmap (up to 48 columns) and beyond it;
    // spreads that keep the rows on a few pixel rows and that scatter them.
    const struct {
        int nc, nr;
        double sd;
    } cases[] = {{3, 3, 0.01},    {6, 6, 0.005},    {6, 40, 0.3},      {48, 30, 0.005},
                 {49, 30, 0.005}, {60, 60, 0.05},   {200, 50, 0.0051}, {1000, 40, 0.0051},
                 {1000, 20, 0.5}, {3000, 5, 0.0051}};
    for (const auto& c : cases) {
        const ScaleRatioPlot plot = CalibrationLikeRun(c.nc, c.nr, 1.0023, c.sd, rng);
        const QImage expected = ReferencePlot(700, 500, plot);
        EXPECT_GT(PaintedPixels(expected), 0);
        EXPECT_TRUE(Plot(700, 500, plot) == expected) << c.nc << " x " << c.nr << " sd " << c.sd;
    }
}

TEST(ScaleRatioPlotPixels, AFullSizeRunIsUnchanged) {
    std::mt19937 rng(11);
    const ScaleRatioPlot plot = CalibrationLikeRun(1000, 1000, 1.0023, 0.0051, rng);
    EXPECT_TRUE(Plot(700, 500, plot) == ReferencePlot(700, 500, plot));
}

// Polylines of random vertices drawn from `pick`, with runs of repeated vertices.
template <class Pick> ScaleRatioPlot RandomRun(std::mt19937& rng, Pick pick) {
    ScaleRatioPlot plot;
    const int polylines = 1 + int(rng() % 4);
    for (int p = 0; p < polylines; ++p) {
        const int n = 1 + int(rng() % 12);
        std::vector<QPoint> vertices;
        for (int k = 0; k < n; ++k) {
            if (!vertices.empty() && rng() % 3 == 0)
                vertices.push_back(vertices.back()); // a segment of no length
            else
                vertices.push_back(pick());
        }
        if (n > 2 && rng() % 8 == 0)
            vertices.push_back(vertices.front()); // closed
        for (size_t k = 0; k < vertices.size(); ++k)
            plot.vertices.push_back(PlotVertex{vertices[k].x(), vertices[k].y(), k == 0});
    }
    if (rng() % 2) {
        plot.meanLine = true;
        plot.meanLineY = int(rng() % 520) - 10;
        plot.meanLineRight = int(rng() % 760);
    }
    return plot;
}

void ExpectSamePixels(int width, int height, const ScaleRatioPlot& plot, int trial) {
    const QImage expected = ReferencePlot(width, height, plot);
    const QImage actual = Plot(width, height, plot);
    if (actual == expected)
        return;
    std::string vertices;
    for (const PlotVertex& v : plot.vertices)
        vertices +=
            (v.startsPolyline ? " | " : " ") + std::to_string(v.x) + "," + std::to_string(v.y);
    ADD_FAILURE() << "trial " << trial << " on " << width << " x " << height << ":" << vertices;
}

TEST(ScaleRatioPlotPixels, RandomPolylinesNearTheEdgesAreUnchanged) {
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 3000; ++trial) {
        const int width = trial % 5 == 0 ? 37 : 700;
        const int height = trial % 5 == 0 ? 23 : 500;
        const auto near = [&](int edge) { return edge - 4 + int(rng() % 9); };
        const auto pick = [&]() -> QPoint {
            switch (rng() % 6) {
            case 0: // around the right edge and the columns cut away beyond it
                return {near(width + 1), int(rng() % unsigned(height))};
            case 1:
                return {int(rng() % unsigned(width)), near(height + 1)};
            case 2:
                return {near(0), near(rng() % 2 ? 0 : height)};
            case 3: // the few pixel rows a calibration's polylines keep to
                return {int(rng() % unsigned(width + 8)), height / 2 + int(rng() % 5) - 2};
            default:
                return {int(rng() % unsigned(width + 40)) - 10,
                        int(rng() % unsigned(height + 40)) - 10};
            }
        };
        ExpectSamePixels(width, height, RandomRun(rng, pick), trial);
    }
}

TEST(ScaleRatioPlotPixels, RandomPolylinesFarBeyondTheBitmapAreUnchanged) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 1500; ++trial) {
        const auto pick = [&]() -> QPoint {
            const int range = trial % 2 ? 5000 : 2000000000;
            const auto coordinate = [&](int size) {
                return rng() % 3 == 0 ? int(rng() % unsigned(size))
                                      : int(std::uniform_int_distribution<int>(-range, range)(rng));
            };
            return {coordinate(700), coordinate(500)};
        };
        ExpectSamePixels(700, 500, RandomRun(rng, pick), trial);
    }
}

// Polylines that step a pixel or none at a time, as the rows of a large grid do, often
// running straight along a pixel row or column and turning back.
TEST(ScaleRatioPlotPixels, StaircasesAreUnchanged) {
    std::mt19937 rng(314);
    for (int trial = 0; trial < 400; ++trial) {
        ScaleRatioPlot plot;
        for (int p = 0; p < 3; ++p) {
            int x = int(rng() % 700), y = int(rng() % 500);
            const int n = 2 + int(rng() % 60);
            for (int k = 0; k < n; ++k) {
                plot.vertices.push_back(PlotVertex{x, y, k == 0});
                if (rng() % 2)
                    x += int(rng() % 3) - (trial % 2 ? 1 : 0);
                else
                    y += int(rng() % 3) - 1;
            }
        }
        ExpectSamePixels(700, 500, plot, trial);
    }
}

TEST(ScaleRatioPlotPixels, EdgeCasesOfLeftOutVerticesAreUnchanged) {
    // {vertices of one polyline}: each drawn on its own.
    const std::vector<std::vector<QPoint>> cases = {
        {{100, 100}, {100, 100}},             // no length, both caps
        {{100, 100}, {100, 100}, {120, 110}}, // the first segment has no length
        {{100, 100}, {120, 110}, {120, 110}}, // the last segment has no length
        {{100, 100}, {120, 110}, {120, 110}, {120, 110}, {140, 90}},
        {{100, 100}, {120, 110}, {140, 90}, {100, 100}}, // closed
        {{699, 250}, {700, 252}, {701, 249}, {702, 251}, {703, 250}, {728, 250}},
        {{690, 250}, {702, 260}, {710, 240}, {720, 250}}, // leaves on the right for good
        {{690, 250}, {702, 260}, {701, 240}, {720, 250}}, // comes back to the clip's edge
        {{690, 250}, {702, 260}, {705, 240}, {699, 250}}, // comes back into the bitmap
        {{702, 250}, {710, 250}, {720, 260}},             // wholly beyond
        {{702, 250}, {710, 250}, {702, 250}},             // wholly beyond, closed
        {{-1, -1}, {-1, -1}, {0, 0}, {0, 0}, {5, 3}},     // repeats outside the bitmap
        {{699, 499}, {699, 499}, {700, 500}, {700, 500}, {701, 501}, {701, 501}},
        {{10, 250}, {11, 251}, {11, 251}, {12, 249}, {12, 249}, {13, 252}},
        // straight runs along a row or a column: continued, turned back, at the edges
        {{10, 250}, {20, 250}, {30, 250}, {40, 250}, {40, 260}, {40, 270}, {40, 265}},
        {{10, 250}, {20, 250}, {15, 250}, {25, 250}, {25, 250}, {35, 250}},
        {{0, 0}, {0, 10}, {0, 20}, {10, 20}, {699, 20}, {699, 30}, {699, 499}, {600, 499}},
        {{690, 250}, {695, 250}, {699, 250}, {700, 250}, {705, 250}},
        {{300, -5}, {300, 0}, {300, 5}, {300, 10}},
        {{5, 5}, {6, 5}, {7, 5}},
        {{5, 5}, {6, 5}, {7, 5}, {8, 5}},
        {{10, 250}, {12, 250}, {30, 250}, {20, 250}, {20, 260}},
        {{40, 100}, {40, 102}, {40, 130}, {40, 120}, {50, 120}},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        ScaleRatioPlot plot;
        for (size_t k = 0; k < cases[c].size(); ++k)
            plot.vertices.push_back(PlotVertex{cases[c][k].x(), cases[c][k].y(), k == 0});
        ExpectSamePixels(700, 500, plot, int(c));
    }
}

} // namespace
} // namespace vrma
