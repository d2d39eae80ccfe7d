#include "calib/ScaleRatioPlot.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <future>
#include <system_error>
#include <utility>
#include <vector>

namespace vrma {

namespace {

// A polyline of the plot: vertices [first, end) of the run.
using Polyline = std::pair<size_t, size_t>;

// The pen position is kept here: a vertex that starts a polyline moves it, every other
// vertex draws a line from it. A polyline of one vertex draws nothing.
std::vector<Polyline> PolylinesOf(const ScaleRatioRun& run) {
    std::vector<Polyline> polylines;
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end - start >= 2)
            polylines.emplace_back(start, end);
        start = end;
    };
    for (size_t k = 0; k < run.plot.size(); ++k) {
        if (run.plot[k].startsPolyline)
            flush(k);
    }
    flush(run.plot.size());
    return polylines;
}

void DrawPolylines(QImage& bitmap, const std::vector<QPoint>& points, const Polyline* first,
                   const Polyline* last) {
    QPainter canvas(&bitmap);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(QColor(0, 0, 0), 1));
    for (const Polyline* p = first; p != last; ++p)
        canvas.drawPolyline(points.data() + p->first, int(p->second - p->first));
}

// From this many vertices on, half of the polylines are painted on a second thread.
constexpr size_t kSplitFrom = 50000;
constexpr QRgb kWhite = 0xFFFFFFFF;

} // namespace

// The polylines are all painted with one opaque pen and without antialiasing, so a pixel
// is either painted black or left as it was, whatever the order of the polylines: a large
// plot is painted in two halves at once, the second on a white bitmap of its own whose
// painted pixels are then copied over.
void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioRun& run) {
    std::vector<QPoint> points;
    points.reserve(run.plot.size());
    for (const PlotVertex& vertex : run.plot)
        points.emplace_back(vertex.x, vertex.y);
    const std::vector<Polyline> polylines = PolylinesOf(run);
    const Polyline* const begin = polylines.data();
    const Polyline* const end = begin + polylines.size();

    const Polyline* half = end;
    if (run.plot.size() >= kSplitFrom && bitmap.format() == QImage::Format_RGB32) {
        half = begin;
        for (size_t painted = 0; half != end && 2 * painted < run.plot.size(); ++half)
            painted += half->second - half->first;
    }
    QImage second;
    std::future<void> painting;
    if (half != end) {
        second = QImage(bitmap.size(), QImage::Format_RGB32);
        second.fill(kWhite);
        try {
            painting =
                std::async(std::launch::async, [&] { DrawPolylines(second, points, half, end); });
        } catch (const std::system_error&) {
            half = end; // no thread to be had: all painted here
        }
    }
    try {
        DrawPolylines(bitmap, points, begin, half);
    } catch (...) {
        if (painting.valid())
            painting.wait();
        throw;
    }
    if (painting.valid()) {
        painting.get();
        for (int y = 0; y < bitmap.height(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(second.constScanLine(y));
            auto* to = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
            for (int x = 0; x < bitmap.width(); ++x)
                if (from[x] != kWhite)
                    to[x] = from[x];
        }
    }

    if (run.complete()) {
        QPainter canvas(&bitmap);
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.setPen(QPen(QColor(255, 0, 0), 1));
        canvas.drawLine(QPoint(30, run.meanLineY), QPoint(run.meanLineRight, run.meanLineY));
    }
}

} // namespace vrma
