#pragma once
// The plot of a scale-ratio run on the calibration window's bitmap.
#include "calib/ScaleRatio.h"

class QImage;

namespace vrma {

// Draws the run's polylines on the plot bitmap (black, one pixel wide, no antialiasing;
// each polyline starts at a vertex that starts one) and, for a complete run, the mean
// line in pure red. The painter clips whatever lies beyond the bitmap.
void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioRun& run);

} // namespace vrma
