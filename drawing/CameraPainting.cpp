#include "drawing/CameraPainting.h"

#include "data/Locale.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

// The round step (1, 2 or 5 times a power of ten) at or below `value`.
double RoundDown125(double value) {
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    const double mantissa = value / power;
    return (mantissa >= 5.0 ? 5.0 : mantissa >= 2.0 ? 2.0 : 1.0) * power;
}

// The smallest round step that divides `top` into at most `ticks` parts.
double TickStep(double top, int ticks) {
    double step = RoundDown125(top / ticks);
    while (top / step > ticks + 1e-9)
        step = RoundDown125(step * 2.5);
    return step;
}

int DecimalsFor(double step) {
    return std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 4);
}

const QColor kUsedBar(52, 101, 164);
const QColor kLeftOutBar(192, 192, 192);
const QColor kRuleRed(200, 30, 30);
const QColor kCovered(220, 242, 220);
const QColor kUncovered(252, 226, 226);

} // namespace

QColor PhotoColour(size_t k) {
    // The golden angle between neighbours, three levels of lightness in turn.
    const int hue = int(std::fmod(double(k) * 137.508, 360.0));
    const int value = 200 - 35 * int(k % 3);
    return QColor::fromHsv(hue, 210, value);
}

// ---- The RMS chart -------------------------------------------------------------------------

RmsChartLayout RmsChartLayoutFor(const CameraCalibration& calibration, const QFont& font,
                                 const QRectF& area) {
    RmsChartLayout layout;
    layout.limit = RmsLimit(calibration);
    double highest = layout.limit;
    for (const PhotoFit& photo : calibration.photos)
        if (photo.rmsPx && std::isfinite(*photo.rmsPx))
            highest = std::max(highest, *photo.rmsPx);
    highest *= 1.1;
    layout.step = TickStep(highest, 4);
    layout.top = std::ceil(highest / layout.step - 1e-9) * layout.step;
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const double labels =
        metrics.horizontalAdvance(FormatFixed(layout.top, DecimalsFor(layout.step))) + line * 0.6;
    layout.plot = area.adjusted(labels, line * 1.4, -line * 0.4, -line * 1.3);
    if (layout.plot.width() < 1.0 || layout.plot.height() < 1.0)
        layout.plot = QRectF(area.topLeft(), QSizeF(1.0, 1.0));
    const size_t n = calibration.photos.size();
    const double width = layout.plot.width() / double(std::max<size_t>(n, 1));
    for (size_t k = 0; k < n; ++k)
        layout.columns.emplace_back(layout.plot.left() + width * double(k), layout.plot.top(),
                                    width, layout.plot.height());
    return layout;
}

int RmsChartPhotoAt(const RmsChartLayout& layout, const QPointF& point) {
    for (size_t k = 0; k < layout.columns.size(); ++k)
        if (layout.columns[k].adjusted(0, 0, 0, layout.plot.height() * 0.2).contains(point))
            return int(k);
    return -1;
}

void PaintRmsChart(QPainter& painter, const CameraCalibration& calibration,
                   const RmsChartLayout& layout, const CameraPaintStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(style.font);
    const QFontMetricsF metrics(style.font);
    const double line = metrics.height();
    const QRectF& plot = layout.plot;
    const auto yOf = [&](double rms) { return plot.bottom() - plot.height() * rms / layout.top; };

    if (style.selected >= 0 && size_t(style.selected) < layout.columns.size())
        painter.fillRect(layout.columns[size_t(style.selected)], QColor(255, 236, 160));

    // The ticks of the RMS axis, with faint lines across.
    const int decimals = DecimalsFor(layout.step);
    for (int t = 0; t * layout.step <= layout.top + 1e-12; ++t) {
        const double rms = t * layout.step;
        const double y = yOf(rms);
        painter.setPen(QPen(QColor(225, 225, 225), style.line));
        if (t > 0)
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(QPen(style.ink, style.line));
        painter.drawText(QRectF(0, y - line / 2, plot.left() - line * 0.3, line),
                         Qt::AlignRight | Qt::AlignVCenter, FormatFixed(rms, decimals));
    }
    painter.drawText(QRectF(plot.left(), plot.top() - line * 1.35, plot.width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("СКО снимка, пикс."));

    // The bars.
    const size_t n = std::min(calibration.photos.size(), layout.columns.size());
    for (size_t k = 0; k < n; ++k) {
        const PhotoFit& photo = calibration.photos[k];
        const QRectF& slot = layout.columns[k];
        const double width = std::max(slot.width() * 0.64, style.line);
        const double left = slot.center().x() - width / 2;
        if (photo.rmsPx && std::isfinite(*photo.rmsPx)) {
            const QRectF bar(QPointF(left, yOf(std::min(*photo.rmsPx, layout.top))),
                             QPointF(left + width, plot.bottom()));
            const bool used = photo.use == PhotoUse::Used;
            painter.fillRect(bar, used ? kUsedBar : kLeftOutBar);
            if (photo.use == PhotoUse::LeftOutRms) {
                painter.setPen(QPen(kRuleRed, 2 * style.line));
                painter.drawRect(bar);
            }
        } else {
            // No RMS: the board not found (a cross) or no pose (a dash).
            painter.setPen(QPen(QColor(120, 120, 120), style.line));
            const double r = std::min(width, line) * 0.3;
            const QPointF at(slot.center().x(), plot.bottom() - r - style.line * 2);
            if (photo.use == PhotoUse::NotFound) {
                painter.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
                painter.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
            } else {
                painter.drawLine(at + QPointF(-r, 0), at + QPointF(r, 0));
            }
        }
    }

    // The rule's limit.
    if (layout.limit <= layout.top) {
        const double y = yOf(layout.limit);
        QPen dashed(kRuleRed, 1.5 * style.line, Qt::DashLine);
        painter.setPen(dashed);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        const QString text =
            layout.limit > kRmsFloorPx
                ? QStringLiteral("3 × медиана: %1").arg(FormatFixed(layout.limit, 3))
                : QStringLiteral("предел: %1 (не меньше)").arg(FormatFixed(layout.limit, 3));
        painter.setPen(QPen(kRuleRed, style.line));
        painter.drawText(QRectF(plot.left(), y - line * 1.05, plot.width() - line * 0.2, line),
                         Qt::AlignRight | Qt::AlignBottom, text);
    }

    // The axes and the photographs' numbers (every one that has room).
    painter.setPen(QPen(style.ink, style.line));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    const double numberWidth = metrics.horizontalAdvance(QString::number(n)) + line * 0.3;
    const size_t every = std::max<size_t>(
        1, size_t(std::ceil(
               numberWidth /
               std::max(layout.columns.empty() ? 1.0 : layout.columns[0].width(), 1e-9))));
    for (size_t k = 0; k < n; k += every) {
        const QRectF& slot = layout.columns[k];
        painter.drawText(QRectF(slot.center().x() - numberWidth, plot.bottom() + line * 0.15,
                                2 * numberWidth, line),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(k + 1));
    }
    painter.restore();
}

// ---- The coverage of the frame ------------------------------------------------------------

CoverageData CoverageDataOf(const CameraCalibration& calibration,
                            std::span<const PhotoDetection> photos) {
    CoverageData data;
    data.width = calibration.camera.width;
    data.height = calibration.camera.height;
    for (size_t k = 0; k < photos.size() && k < calibration.photos.size(); ++k) {
        if (!photos[k].found)
            continue;
        CoveragePhoto photo;
        photo.index = k;
        photo.used = calibration.photos[k].use == PhotoUse::Used;
        photo.targets = photos[k].image;
        photo.residuals = PhotoResiduals(calibration, k, photos[k]);
        data.photos.push_back(std::move(photo));
    }
    data.coverage = CoverageOf(calibration, photos);
    data.principal = PlanePoint{calibration.camera.cx(), calibration.camera.cy()};
    return data;
}

double ResidualMagnification(const CoverageData& data) {
    std::vector<double> lengths;
    for (const CoveragePhoto& photo : data.photos)
        if (photo.used)
            for (const PlanePoint& r : photo.residuals)
                lengths.push_back(std::hypot(r.x, r.y));
    if (lengths.empty())
        return 1.0;
    const size_t at = std::min(lengths.size() - 1, size_t(0.95 * double(lengths.size())));
    std::nth_element(lengths.begin(), lengths.begin() + std::ptrdiff_t(at), lengths.end());
    const double typical = lengths[at];
    const double diagonal = std::hypot(data.width, data.height);
    if (!(typical > 0.0) || !(diagonal > 0.0) || !std::isfinite(typical))
        return 1.0;
    return RoundDown125(0.04 * diagonal / typical);
}

CoverageLayout CoverageLayoutFor(const CoverageData& data, const QFont& font, const QRectF& area) {
    CoverageLayout layout;
    layout.magnify = ResidualMagnification(data);
    const QFontMetricsF metrics(font);
    const QString legend = CoverageLegend(layout);
    const QRectF text = metrics.boundingRect(QRectF(0, 0, area.width(), 1e6),
                                             Qt::TextWordWrap | Qt::AlignLeft, legend);
    const double legendHeight = text.height() + metrics.height() * 0.3;
    const QRectF room = area.adjusted(0, 0, 0, -legendHeight);
    const double w = data.width > 0.0 ? data.width : 4.0;
    const double h = data.height > 0.0 ? data.height : 3.0;
    layout.scale = std::max(1e-9, std::min(room.width() / w, room.height() / h));
    const QSizeF size(w * layout.scale, h * layout.scale);
    layout.frame =
        QRectF(QPointF(room.left() + (room.width() - size.width()) / 2, room.top()), size);
    layout.legend = QRectF(area.left(), layout.frame.bottom() + metrics.height() * 0.3,
                           area.width(), text.height());
    return layout;
}

QString MagnifiedWords(double magnify) {
    if (magnify >= 1.0) {
        const long long n = std::llround(magnify);
        const bool few = n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14);
        return QStringLiteral("в %1 %2").arg(n).arg(few ? QStringLiteral("раза")
                                                        : QStringLiteral("раз"));
    }
    return QStringLiteral("в %1 раза").arg(FormatFixed(magnify, DecimalsFor(magnify)));
}

QString CoverageLegend(const CoverageLayout& layout) {
    return QStringLiteral("Невязки увеличены %1. ● — снимок в калибровке, ○ — не взят; "
                          "+ — главная точка. Углы кадра: зелёные — мишени в них есть, красные "
                          "— нет (там дисторсия не определена).")
        .arg(MagnifiedWords(layout.magnify));
}

void PaintCoverage(QPainter& painter, const CoverageData& data, const CoverageLayout& layout,
                   const CameraPaintStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF& frame = layout.frame;
    painter.fillRect(frame, style.background);
    const double cornerW = kCornerShare * frame.width();
    const double cornerH = kCornerShare * frame.height();
    const QRectF corners[4] = {
        QRectF(frame.left(), frame.top(), cornerW, cornerH),
        QRectF(frame.right() - cornerW, frame.top(), cornerW, cornerH),
        QRectF(frame.right() - cornerW, frame.bottom() - cornerH, cornerW, cornerH),
        QRectF(frame.left(), frame.bottom() - cornerH, cornerW, cornerH)};
    for (int c = 0; c < 4; ++c)
        painter.fillRect(corners[c], data.coverage.corners[size_t(c)] ? kCovered : kUncovered);

    const auto at = [&](double x, double y) {
        return QPointF(frame.left() + (x + 0.5) * layout.scale,
                       frame.top() + (y + 0.5) * layout.scale);
    };
    const double radius = std::max(1.5 * style.line, QFontMetricsF(style.font).height() * 0.14);
    const auto paintPhoto = [&](const CoveragePhoto& photo, bool faded, bool selected) {
        QColor colour = PhotoColour(photo.index);
        if (faded)
            colour.setAlpha(70);
        const QColor vector = faded ? colour : colour.darker(150);
        const double r = selected ? radius * 1.6 : radius;
        painter.setPen(QPen(vector, selected ? 1.6 * style.line : style.line));
        for (size_t j = 0; j < photo.residuals.size() && j < photo.targets.size(); ++j) {
            const PlanePoint& t = photo.targets[j];
            const PlanePoint& e = photo.residuals[j];
            painter.drawLine(at(t.x, t.y),
                             at(t.x + layout.magnify * e.x, t.y + layout.magnify * e.y));
        }
        painter.setPen(QPen(colour, style.line));
        painter.setBrush(photo.used ? QBrush(colour) : QBrush(Qt::NoBrush));
        for (const PlanePoint& t : photo.targets)
            painter.drawEllipse(at(t.x, t.y), r, r);
    };
    const bool anySelected =
        style.selected >= 0 &&
        std::any_of(data.photos.begin(), data.photos.end(),
                    [&](const CoveragePhoto& p) { return p.index == size_t(style.selected); });
    for (const CoveragePhoto& photo : data.photos)
        if (!anySelected || photo.index != size_t(style.selected))
            paintPhoto(photo, anySelected, false);
    for (const CoveragePhoto& photo : data.photos)
        if (anySelected && photo.index == size_t(style.selected))
            paintPhoto(photo, false, true);
    painter.setBrush(Qt::NoBrush);

    // The principal point, and the frame over all.
    if (data.principal) {
        const QPointF p = at(data.principal->x, data.principal->y);
        const double arm = radius * 4;
        painter.setPen(QPen(style.ink, 1.5 * style.line));
        painter.drawLine(p + QPointF(-arm, 0), p + QPointF(arm, 0));
        painter.drawLine(p + QPointF(0, -arm), p + QPointF(0, arm));
    }
    painter.setPen(QPen(style.ink, style.line));
    painter.drawRect(frame);
    painter.setFont(style.font);
    painter.drawText(layout.legend, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                     CoverageLegend(layout));
    painter.restore();
}

} // namespace vrma
