#pragma once
// The assessment of a calibrated camera in vrma-calib's JSON: "verdict" {"ok", "reasons"
// (codes), "text"}, "uncertainty" {"distance", "cells" [[x, y, sigma_px], ...],
// "worst_seen_px", "worst_frame_px"} and "cross_validation" {"median_px", "worst_seen_px",
// "median_sigma" (the median over the cells seen of the difference in its standard
// deviation), "model_error"} (null when the photographs are too few to halve).
#include "calib/CameraAssessment.h"

#include <QJsonObject>
#include <span>

namespace vrma {

// With an assessment: the three members as above. Without one (no camera): the verdict not
// ok, its reason "no_camera" and `reason` as its text; the other two null.
void InsertCameraTrust(QJsonObject& object, const CameraAssessment* assessment,
                       const CameraCalibration* calibration, std::span<const PhotoDetection> photos,
                       const QString& reason);

} // namespace vrma
