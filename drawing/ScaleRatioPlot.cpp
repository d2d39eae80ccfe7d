#include "drawing/ScaleRatioPlot.h"

#include "data/VectorState.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <vector>

namespace vrma {

namespace {

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

void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioRun& run) {
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
    const PlotVertex* const vertices = run.plot.data();
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end - start >= 2) {
            CompactPolyline(vertices + start, vertices + end, bitmap.width(), bitmap.height(),
                            points);
            canvas.drawPolyline(points.data(), int(points.size()));
        }
        start = end;
    };
    for (size_t k = 0; k < run.plot.size(); ++k) {
        if (run.plot[k].startsPolyline)
            flush(k);
    }
    flush(run.plot.size());

    if (run.complete()) {
        canvas.setPen(QPen(QColor(255, 0, 0), 1));
        canvas.drawLine(QPoint(30, run.meanLineY), QPoint(run.meanLineRight, run.meanLineY));
    }
}

} // namespace vrma
