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
    const QString words = QStringLiteral("σ проекции, пикс.; рамка — там, где было поле");
    // The scale's words go under its ends when the frame is too narrow for them between.
    QRectF frame = HeatFrameRect(map, area, 2.5 * metrics.height());
    const bool wordsBelow =
        metrics.horizontalAdvance(words) + metrics.horizontalAdvance(FormatFixed(kHeatLowPx, 2)) +
            metrics.horizontalAdvance(FormatFixed(kHeatHighPx, 0)) + 2.0 * metrics.height() >
        frame.width();
    if (wordsBelow)
        frame = HeatFrameRect(map, area, 3.5 * metrics.height());
    if (frame.isEmpty())
        return;
    const double w = frame.width() / map.columns, h = frame.height() / map.rows;
    painter.save();
    for (int r = 0; r < map.rows; ++r)
        for (int c = 0; c < map.columns; ++c) {
            const UncertaintyCell& cell = map.cells[size_t(r) * size_t(map.columns) + size_t(c)];
            const QRectF rect(frame.left() + c * w, frame.top() + r * h, w, h);
            if (cell.outside) { // no ray: the frame beyond a circular fisheye's picture
                painter.fillRect(rect, Qt::lightGray);
                continue;
            }
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
    const QRectF ends(strip.left(), strip.bottom(), strip.width(), metrics.height());
    painter.drawText(ends, Qt::AlignLeft, FormatFixed(kHeatLowPx, 2));
    if (wordsBelow)
        painter.drawText(QRectF(ends.left(), ends.bottom(),
                                metrics.horizontalAdvance(words) + metrics.height(), ends.height()),
                         Qt::AlignLeft, words);
    else
        painter.drawText(ends, Qt::AlignHCenter, words);
    painter.drawText(ends, Qt::AlignRight, FormatFixed(kHeatHighPx, 0));
    painter.restore();
}

double HeatScaleX(double px, const QRectF& strip) {
    const double low = std::log10(kHeatLowPx), high = std::log10(kHeatHighPx);
    const double t = std::clamp((std::log10(std::max(px, 1e-300)) - low) / (high - low), 0.0, 1.0);
    return strip.left() + t * strip.width();
}

double CrossValidationLineHeight(const QPainter& painter) {
    return 5.4 * QFontMetricsF(painter.font()).height();
}

void PaintCrossValidationLine(QPainter& painter, const CrossValidation& check,
                              const ProjectionUncertainty& map, const QRectF& area) {
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height();
    painter.save();
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawText(QRectF(area.left(), area.top(), area.width(), line), Qt::AlignLeft,
                     QStringLiteral("Расхождение камер двух половин снимков, пикс."));
    const QRectF strip(area.left(), area.top() + 3.4 * line, area.width(), 0.8 * line);
    const int steps = 64;
    for (int k = 0; k < steps; ++k) {
        const double t = (k + 0.5) / steps;
        painter.fillRect(QRectF(strip.left() + k * strip.width() / steps, strip.top(),
                                strip.width() / steps + 0.5, strip.height()),
                         HeatColour(kHeatLowPx * std::pow(kHeatHighPx / kHeatLowPx, t)));
    }
    // The marks: each a line across the strip up to its figure, `level` lines above it.
    const auto mark = [&](double px, const QString& text, const QPen& pen, Qt::Alignment align,
                          int level) {
        const double x = HeatScaleX(px, strip);
        const double top = strip.top() - (1.1 * level + 0.1) * line;
        painter.setPen(pen);
        painter.drawLine(QPointF(x, top + line), QPointF(x, strip.bottom()));
        const double width = metrics.horizontalAdvance(text) + 4.0;
        const double left = align == Qt::AlignRight ? x - width : x + 2.0;
        painter.setPen(QPen(Qt::black, 1.0));
        painter.drawText(QRectF(left, top, width, line), align, text);
    };
    const QPen strong(Qt::black, std::max(2.0, 0.15 * line));
    const QPen dashed(QColor(90, 90, 90), std::max(1.0, 0.08 * line), Qt::DashLine);
    mark(map.medianSeenPx, QStringLiteral("σ %1").arg(FormatFixed(map.medianSeenPx, 3)), dashed,
         Qt::AlignRight, 1);
    mark(check.medianPx, QStringLiteral("медиана %1").arg(FormatFixed(check.medianPx, 3)), strong,
         Qt::AlignLeft, 1);
    mark(check.worstSeenPx, QStringLiteral("наибольшее %1").arg(FormatFixed(check.worstSeenPx, 3)),
         strong, Qt::AlignLeft, 2);
    painter.setPen(QPen(Qt::black, 1.0));
    const QRectF words(strip.left(), strip.bottom(), strip.width(), line);
    painter.drawText(words, Qt::AlignLeft, FormatFixed(kHeatLowPx, 2));
    painter.drawText(words, Qt::AlignHCenter,
                     QStringLiteral("штрихом — медиана σ проекции по всем снимкам"));
    painter.drawText(words, Qt::AlignRight, FormatFixed(kHeatHighPx, 0));
    painter.restore();
}

} // namespace vrma
