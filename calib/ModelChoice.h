#pragma once
// The choice of a camera's model: the leanest of the offered pinhole models (no lens, radial
// terms, OpenCV's five, its rational eight) that the photographs support: calibrated, its lens
// terms founded (calib/CameraTrust), its two halves agreeing within their uncertainty
// (calib/CrossValidation), and no richer model so supported finding the terms it holds
// significant together (as rarely by chance as one term beyond kSignificantSe standard errors).
// When no pinhole model is supported, the fisheye if it is; when none is, the same choice among the
// pinhole models with their halves aside, or the fisheye if it leaves less error.
#include "calib/CrossValidation.h"
#include "calib/PhotoCalibration.h"

#include <optional>

namespace vrma {

inline constexpr double kSignificantSe = 5.0;

// The offered models, leanest first.
std::vector<CameraSelection> OfferedModels();

// Throws the last model's CameraFitError when no model calibrates.
CameraSelection ChooseModel(std::span<const BoardPhoto> photos,
                            const CameraCalibrationOptions& options = {});

// The camera of the photographs not left out with `model`, or with none the model
// ChooseModel finds for them (the calibration's selection). Throws as CalibrateFromPhotos.
CameraCalibration CalibrateWithModel(std::span<const PhotoDetection> photos,
                                     const std::vector<bool>& leftOut,
                                     std::optional<CameraSelection> model);

} // namespace vrma
