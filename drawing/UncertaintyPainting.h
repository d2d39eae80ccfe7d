#pragma once
// The projection's uncertainty over the frame as a heat map (calib/ProjectionUncertainty):
// every cell filled by its sigma on a logarithmic scale from kHeatLowPx (blue) to
// kHeatHighPx (red), the cells where the board was seen outlined, and the scale beneath.
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

} // namespace vrma
