#pragma once
// The projection's uncertainty over the frame as a heat map (calib/ProjectionUncertainty):
// every cell filled by its sigma on a logarithmic scale from kHeatLowPx (blue) to
// kHeatHighPx (red), the cells where the board was seen outlined, and the scale beneath;
// and the cross-validation's differences on that scale (calib/CrossValidation).
#include "calib/CrossValidation.h"
#include "calib/ProjectionUncertainty.h"

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace vrma {

inline constexpr double kHeatLowPx = 0.01;
inline constexpr double kHeatHighPx = 10.0;

// The colour of a sigma (pixels): blue at kHeatLowPx and below, red at kHeatHighPx and
// above, through green and yellow between.
QColor HeatColour(double sigmaPx);

// Where the frame lies in `area` (its shape kept, room for the scale beneath).
QRectF HeatFrameRect(const ProjectionUncertainty& map, const QRectF& area, double scaleHeight);

void PaintUncertaintyMap(QPainter& painter, const ProjectionUncertainty& map, const QRectF& area);

// Where a difference or sigma (pixels) lies along a strip of the heat scale (`strip`'s
// left edge at kHeatLowPx, its right at kHeatHighPx, logarithmic; clamped to it).
double HeatScaleX(double px, const QRectF& strip);

// The cross-validation as a line on the map's scale: the strip of its colours with its
// ends named, a mark at the median and at the largest difference of the halves where the
// board was seen, each with its figure, and the median sigma of the whole set's map for
// comparison. Its height: CrossValidationLineHeight for the painter's font.
void PaintCrossValidationLine(QPainter& painter, const CrossValidation& check,
                              const ProjectionUncertainty& map, const QRectF& area);
double CrossValidationLineHeight(const QPainter& painter);

} // namespace vrma
