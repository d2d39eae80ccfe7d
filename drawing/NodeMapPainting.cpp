#include "drawing/NodeMapPainting.h"

#include "data/Locale.h"
#include "data/Procedures.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

constexpr int kGap = 6;
constexpr int kLegendBar = 14;    // height of the colour bar
constexpr int kLegendWidth = 300; // width of the colour bar at most
constexpr int kLargestCell = 100;
constexpr int kSmallestCell = 3;
constexpr int kPreferredSide = 460; // the grid's longer side, as first shown

const QColor kBelow(33, 102, 172);
const QColor kMean(247, 247, 247);
const QColor kAbove(178, 24, 43);

int Mix(int from, int to, double t) {
    return int(std::lround(from + (to - from) * t));
}

QColor Blend(const QColor& from, const QColor& to, double t) {
    return QColor(Mix(from.red(), to.red(), t), Mix(from.green(), to.green(), t),
                  Mix(from.blue(), to.blue(), t));
}

bool Dark(const QColor& colour) {
    return 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue() < 128.0;
}

void Hatch(QPainter& painter, const QRect& area, const QColor& colour) {
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setPen(QPen(colour, 1));
    const int step = 5;
    for (int d = -area.height(); d < area.width(); d += step)
        painter.drawLine(area.left() + d, area.bottom() + 1, area.left() + d + area.height() + 1,
                         area.top());
    painter.restore();
}

} // namespace

QColor DivergingColour(double t) {
    if (std::isnan(t))
        t = 0.0;
    t = std::clamp(t, -1.0, 1.0);
    return t < 0 ? Blend(kMean, kBelow, -t) : Blend(kMean, kAbove, t);
}

double ColourScaleHalfWidth(const NodeAnalysis& analysis) {
    const double farthest = std::max(std::fabs(analysis.maxRatio - analysis.mean),
                                     std::fabs(analysis.minRatio - analysis.mean));
    if (analysis.minRatio == analysis.maxRatio || analysis.sd == 0.0)
        return 0.0;
    return std::min(farthest, 3.0 * analysis.sd);
}

NodeMapLayout NodeMapLayoutFor(const NodeAnalysis& analysis, const QFont& font, const QSize& size) {
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    const int columns = std::max(1, analysis.columns - 2);
    const int rows = std::max(1, analysis.rows - 2);
    // Left: the caption "Строка" turned upright, then the row numbers.
    const int left =
        kGap + line + kGap + metrics.horizontalAdvance(QString::number(analysis.rows - 2)) + kGap;
    // Top: the caption "Столбец", then the column numbers.
    const int top = kGap + 2 * line + kGap;
    const int legendHeight = kGap * 3 + kLegendBar + 3 * line;
    const int availableWidth = size.width() - left - kGap;
    const int availableHeight = size.height() - top - legendHeight - kGap;
    int cell = std::min(availableWidth / columns, availableHeight / rows);
    cell = std::clamp(cell, kSmallestCell, kLargestCell);

    NodeMapLayout layout;
    layout.cell = cell;
    layout.grid = QRect(left, top, cell * columns, cell * rows);
    const int barWidth = std::clamp(size.width() - left - kGap, 120, kLegendWidth);
    layout.legend = QRect(left, layout.grid.bottom() + 1 + 2 * kGap, barWidth, kLegendBar);
    layout.bottom = layout.legend.bottom() + 5 + 2 * line + kGap + line;
    return layout;
}

QSize NodeMapPreferredSize(const NodeAnalysis& analysis, const QFont& font) {
    const int columns = std::max(1, analysis.columns - 2);
    const int rows = std::max(1, analysis.rows - 2);
    const int cell = std::clamp(kPreferredSide / std::max(columns, rows), 8, 56);
    const NodeMapLayout probe = NodeMapLayoutFor(analysis, font, QSize(100000, 100000));
    const QFontMetrics metrics(font);
    const int width =
        std::max(probe.grid.left() + cell * columns, probe.grid.left() + kLegendWidth);
    const int height =
        probe.grid.top() + cell * rows + kGap * 3 + kLegendBar + 3 * metrics.height();
    return QSize(width + kGap, height + kGap);
}

QRect NodeMapCell(const NodeAnalysis& analysis, const NodeMapLayout& layout, qint32 column,
                  qint32 row) {
    if (!analysis.at(column, row))
        return QRect();
    return QRect(layout.grid.left() + (column - 1) * layout.cell,
                 layout.grid.top() + (row - 1) * layout.cell, layout.cell, layout.cell);
}

namespace {

void PaintCells(QPainter& painter, const NodeAnalysis& analysis, const NodeMapLayout& layout,
                const NodeMapStyle& style, double halfWidth) {
    const QFontMetrics metrics(style.font);
    const int line = metrics.height();
    painter.setPen(style.ink);

    // Captions and numbers along the edges; a number is left out where it would crowd
    // its neighbour.
    painter.drawText(QRect(layout.grid.left(), kGap, layout.grid.width(), line),
                     Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Столбец"));
    painter.save();
    const int middle = layout.grid.top() + layout.grid.height() / 2; // whole pixels
    painter.translate(kGap, middle);
    painter.rotate(-90);
    painter.drawText(QRect(-layout.grid.height() / 2, 0, layout.grid.height(), line),
                     Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Строка"));
    painter.restore();

    const int columns = analysis.columns - 2;
    const int rows = analysis.rows - 2;
    const int numberWidth = metrics.horizontalAdvance(QString::number(analysis.columns - 2));
    const int columnStep = std::max(1, (numberWidth + kGap + layout.cell - 1) / layout.cell);
    const int rowStep = std::max(1, (line + layout.cell - 1) / layout.cell);
    for (int i = 1; i <= columns; ++i) {
        if ((i - 1) % columnStep != 0)
            continue;
        painter.drawText(QRect(layout.grid.left() + (i - 1) * layout.cell - layout.cell,
                               kGap + line, 3 * layout.cell, line + kGap),
                         Qt::AlignHCenter | Qt::AlignVCenter, QString::number(i));
    }
    for (int j = 1; j <= rows; ++j) {
        if ((j - 1) % rowStep != 0)
            continue;
        painter.drawText(QRect(0, layout.grid.top() + (j - 1) * layout.cell,
                               layout.grid.left() - kGap, layout.cell),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(j));
    }

    // The cells, coloured by the distance of their ratio from the mean.
    const bool labelled =
        metrics.horizontalAdvance(FormatFixed4(analysis.maxRatio)) + 4 <= layout.cell &&
        line + 2 <= layout.cell;
    for (const NodeValue& node : analysis.nodes) {
        const QRect cell = NodeMapCell(analysis, layout, node.column, node.row);
        const double t = halfWidth > 0 ? (node.ratio - analysis.mean) / halfWidth : 0.0;
        const QColor fill = DivergingColour(t);
        painter.fillRect(cell, fill);
        if (style.hatchBelow && t < 0)
            Hatch(painter, cell, Dark(fill) ? QColor(235, 235, 235) : QColor(60, 60, 60));
        if (labelled) {
            const QString text = FormatFixed4(node.ratio);
            if (style.hatchBelow) {
                // A plain patch behind the number keeps it readable over the hatching.
                QRect patch(0, 0, metrics.horizontalAdvance(text) + 2, line);
                patch.moveCenter(cell.center());
                painter.fillRect(patch, fill);
            }
            painter.setPen(Dark(fill) ? QColor(Qt::white) : QColor(Qt::black));
            painter.drawText(cell, Qt::AlignCenter, text);
        }
    }
    // Thin lines between the cells.
    if (layout.cell >= 6) {
        painter.setPen(QColor(190, 190, 190));
        for (int i = 0; i <= columns; ++i) {
            const int x = layout.grid.left() + i * layout.cell;
            painter.drawLine(x, layout.grid.top(), x, layout.grid.top() + rows * layout.cell);
        }
        for (int j = 0; j <= rows; ++j) {
            const int y = layout.grid.top() + j * layout.cell;
            painter.drawLine(layout.grid.left(), y, layout.grid.left() + columns * layout.cell, y);
        }
    }
    // Outliers in a heavy black frame; the node under the pointer and the one chosen
    // in frames of their own.
    const int heavy = std::min(3, std::max(1, layout.cell / 4));
    const auto frame = [&](const NodeValue& node, const QColor& colour, int width) {
        QRect cell = NodeMapCell(analysis, layout, node.column, node.row);
        // Inside an outlier's frame, which stays visible.
        if (node.outlier && colour != Qt::black)
            cell.adjust(heavy, heavy, -heavy, -heavy);
        const int w = std::min(width, std::max(1, cell.width() / 4));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRect(cell.left(), cell.top(), cell.width(), w);
        painter.drawRect(cell.left(), cell.bottom() + 1 - w, cell.width(), w);
        painter.drawRect(cell.left(), cell.top(), w, cell.height());
        painter.drawRect(cell.right() + 1 - w, cell.top(), w, cell.height());
        painter.setBrush(Qt::NoBrush);
    };
    for (const NodeValue& node : analysis.nodes)
        if (node.outlier)
            frame(node, QColor(Qt::black), 3);
    if (style.hovered)
        frame(*style.hovered, QColor(90, 90, 90), 1);
    if (style.selected)
        frame(*style.selected, QColor(255, 190, 0), 2);
}

void PaintLegend(QPainter& painter, const NodeAnalysis& analysis, const NodeMapLayout& layout,
                 const NodeMapStyle& style, double halfWidth) {
    const QFontMetrics metrics(style.font);
    const int line = metrics.height();
    const QRect bar = layout.legend;
    const int steps = std::max(1, bar.width());
    for (int x = 0; x < steps; ++x) {
        const double t = halfWidth > 0 ? 2.0 * (x + 0.5) / steps - 1.0 : 0.0;
        painter.fillRect(QRect(bar.left() + x, bar.top(), 1, bar.height()), DivergingColour(t));
    }
    if (style.hatchBelow && halfWidth > 0)
        Hatch(painter, QRect(bar.left(), bar.top(), bar.width() / 2, bar.height()),
              QColor(60, 60, 60));
    painter.setPen(QColor(120, 120, 120));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    painter.setPen(style.ink);
    const int middle = bar.left() + bar.width() / 2;
    for (int x : {bar.left(), middle, bar.right()})
        painter.drawLine(x, bar.bottom() + 1, x, bar.bottom() + 4);

    const QRect values(bar.left() - 40, bar.bottom() + 5, bar.width() + 80, line);
    const QRect units = values.translated(0, line);
    if (halfWidth > 0) {
        const QString k = FormatFixed(halfWidth / analysis.sd, 1);
        painter.drawText(values.adjusted(40, 0, 0, 0), Qt::AlignLeft,
                         FormatFixed4(analysis.mean - halfWidth));
        painter.drawText(values, Qt::AlignHCenter, FormatFixed4(analysis.mean));
        painter.drawText(values.adjusted(0, 0, -40, 0), Qt::AlignRight,
                         FormatFixed4(analysis.mean + halfWidth));
        painter.drawText(units.adjusted(40, 0, 0, 0), Qt::AlignLeft,
                         QStringLiteral("-%1 СКО").arg(k));
        painter.drawText(units, Qt::AlignHCenter, QStringLiteral("среднее"));
        painter.drawText(units.adjusted(0, 0, -40, 0), Qt::AlignRight,
                         QStringLiteral("+%1 СКО").arg(k));
    } else {
        painter.drawText(
            values, Qt::AlignHCenter,
            QStringLiteral("Все отношения равны: %1").arg(FormatFixed4(analysis.mean)));
    }
    // The outlier mark, explained.
    const QRect sample(bar.left(), units.bottom() + kGap, line, line);
    painter.fillRect(sample, kMean);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(sample.adjusted(1, 1, -1, -1));
    painter.setPen(style.ink);
    painter.drawText(QRect(sample.right() + kGap, sample.top(), 400, line), Qt::AlignVCenter,
                     QStringLiteral("выброс"));
}

} // namespace

void PaintNodeMap(QPainter& painter, const NodeAnalysis& analysis, const NodeMapLayout& layout,
                  const NodeMapStyle& style) {
    painter.save();
    painter.setFont(style.font);
    const double halfWidth = ColourScaleHalfWidth(analysis);
    PaintCells(painter, analysis, layout, style, halfWidth);
    PaintLegend(painter, analysis, layout, style, halfWidth);
    painter.restore();
}

} // namespace vrma
