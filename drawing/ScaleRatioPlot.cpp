#include "drawing/ScaleRatioPlot.h"

#include "data/Checked.h"
#include "data/Errors.h"
#include "data/VectorState.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <vector>

namespace vrma {

namespace {

constexpr double kPlotWidth = 700.0; // the plot's width that the columns share
constexpr double kPlotLeft = 30.0;   // x of column 0
constexpr double kFirstRowLevel = 250.0;

using checked::Add;
using checked::Div;
using checked::Mul;
using checked::Trunc;

qint32 PixelX(double column, double h) {
    return Trunc(Add(Mul(column, h), kPlotLeft));
}

// Places the ratios of a run as it goes, every step checked: a step that fails is refused,
// and the run stops there.
class Plotter final : public ScaleRatioFollower {
public:
    explicit Plotter(ScaleRatioPlot& plot) : plot_(plot) {}

    bool Start(qint32 nc, std::size_t nodes) override {
        try {
            plot_.h = Div(kPlotWidth, double(nc));
        } catch (const CalcError&) {
            return false;
        }
        plot_.s = 1.0;
        nc_ = nc;
        plot_.vertices.reserve(nodes);
        return true;
    }

    std::size_t Take(qint32 j, qint32 first, std::span<const double> ratios) override {
        if (columnX_.empty()) {
            // The pixel x of every column, the same in every row (interior rows come only
            // with three columns or more).
            columnX_.resize(std::size_t(nc_));
            for (qint32 i = 1; i <= nc_ - 2; ++i)
                columnX_[std::size_t(i)] = PixelX(i, plot_.h);
        }
        std::size_t k = 0;
        try {
            for (; k < ratios.size(); ++k) {
                const double v = ratios[k];
                const qint32 i = first + qint32(k);
                if (j == 1)
                    plot_.s = Div(kFirstRowLevel, v);
                plot_.vertices.push_back(
                    PlotVertex{columnX_[std::size_t(i)], Trunc(Mul(v, plot_.s)), i == 1});
            }
        } catch (const CalcError&) {
            // k is the ratio that could not be placed
        }
        return k;
    }

    bool Finish(double mean) override {
        try {
            plot_.meanLineY = Trunc(Mul(mean, plot_.s));
            plot_.meanLineRight = PixelX(double(nc_) - 1.0, plot_.h);
        } catch (const CalcError&) {
            return false;
        }
        plot_.meanLine = true;
        return true;
    }

private:
    ScaleRatioPlot& plot_;
    qint32 nc_ = 0;
    std::vector<qint32> columnX_;
};

// What the painter is given for one polyline of the run, with no pixel changed: the
// vertices of [first, end) less those that could only draw nothing.
//
// - A vertex inside the bitmap that repeats the vertex kept before it starts a segment of
//   no length, which draws nothing and leaves the pen as it was. The first two vertices
//   and the last one stay whatever they are: the first and the last segment carry the
//   pen's caps, and a segment of no length there takes its cap with it.
// - Once every remaining vertex lies two pixels or more to the right of the bitmap, the
//   segments between them are cut away whole by the painter's clipping, which reaches one
//   pixel beyond the bitmap. They are replaced by one such segment, to the last vertex, so
//   that the polyline still ends in a segment that draws nothing (it takes the end cap).
//   A closed polyline (its last vertex on its first) keeps all of them.
void CompactPolyline(const PlotVertex* first, const PlotVertex* end, int width, int height,
                     std::vector<QPoint>& out) {
    out.clear();
    const std::ptrdiff_t n = end - first;
    const int beyond = width + 2; // x from here on is cut away whole
    std::ptrdiff_t tail = n;      // the first vertex of the tail that lies beyond
    while (tail > 0 && first[tail - 1].x >= beyond)
        --tail;
    const bool closed = first[0].x == first[n - 1].x && first[0].y == first[n - 1].y;
    // Vertices 0 ... kept - 1 go through the loop; the last vertex follows them.
    const std::ptrdiff_t kept = (closed || tail + 1 >= n - 1) ? n - 1 : tail + 1;
    for (std::ptrdiff_t k = 0; k < kept; ++k) {
        const PlotVertex& v = first[k];
        if (k >= 2) {
            const QPoint& previous = out.back();
            if (v.x == previous.x() && v.y == previous.y() && v.x >= 0 && v.x < width && v.y >= 0 &&
                v.y < height)
                continue;
        }
        out.emplace_back(v.x, v.y);
    }
    out.emplace_back(first[n - 1].x, first[n - 1].y);
}

} // namespace

PlottedScaleRatio RunPlottedScaleRatio(qint32 nc, qint32 nr, std::span<const PlanePoint> scene,
                                       std::span<const PlanePoint> image) {
    PlottedScaleRatio result;
    Plotter plotter(result.plot);
    result.run = RunScaleRatio(nc, nr, scene, image, &plotter);
    return result;
}

PlottedScaleRatio RunPlottedScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene,
                                       const VT_Points& image) {
    PlottedScaleRatio result;
    Plotter plotter(result.plot);
    result.run = RunScaleRatio(nc, nr, scene, image, &plotter);
    return result;
}

ScaleRatioPlot PlotOfRun(qint32 nc, const ScaleRatioRun& run) {
    if (!run.complete())
        throw CalcError("the calibration did not complete");
    ScaleRatioPlot plot;
    Plotter plotter(plot);
    if (!plotter.Start(nc, run.ratios.size()))
        throw CalcError("the plot has no step");
    const std::span<const double> ratios(run.ratios);
    const std::size_t perRow = nc > 2 ? std::size_t(nc - 2) : 0;
    for (std::size_t at = 0, j = 1; at < ratios.size(); at += perRow, ++j) {
        const std::span<const double> row =
            ratios.subspan(at, std::min(perRow, ratios.size() - at));
        if (plotter.Take(qint32(j), 1, row) != row.size())
            throw CalcError("a ratio cannot be placed");
    }
    if (!plotter.Finish(run.coefficient))
        throw CalcError("the mean line cannot be placed");
    return plot;
}

void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioPlot& plot) {
    QPainter canvas(&bitmap);
    ClearUpperVectorState(); // the painter's set-up may have left them in use
    canvas.setRenderHint(QPainter::Antialiasing, false);
    // A clip of the whole bitmap changes no pixel, but with a clip of one rectangle the
    // painter writes the pen's pixels straight into the bitmap instead of collecting them
    // in spans and blending those.
    canvas.setClipRect(QRect(0, 0, bitmap.width(), bitmap.height()));
    canvas.setPen(QPen(QColor(0, 0, 0), 1));

    // The pen position is kept here: a vertex that starts a polyline moves it, every
    // other vertex draws a line from it. A polyline of one vertex draws nothing.
    std::vector<QPoint> points;
    const PlotVertex* const vertices = plot.vertices.data();
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end - start >= 2) {
            CompactPolyline(vertices + start, vertices + end, bitmap.width(), bitmap.height(),
                            points);
            canvas.drawPolyline(points.data(), int(points.size()));
        }
        start = end;
    };
    for (size_t k = 0; k < plot.vertices.size(); ++k) {
        if (plot.vertices[k].startsPolyline)
            flush(k);
    }
    flush(plot.vertices.size());

    if (plot.meanLine) {
        canvas.setPen(QPen(QColor(255, 0, 0), 1));
        canvas.drawLine(QPoint(30, plot.meanLineY), QPoint(plot.meanLineRight, plot.meanLineY));
    }
}

} // namespace vrma
