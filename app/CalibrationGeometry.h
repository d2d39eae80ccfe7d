#pragma once
// The photograph of the calibration on screen as the field check takes it: the points of
// the window's lists and the image size from the texts of its fields.
#include "calib/FieldCheck.h"
#include "data/Data_structures.h"

#include <QString>
#include <optional>

namespace vrma {

// The geometry of a completed calibration; empty when a size is not a positive number.
// The focal length is left unknown.
std::optional<FieldGeometry> CalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                                                 const QString& widthText,
                                                 const QString& heightText);
// The same into `into`, whose vectors are reused (no new memory when they have the room);
// false, with `into` emptied, when a size is not a positive number.
bool FillCalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                             const QString& widthText, const QString& heightText,
                             FieldGeometry& into);

} // namespace vrma
