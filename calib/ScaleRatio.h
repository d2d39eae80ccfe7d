#pragma once
// The scale-ratio calibration: for every interior node of a grid of reference points,
// the ratio of the local image scale along the image's y axis to the local scale along
// its x axis, with their mean and standard deviation.
//
// Both point sets list the grid column by column: point k is the node of column
// k / NR and row k % NR, and the k-th scene point and the k-th image point are the
// same node. The computation only computes; the calibration window lists, plots and
// reports what it returns, and its plot (drawing/ScaleRatioPlot.h) follows the run.
#include "data/Data_structures.h"
#include "data/PlanePoint.h"

#include <QtGlobal>
#include <cstddef>
#include <span>
#include <vector>

namespace vrma {

// How far a run got, in the order of its steps. A run that did not reach Complete
// failed in that step.
enum class ScaleRatioStage {
    Tables,    // laying out the grid: a negative size, sizes that do not match the points
    Step,      // the follower's start (the plot's step between columns: a grid of no columns)
    Ratio,     // a node of the grid (failedColumn, failedRow): its ratio, the follower's
               // taking it, or its sum
    Mean,      // the sum divided by the count (no interior node: 0 / 0)
    Deviation, // the sum of squared deviations and the standard deviation
    MeanLine,  // the follower's finish with the mean (the plot's mean line)
    Complete,
};

// What a run produced, in order: the ratios and their statistics.
struct ScaleRatioRun {
    ScaleRatioStage stage = ScaleRatioStage::Tables;
    // The node where a Ratio failure happened (column i, row j); -1 otherwise.
    qint32 failedColumn = -1;
    qint32 failedRow = -1;

    // The ratios of the nodes done, row by row, each row from left to right.
    std::vector<double> ratios;

    // The window's coefficient as the run leaves it: reset to 0 once the follower has
    // started, then the running sum of the ratios, and the mean once divided.
    bool coefficientSet = false;
    double coefficient = 0.0;
    // The coefficient was reset and the run stopped before it became the mean: it holds a
    // sum of ratios (or 0), which is no coefficient to save.
    bool coefficientInterrupted() const {
        return coefficientSet && stage < ScaleRatioStage::Deviation;
    }

    double sd = 0.0; // standard deviation (valid from MeanLine on)

    bool complete() const { return stage == ScaleRatioStage::Complete; }
    // The mean is known (the splash is hidden from here on).
    bool meanKnown() const { return stage >= ScaleRatioStage::Deviation; }
    // The mean and the standard deviation are both known and shown.
    bool statisticsKnown() const { return stage >= ScaleRatioStage::MeanLine; }
};

// What follows a run step by step and may stop it: the calibration window's plot, which
// places every ratio as it comes. It is told of the grid before the coefficient starts
// from 0, of every ratio before the ratio is summed, and of the mean once the statistics
// are known; a step that it cannot take stops the run there (at Step, at the node, at
// MeanLine), as a failure of the run's own would.
class ScaleRatioFollower {
public:
    ScaleRatioFollower() = default;
    ScaleRatioFollower(const ScaleRatioFollower&) = delete;
    ScaleRatioFollower& operator=(const ScaleRatioFollower&) = delete;

    // The grid has nc columns and `nodes` interior nodes. False: the run stops at Step.
    virtual bool Start(qint32 nc, std::size_t nodes) = 0;
    // The ratios of interior row j from column `first` on, one a column. Returns how many
    // it took, from the first: fewer than all stops the run at the node it did not take.
    virtual std::size_t Take(qint32 j, qint32 first, std::span<const double> ratios) = 0;
    // The mean. False: the run stops at MeanLine.
    virtual bool Finish(double mean) = 0;

protected:
    ~ScaleRatioFollower() = default;
};

// The number of points each file must hold for an NC x NR grid (no 32-bit wrap-around).
inline qint64 GridPointCount(qint32 nc, qint32 nr) {
    return qint64(nc) * qint64(nr);
}

// Runs the calibration on the points of both files (the caller has checked that each
// holds NC * NR points; sizes that do not match stop the run at Tables), followed by the
// follower when there is one. Never throws: a calculation failure, a step the follower
// cannot take, or memory that cannot be had for the working data ends the run, and the
// result tells where.
ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, std::span<const PlanePoint> scene,
                            std::span<const PlanePoint> image,
                            ScaleRatioFollower* follower = nullptr);

// The same on the point lists of the calibration window, read where the lists hold them.
ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene, const VT_Points& image,
                            ScaleRatioFollower* follower = nullptr);

} // namespace vrma
