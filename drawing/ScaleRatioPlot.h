#pragma once
// The plot of a scale-ratio run on the calibration window's 700-pixel bitmap: each interior
// row's ratios a polyline over the columns, the mean a red line. The plot works out its
// pixels as the run goes (it follows the run, and a ratio it cannot place stops the run):
//   the step between columns  h = 700 / NC, column i at x = trunc(i h + 30);
//   the vertical scale        s = 250 / v for every ratio v of the first interior row (so
//                             the last one's stays), a ratio at y = trunc(v s);
//   the mean line             from (30, trunc(mean s)) to (trunc((NC - 1) h + 30), the same).
#include "calib/ScaleRatio.h"

#include <QtGlobal>
#include <span>
#include <vector>

class QImage;

namespace vrma {

// One vertex of the ratio plot, in pixels of the plot bitmap.
struct PlotVertex {
    qint32 x;
    qint32 y;
    bool startsPolyline; // the pen moves here (first interior column); otherwise a line is drawn
};

struct ScaleRatioPlot {
    double h = 0.0; // horizontal step, 700 / NC
    double s = 1.0; // vertical scale, 250 / (last ratio of the first interior row)
    // One vertex per ratio placed; on a failure while summing, also the vertex of the
    // failing node (it is placed before its ratio is summed).
    std::vector<PlotVertex> vertices;
    // The mean line, from (30, meanLineY) to (meanLineRight, meanLineY), once the run has
    // its statistics and the line could be placed.
    bool meanLine = false;
    qint32 meanLineY = 0;
    qint32 meanLineRight = 0;
};

// A run and its plot, as the calibration window makes them.
struct PlottedScaleRatio {
    ScaleRatioRun run;
    ScaleRatioPlot plot;
};

// RunScaleRatio followed by its plot: the run stops where the plot cannot place a step
// (no step for a grid of no columns, a first-row ratio of 0 or one whose 250 / v is beyond
// the range of a double, a pixel beyond 32 bits, a mean line beyond 32 bits).
PlottedScaleRatio RunPlottedScaleRatio(qint32 nc, qint32 nr, std::span<const PlanePoint> scene,
                                       std::span<const PlanePoint> image);
PlottedScaleRatio RunPlottedScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene,
                                       const VT_Points& image);

// The plot of a complete run of an NC-column grid, made again from its ratios and mean.
// Throws CalcError when the run is not complete or its plot cannot be placed.
ScaleRatioPlot PlotOfRun(qint32 nc, const ScaleRatioRun& run);

// Draws the polylines on the plot bitmap (black, one pixel wide, no antialiasing; each
// polyline starts at a vertex that starts one) and the mean line, when there is one, in
// pure red. The painter clips whatever lies beyond the bitmap.
void DrawScaleRatioPlot(QImage& bitmap, const ScaleRatioPlot& plot);

} // namespace vrma
