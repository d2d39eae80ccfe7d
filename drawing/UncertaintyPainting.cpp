#include "drawing/UncertaintyPainting.h"

#include "data/Locale.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace vrma {

QColor HeatColour(double sigmaPx) {
    const double low = std::log10(kHeatLowPx), high = std::log10(kHeatHighPx);
    const double t =
        std::clamp((std::log10(std::max(sigmaPx, 1e-300)) - low) / (high - low), 0.0, 1.0);
    // Blue (240 degrees of hue) to red (0).
    return QColor::fromHsvF(float((1.0 - t) * 240.0 / 360.0), 0.85f, 0.95f);
}

QRectF HeatFrameRect(const ProjectionUncertainty& map, const QRectF& area, double scaleHeight) {
    if (map.columns <= 0 || map.rows <= 0 || map.cells.empty())
        return {};
    const double width = (map.cells[1].x - map.cells[0].x) * map.columns;
    const double height = (map.cells[size_t(map.columns)].y - map.cells[0].y) * map.rows;
    const QRectF room = area.adjusted(0, 0, 0, -scaleHeight);
    const double scale = std::min(room.width() / width, room.height() / height);
    const QSizeF size(width * scale, height * scale);
    return {room.left() + 0.5 * (room.width() - size.width()), room.top(), size.width(),
            size.height()};
}

void PaintUncertaintyMap(QPainter& painter, const ProjectionUncertainty& map, const QRectF& area) {
    const QFontMetricsF metrics(painter.font());
    const double scaleHeight = 2.5 * metrics.height();
    const QRectF frame = HeatFrameRect(map, area, scaleHeight);
    if (frame.isEmpty())
        return;
    const double w = frame.width() / map.columns, h = frame.height() / map.rows;
    painter.save();
    for (int r = 0; r < map.rows; ++r)
        for (int c = 0; c < map.columns; ++c) {
            const UncertaintyCell& cell = map.cells[size_t(r) * size_t(map.columns) + size_t(c)];
            const QRectF rect(frame.left() + c * w, frame.top() + r * h, w, h);
            painter.fillRect(rect, HeatColour(cell.sigmaPx));
            if (cell.seen) {
                painter.setPen(QPen(Qt::black, 1.0));
                painter.drawRect(rect.adjusted(1, 1, -1, -1));
            }
        }
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawRect(frame);
    // The scale: a strip from the lowest colour to the highest, its ends named.
    const QRectF strip(frame.left(), frame.bottom() + 0.4 * metrics.height(), frame.width(),
                       0.8 * metrics.height());
    const int steps = 64;
    for (int k = 0; k < steps; ++k) {
        const double t = (k + 0.5) / steps;
        const double sigma = kHeatLowPx * std::pow(kHeatHighPx / kHeatLowPx, t);
        painter.fillRect(QRectF(strip.left() + k * strip.width() / steps, strip.top(),
                                strip.width() / steps + 0.5, strip.height()),
                         HeatColour(sigma));
    }
    const QRectF words(strip.left(), strip.bottom(), strip.width(), metrics.height());
    painter.drawText(words, Qt::AlignLeft, FormatFixed(kHeatLowPx, 2));
    painter.drawText(words, Qt::AlignHCenter,
                     QStringLiteral("σ проекции, пикс.; рамка — там, где было поле"));
    painter.drawText(words, Qt::AlignRight, FormatFixed(kHeatHighPx, 0));
    painter.restore();
}

} // namespace vrma
