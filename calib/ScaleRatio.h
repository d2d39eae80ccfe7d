#pragma once
// The scale-ratio calibration: for every interior node of a grid of reference points,
// the ratio of the local image scale along the image's y axis to the local scale along
// its x axis, with the points of the ratio plot, the mean and the standard deviation.
//
// Both point sets list the grid column by column: point k is the node of column
// k / NR and row k % NR, and the k-th scene point and the k-th image point are the
// same node. The computation only computes; the calibration window lists, paints and
// reports what it returns.
#include "data/Data_structures.h"
#include "data/PlanePoint.h"

#include <QtGlobal>
#include <span>
#include <vector>

namespace vrma {

// One vertex of the ratio plot, in pixels of the plot bitmap.
struct PlotVertex {
    qint32 x;
    qint32 y;
    bool startsPolyline; // the pen moves here (first interior column); otherwise a line is drawn
};

// How far a run got, in the order of its steps. A run that did not reach Complete
// failed in that step.
enum class ScaleRatioStage {
    Tables,    // laying out the grid: a negative size, sizes that do not match the points
    Step,      // the horizontal step h = 700 / NC
    Ratio,     // a node of the grid (failedColumn, failedRow)
    Mean,      // the sum divided by the count (no interior node: 0 / 0)
    Deviation, // the sum of squared deviations and the standard deviation
    MeanLine,  // the pixel positions of the mean line
    Complete,
};

// What a run produced, in order.
struct ScaleRatioRun {
    ScaleRatioStage stage = ScaleRatioStage::Tables;
    // The node where a Ratio failure happened (column i, row j); -1 otherwise.
    qint32 failedColumn = -1;
    qint32 failedRow = -1;

    // The ratios of the nodes done, row by row, each row from left to right.
    std::vector<double> ratios;
    // The plot vertices drawn, one per node done; on a failure while summing, also the
    // vertex of the failing node (it is drawn before its ratio is summed).
    std::vector<PlotVertex> plot;

    double h = 0.0; // horizontal step, 700 / NC
    double s = 1.0; // vertical scale, 250 / (last ratio of the first interior row)

    // The window's coefficient as the run leaves it: reset to 0 once the step h is
    // known, then the running sum of the ratios, and the mean once divided.
    bool coefficientSet = false;
    double coefficient = 0.0;
    // The coefficient was reset and the run stopped before it became the mean: it holds a
    // sum of ratios (or 0), which is no coefficient to save.
    bool coefficientInterrupted() const {
        return coefficientSet && stage < ScaleRatioStage::Deviation;
    }

    double sd = 0.0; // standard deviation (valid from MeanLine on)

    // The mean line, from (30, meanLineY) to (meanLineRight, meanLineY); valid when Complete.
    qint32 meanLineY = 0;
    qint32 meanLineRight = 0;

    bool complete() const { return stage == ScaleRatioStage::Complete; }
    // The mean is known (the splash is hidden from here on).
    bool meanKnown() const { return stage >= ScaleRatioStage::Deviation; }
    // The mean and the standard deviation are both known and shown.
    bool statisticsKnown() const { return stage >= ScaleRatioStage::MeanLine; }
};

// The number of points each file must hold for an NC x NR grid (no 32-bit wrap-around).
inline qint64 GridPointCount(qint32 nc, qint32 nr) {
    return qint64(nc) * qint64(nr);
}

// Runs the calibration on the points of both files (the caller has checked that each
// holds NC * NR points; sizes that do not match stop the run at Tables). Never throws:
// a calculation failure, or memory that cannot be had for the working data, ends the
// run, and the result tells where.
ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, std::span<const PlanePoint> scene,
                            std::span<const PlanePoint> image);

// The same on the point lists of the calibration window: their points are copied into
// the grid tables first.
ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene, const VT_Points& image);

} // namespace vrma
