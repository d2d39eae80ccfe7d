#pragma once
// Whether a calibrated camera can be trusted, judged once for the window, the report and
// vrma-calib: the photographs' information (calib/CameraTrust), the projection's uncertainty
// over the frame (calib/ProjectionUncertainty), the cross-validation of two halves
// (calib/CrossValidation), and the verdict as codes, worded by the catalogue.
#include "calib/CrossValidation.h"
#include "calib/PhotoCalibration.h"

namespace vrma {

// Photographs used from which a calibration counts as well founded.
inline constexpr int kEnoughPhotos = 10;
// The projection's uncertainty at a corner of the frame over this (pixels) leaves the
// corners unknown.
inline constexpr double kCornerUncertaintyPx = 1.0;

// Why a camera is not to be trusted as it stands, in the order the verdict states them.
enum class VerdictReason {
    TooFewPhotos,      // fewer than kEnoughPhotos used
    CornersNotCovered, // some corner region of the frame without targets
    LensHeld,          // lens terms asked for held: the photographs did not found them
    Fragile,           // some photograph moves the camera by over kFragileShiftSe
    ModelError,        // the halves differ by more than their uncertainty explains
    CornerUncertainty, // the projection at a corner of the frame uncertain by over the limit
};

// The code as --json spells it: "too_few_photos", "corners_not_covered", "lens_held",
// "fragile", "model_error", "corner_uncertainty".
const char* VerdictReasonCode(VerdictReason reason);

struct CameraAssessment {
    CameraTrust trust;
    ProjectionUncertainty uncertainty;
    std::optional<CrossValidation> crossValidation; // empty: too few photographs to halve
    FrameCoverage coverage;
    std::vector<size_t> fragile; // the photographs that move the camera, indices given
    std::vector<VerdictReason> reasons;
    bool modelChosen = false; // the model chosen from the photographs (calib/ModelChoice)
    bool Ok() const { return reasons.empty(); }
};

// Throws CameraFitError as InformationOf does.
CameraAssessment AssessCamera(std::span<const PhotoDetection> photos,
                              const CameraCalibration& calibration,
                              const std::vector<bool>& leftOut = {});

} // namespace vrma
