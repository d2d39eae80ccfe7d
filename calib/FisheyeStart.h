#pragma once
// Where a fit of the fisheye (calib/Camera.h, CameraModel::Fisheye) starts: the focal
// length of the equidistant projection (r = f theta, no lens terms) with the principal point
// where it is given, found as the one under which every board's targets, turned back into
// rays, lie best on a plane: each board's homography fitted to its rays (those within 80
// degrees of the axis), the residuals measured in pixels back through the same projection;
// the focal length searched over a wide range of the frame's size, then narrowed.
#include "data/PlanePoint.h"

#include <optional>
#include <span>
#include <vector>

namespace vrma {

struct BoardPhoto;

// The focal length for the photographs used (their boards and targets, pixels) around the
// principal point (cx, cy), searched from a fifth of `frameSide` to three times it; nothing
// when no focal length lets three photographs' boards be fitted.
std::optional<double> EquidistantFocalLength(std::span<const BoardPhoto> photos, double cx,
                                             double cy, double frameSide);

} // namespace vrma
