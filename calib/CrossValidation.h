#pragma once
// The cross-validation of a calibrated camera: the photographs used split in two halves
// twice (alternately in their order, and the first half against the second), each half
// calibrated with the same model, and the two projections compared over the frame's cells
// (calib/ProjectionUncertainty) after the rigid motion between the two cameras' frames that best
// carries the first camera's points of the cells seen onto the second's pixels there (fitted in
// pixels: the halves' frames differ by a translation as well, which a fit of the points at one
// distance from both centres cannot take). Where the halves differ by more than their uncertainties
// explain, the model does not describe the lens: a model error.
#include "calib/ProjectionUncertainty.h"

namespace vrma {

// In every cell seen the difference is taken in units of its standard deviation under the
// right model, the root of the sum of the halves' variances there. Its square is then at most
// a chi-square of two degrees of freedom (each half's variance is that of its worse
// direction, and the fitted motion only takes from it), whose median is 2 ln 2: the model is
// in error when the median over the cells seen is over the root of that. The bound is in
// units of the noise, so it holds at every noise.
inline constexpr double kModelErrorRatio = 1.1774100225154747; // sqrt(2 ln 2)

// The split whose halves differ the more (in units of the difference's deviation).
struct CrossValidation {
    std::vector<double> cellsPx; // the difference at every cell of the map, pixels; -1 outside
    double medianPx = 0.0;       // over the cells seen
    double worstSeenPx = 0.0;
    double ratio = 0.0; // the median of difference / its standard deviation, cells seen
    bool modelError = false;
};

// Empty when in both splits a half has fewer photographs than the options' minimum or gives
// no camera. `map` is the whole set's (its cells and what they saw).
std::optional<CrossValidation> CrossValidate(std::span<const BoardPhoto> photos,
                                             const CameraCalibration& calibration,
                                             const ProjectionUncertainty& map,
                                             const CameraCalibrationOptions& options = {});

} // namespace vrma
