#include "calib/Orientation.h"

#include <cmath>
#include <numbers>
#include <opencv2/calib3d.hpp>

namespace vrma {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

} // namespace

cv::Matx33d RotationYXZ(const cv::Vec3d& degrees) {
    const double a = degrees[0] * kDegree;
    const double b = degrees[1] * kDegree;
    const double c = degrees[2] * kDegree;
    const cv::Matx33d ry(std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a));
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b), std::cos(b));
    const cv::Matx33d rz(std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c), 0, 0, 0, 1);
    return ry * rx * rz;
}

cv::Vec3d AnglesYXZ(const cv::Matx33d& m) {
    // Ry Rx Rz = [.. .. sa cb; cb sc cb cc -sb; .. .. ca cb].
    const double sb = std::clamp(-m(1, 2), -1.0, 1.0);
    const double b = std::asin(sb);
    double a = 0.0;
    double c = 0.0;
    if (std::abs(sb) < 1.0 - 1e-12) {
        a = std::atan2(m(0, 2), m(2, 2));
        c = std::atan2(m(1, 0), m(1, 1));
    } else {
        // cos b = 0: only a - c (or a + c) is fixed; c taken as 0, Ry(a) Rx(+-90) = [ca sa*sb
        // ..; 0 0 -sb; -sa ca*sb ..].
        a = std::atan2(-m(2, 0), m(0, 0));
    }
    return {a / kDegree, b / kDegree, c / kDegree};
}

ExteriorOrientation OrientationOf(const Pose& pose) {
    cv::Matx33d a;
    cv::Rodrigues(pose.rotation, a);
    ExteriorOrientation o;
    o.matrix = a;
    o.centre = -(a.t() * pose.translation);
    // The optical axis, in the scene: the camera's z.
    const cv::Vec3d axis(a(2, 0), a(2, 1), a(2, 2));
    if (axis[2] != 0.0) {
        const double s = -o.centre[2] / axis[2];
        if (s > 0.0 && std::isfinite(s)) {
            o.aim = cv::Vec2d(o.centre[0] + s * axis[0], o.centre[1] + s * axis[1]);
            o.distance = s;
        }
    }
    o.photogrammetric = AnglesYXZ(a.t());
    o.stand = AnglesYXZ(a);
    return o;
}

std::array<std::optional<double>, 21> OrientationFileValues(const ExteriorOrientation& o) {
    std::array<std::optional<double>, 21> v;
    v[0] = o.centre[0];
    v[1] = o.centre[1];
    v[2] = o.centre[2];
    if (o.aim) {
        v[3] = (*o.aim)[0];
        v[4] = (*o.aim)[1];
    }
    v[5] = o.distance;
    for (size_t k = 0; k < 3; ++k) {
        v[6 + k] = o.photogrammetric[int(k)];
        v[9 + k] = o.stand[int(k)];
    }
    for (size_t k = 0; k < 9; ++k)
        v[12 + k] = o.matrix.val[k];
    return v;
}

} // namespace vrma
