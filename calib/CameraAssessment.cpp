#include "calib/CameraAssessment.h"

#include <algorithm>

namespace vrma {

const char* VerdictReasonCode(VerdictReason reason) {
    switch (reason) {
    case VerdictReason::TooFewPhotos:
        return "too_few_photos";
    case VerdictReason::CornersNotCovered:
        return "corners_not_covered";
    case VerdictReason::LensHeld:
        return "lens_held";
    case VerdictReason::Fragile:
        return "fragile";
    case VerdictReason::ModelError:
        return "model_error";
    case VerdictReason::CornerUncertainty:
        return "corner_uncertainty";
    }
    return "model_error";
}

CameraAssessment AssessCamera(std::span<const PhotoDetection> photos,
                              const CameraCalibration& calibration,
                              const std::vector<bool>& leftOut) {
    const std::vector<BoardPhoto> input = BoardPhotosOf(photos, leftOut);
    CameraAssessment a;
    const CameraInformation information = InformationOf(input, calibration);
    a.trust = JudgeTrust(information);
    a.uncertainty = UncertaintyOf(input, calibration, information);
    CameraCalibrationOptions options;
    options.selection = calibration.selection;
    a.crossValidation = CrossValidate(input, calibration, a.uncertainty, options);
    a.coverage = CoverageOf(calibration, photos);
    a.fragile = a.trust.Fragile();
    const auto corner = [&a](size_t k) { return a.uncertainty.cells[k].sigmaPx; };
    const size_t last = a.uncertainty.cells.size() - 1;
    const size_t columns = size_t(a.uncertainty.columns);
    const double corners =
        std::max({corner(0), corner(columns - 1), corner(last - columns + 1), corner(last)});
    if (calibration.used < kEnoughPhotos)
        a.reasons.push_back(VerdictReason::TooFewPhotos);
    if (!a.coverage.AllCorners())
        a.reasons.push_back(VerdictReason::CornersNotCovered);
    if (calibration.unfounded.Count() > 0)
        a.reasons.push_back(VerdictReason::LensHeld);
    if (!a.fragile.empty())
        a.reasons.push_back(VerdictReason::Fragile);
    if (a.crossValidation && a.crossValidation->modelError)
        a.reasons.push_back(VerdictReason::ModelError);
    if (corners > kCornerUncertaintyPx)
        a.reasons.push_back(VerdictReason::CornerUncertainty);
    return a;
}

} // namespace vrma
