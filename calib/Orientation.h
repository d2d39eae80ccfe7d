#pragma once
// The exterior orientation of one photograph in the board's scene coordinates (X = i *
// pitch, Y = j * pitchY, Z = 0 on the board: the grid's own axes, right-handed, so Z points
// away from a camera that sees the board's axes as printed), from the pose of a fit.
//
// The camera's axes are OpenCV's: x to the right of the image, y down it, z along the
// optical axis towards the scene. The matrix A turns scene directions into the camera's:
// x_camera = A (X - C), C the projection centre; A is the pose's rotation.
//
// The angles, degrees, each triple composed of rotations about fixed axes, Rx, Ry, Rz the
// right-handed rotations about x, y, z:
// - photogrammetric (longitudinal alpha, transverse omega, image rotation kappa), the
//   camera's axes in the scene: A^T = Ry(alpha) Rx(omega) Rz(kappa). All zero: the camera
//   looks square at the board, the image's x along the board's X, y along its Y.
// - test stand (about the vertical axis v, about the horizontal axis h, of the image r),
//   the board turned before a fixed camera, in the camera's axes: A = Ry(v) Rx(h) Rz(r):
//   the board turned in its plane by r, tilted about the image's horizontal by h, then
//   turned about the image's vertical by v.
// The middle angle lies in -90..90; at exactly +-90 the last angle is taken as 0.
#include "calib/Camera.h"

#include <array>
#include <opencv2/core.hpp>
#include <optional>

namespace vrma {

struct ExteriorOrientation {
    cv::Vec3d centre;               // the projection centre, scene units
    std::optional<cv::Vec2d> aim;   // where the optical axis meets the board (Z = 0)
    std::optional<double> distance; // from the centre to the aiming point, scene units
    cv::Vec3d photogrammetric;      // alpha, omega, kappa, degrees
    cv::Vec3d stand;                // v, h, r, degrees
    cv::Matx33d matrix;             // A, scene to camera
};

// Ry(a) Rx(b) Rz(c), angles in degrees.
cv::Matx33d RotationYXZ(const cv::Vec3d& degrees);
// The angles of such a product (its inverse on rotations).
cv::Vec3d AnglesYXZ(const cv::Matx33d& rotation);

ExteriorOrientation OrientationOf(const Pose& pose);

// The 21 values of an orientation file in its line order (the aiming point and the
// distance empty when the optical axis does not meet the board in front of the camera).
std::array<std::optional<double>, 21> OrientationFileValues(const ExteriorOrientation& o);

} // namespace vrma
