// The exterior orientation of a pose against rotations built independently (Rodrigues
// about each axis): the projection centre, the aiming point on the optical axis, both
// angle triples and the matrix, for poses seen square, tilted, turned and looking away.
#include "calib/Orientation.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <opencv2/calib3d.hpp>

namespace vrma {
namespace {

cv::Matx33d About(const cv::Vec3d& axis, double degrees) {
    cv::Matx33d r;
    cv::Rodrigues(axis * (degrees * std::numbers::pi / 180.0), r);
    return r;
}

// Ry(a) Rx(b) Rz(c), each from its axis and angle.
cv::Matx33d Yxz(const cv::Vec3d& angles) {
    return About({0, 1, 0}, angles[0]) * About({1, 0, 0}, angles[1]) * About({0, 0, 1}, angles[2]);
}

void ExpectNear(const cv::Matx33d& a, const cv::Matx33d& b) {
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(a.val[k], b.val[k], 1e-12) << k;
}

struct Case {
    cv::Vec3d centre;
    cv::Vec3d photogrammetric; // alpha, omega, kappa
    bool aims;
};

TEST(ExteriorOrientation, CentreAimAnglesAndMatrixAgree) {
    const Case cases[] = {
        {{100, 50, -500}, {0, 0, 0}, true},      // square to the board
        {{-80, 240, -900}, {25, -10, 35}, true}, // tilted and turned
        {{10, 20, -300}, {-40, 30, -170}, true}, // turned almost upside down
        {{0, 0, -400}, {120, 20, 0}, false},     // the axis turned past the board's plane
        {{0, 0, -400}, {170, 10, 5}, false},     // looking away from the board
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photogrammetric[0] + c.photogrammetric[1] / 7 + c.centre[1]);
        const cv::Matx33d a = Yxz(c.photogrammetric).t();
        Pose pose;
        cv::Rodrigues(a, pose.rotation);
        pose.translation = -(a * c.centre);
        const ExteriorOrientation o = OrientationOf(pose);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(o.centre[k], c.centre[k], 1e-9);
            EXPECT_NEAR(o.photogrammetric[k], c.photogrammetric[k], 1e-9);
        }
        ExpectNear(o.matrix, a);
        ExpectNear(Yxz(o.stand), a);
        ExpectNear(RotationYXZ(o.stand), a);
        EXPECT_LE(std::abs(o.stand[1]), 90.0);
        ASSERT_EQ(o.aim.has_value(), c.aims);
        ASSERT_EQ(o.distance.has_value(), c.aims);
        if (c.aims) {
            // On the optical axis, in front of the camera, at that distance.
            const cv::Vec3d seen = a * (cv::Vec3d((*o.aim)[0], (*o.aim)[1], 0) - c.centre);
            EXPECT_NEAR(seen[0], 0.0, 1e-9);
            EXPECT_NEAR(seen[1], 0.0, 1e-9);
            EXPECT_NEAR(seen[2], *o.distance, 1e-9);
        }
    }
}

// At a middle angle of exactly +-90 degrees the first angle takes the whole turn.
TEST(ExteriorOrientation, AnglesOfAVerticalMiddleRecomposeTheMatrix) {
    for (const cv::Vec3d& angles : {cv::Vec3d(30, 90, 0), cv::Vec3d(-50, -90, 0)})
        ExpectNear(RotationYXZ(AnglesYXZ(Yxz(angles))), Yxz(angles));
}

} // namespace
} // namespace vrma
