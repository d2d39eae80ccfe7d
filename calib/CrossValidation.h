#pragma once
// The cross-validation of a calibrated camera: the photographs used split in two halves
// (alternately, in their order), each half calibrated with the same model, and the two
// projections compared over the frame's cells (calib/ProjectionUncertainty) after the best
// rotation between the two cameras' frames (the rays of the cells seen, by Kabsch's
// method). Where the halves differ by more than their uncertainties explain, the model
// does not describe the lens: a model error.
#include "calib/ProjectionUncertainty.h"

namespace vrma {

// The model is in error when the median, over the cells seen, of the halves' difference in
// units of its standard deviation is over kModelErrorRatio and the median difference itself
// over kModelErrorFloorPx: the halves' uncertainty counts only the measuring error, and
// halves of a dozen photographs differ by a few of it under the right model too, below a
// pixel.
inline constexpr double kModelErrorRatio = 3.0;
inline constexpr double kModelErrorFloorPx = 1.0;

struct CrossValidation {
    std::vector<double> cellsPx; // the difference at every cell of the map, pixels
    double medianPx = 0.0;       // over the cells seen
    double worstSeenPx = 0.0;
    double ratio = 0.0; // the median of difference / its standard deviation, cells seen
    bool modelError = false;
};

// Empty when either half has fewer photographs than the options' minimum or gives no
// camera. `map` is the whole set's (its cells and what they saw).
std::optional<CrossValidation> CrossValidate(std::span<const BoardPhoto> photos,
                                             const CameraCalibration& calibration,
                                             const ProjectionUncertainty& map,
                                             const CameraCalibrationOptions& options = {});

} // namespace vrma
