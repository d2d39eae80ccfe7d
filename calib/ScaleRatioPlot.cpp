#include "calib/ScaleRatioPlot.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <vector>

namespace vrma {

void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioRun& run) {
    QPainter canvas(&bitmap);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(QColor(0, 0, 0), 1));

    // The pen position is kept here: a vertex that starts a polyline moves it, every
    // other vertex draws a line from it. A polyline of one vertex draws nothing.
    std::vector<QPoint> points;
    points.reserve(run.plot.size());
    for (const PlotVertex& vertex : run.plot)
        points.emplace_back(vertex.x, vertex.y);
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end - start >= 2)
            canvas.drawPolyline(points.data() + start, int(end - start));
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
