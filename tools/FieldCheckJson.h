#pragma once
// vrma-calib --json: the field check's figures as a JSON object.
#include "calib/FieldCheck.h"

#include <QByteArray>

namespace vrma {

// The result as a JSON object (UTF-8). Keys: coefficient, sd, n, sem, homography_rms_px,
// tilt_vertical_deg, tilt_horizontal_deg, tilt_deg, focal_px, corrected_coefficient,
// corrected_se, views, multiview_fx, multiview_fy, multiview_ratio, multiview_ratio_se,
// bias, bias_se, warning; a value that is not known is null.
QByteArray FieldCheckJson(const FieldCheck& check);

} // namespace vrma
