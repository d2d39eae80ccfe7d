#pragma once
// The node map of a completed calibration, painted on any device: one cell per interior
// node in its column/row arrangement (column 1 at the left, row 1 at the top), coloured
// on a diverging scale centred on the mean, with the column and row numbers along the
// edges, outliers in a heavy black frame, and the legend below. The node analysis
// window paints it on screen; the calibration report prints it.
#include "calib/NodeAnalysis.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>

class QPainter;

namespace vrma {

// The colour of a deviation on the map's scale: t = -1 is full blue (below the mean),
// 0 is near-white (the mean), +1 full red (above); t is clamped to [-1, 1].
QColor DivergingColour(double t);

// The half-width of the map's colour scale around the mean: the largest distance of a
// ratio from the mean, but no more than three standard deviations (a farther node shows
// in full colour). 0 when all ratios are equal.
double ColourScaleHalfWidth(const NodeAnalysis& analysis);

// How the map is drawn. Sizes are in the painter's units; the font's metrics are taken
// as they are (a pixel-size font for a scaled painter, the widget's font on screen).
struct NodeMapStyle {
    QFont font;
    QColor ink = Qt::black;
    QColor background = Qt::white;
    const NodeValue* hovered = nullptr;  // framed in grey
    const NodeValue* selected = nullptr; // framed in amber
    // For paper: the cells below the mean (and the legend's lower half) are hatched, so
    // that above and below tell apart when printed in black and white.
    bool hatchBelow = false;
};

// Where the parts of the map lie in an area of the given size.
struct NodeMapLayout {
    int cell = 0;
    QRect grid;     // the cells
    QRect legend;   // the colour bar
    int bottom = 0; // the lowest line that the legend's texts take
};

NodeMapLayout NodeMapLayoutFor(const NodeAnalysis& analysis, const QFont& font, const QSize& size);
// The size that shows the map at its preferred cell size.
QSize NodeMapPreferredSize(const NodeAnalysis& analysis, const QFont& font);
// The cell of grid column i and row j in a layout (empty for a node without a cell).
QRect NodeMapCell(const NodeAnalysis& analysis, const NodeMapLayout& layout, qint32 column,
                  qint32 row);

// Paints the map and its legend into the layout (the background is left to the caller).
void PaintNodeMap(QPainter& painter, const NodeAnalysis& analysis, const NodeMapLayout& layout,
                  const NodeMapStyle& style);

} // namespace vrma
