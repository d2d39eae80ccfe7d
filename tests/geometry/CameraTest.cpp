// The camera type against OpenCV's own definition of the lens: projection written out
// term by term, its Jacobian against central differences, the round trip through the
// undistortion, the exchange of values with
// OpenCV's matrix and coefficients, and the standard error of fy/fx from a covariance.
#include "calib/Camera.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <stdexcept>
#include <vector>

namespace vrma {
namespace {

Camera Lens() {
    Camera camera = Camera::Centred(1600.0, 1200.0, 1500.0, 1506.0);
    camera[CameraParameter::Cx] += 12.0;
    camera[CameraParameter::Cy] -= 7.0;
    camera[CameraParameter::K1] = -0.21;
    camera[CameraParameter::K2] = 0.08;
    camera[CameraParameter::P1] = 0.0012;
    camera[CameraParameter::P2] = -0.0009;
    camera[CameraParameter::K3] = -0.015;
    return camera;
}

// A wide lens as OpenCV's rational model fits one: the denominator takes up the radial
// factor's growth.
Camera RationalLens() {
    Camera camera = Lens();
    camera[CameraParameter::K1] = 0.35;
    camera[CameraParameter::K2] = -0.04;
    camera[CameraParameter::K3] = 0.003;
    camera[CameraParameter::K4] = 0.62;
    camera[CameraParameter::K5] = 0.05;
    camera[CameraParameter::K6] = 0.004;
    return camera;
}

std::vector<Camera> Lenses() {
    return {Lens(), RationalLens()};
}

// An equidistant fisheye of some 200 degrees across the frame's width.
Camera FisheyeLens() {
    Camera camera = Camera::Centred(1280.0, 960.0, 330.0, 331.0);
    camera.model = CameraModel::Fisheye;
    camera[CameraParameter::Cx] += 5.0;
    camera[CameraParameter::Cy] -= 3.0;
    camera[CameraParameter::K1] = 0.02;
    camera[CameraParameter::K2] = -0.005;
    camera[CameraParameter::K3] = 0.001;
    camera[CameraParameter::K4] = -0.0002;
    return camera;
}

// The lens model written out as OpenCV documents it.
PlanePoint ByHand(const Camera& c, const Pose& pose, const PlanePoint& field) {
    cv::Matx33d r;
    cv::Rodrigues(pose.rotation, r);
    const cv::Vec3d p = r * cv::Vec3d(field.x, field.y, 0.0) + pose.translation;
    const double x = p[0] / p[2];
    const double y = p[1] / p[2];
    const double r2 = x * x + y * y;
    const double k1 = c[CameraParameter::K1], k2 = c[CameraParameter::K2];
    const double k3 = c[CameraParameter::K3], p1 = c[CameraParameter::P1];
    const double p2 = c[CameraParameter::P2];
    const double k4 = c[CameraParameter::K4], k5 = c[CameraParameter::K5];
    const double k6 = c[CameraParameter::K6];
    const double radial = (1.0 + k1 * r2 + k2 * r2 * r2 + k3 * r2 * r2 * r2) /
                          (1.0 + k4 * r2 + k5 * r2 * r2 + k6 * r2 * r2 * r2);
    const double xd = x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x);
    const double yd = y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y;
    return {c.fx() * xd + c.cx(), c.fy() * yd + c.cy()};
}

// Points strewn at random over a board 200 x 125 across its centre.
std::vector<PlanePoint> Board() {
    cv::RNG random(35);
    std::vector<PlanePoint> points;
    for (int k = 0; k < 60; ++k)
        points.push_back({random.uniform(-100.0, 100.0), random.uniform(-62.5, 62.5)});
    return points;
}

TEST(Camera, ProjectsAndUndistortsAsOpenCvDefinesTheLens) {
    for (const Camera& camera : Lenses()) {
        SCOPED_TRACE(camera.Rational() ? "rational" : "five terms");
        const Pose pose{cv::Vec3d(0.35, -0.25, 0.1), cv::Vec3d(10.0, -5.0, 420.0)};
        const std::vector<PlanePoint> field = Board();
        const std::vector<PlanePoint> image = ProjectFieldPoints(camera, pose, field);
        ASSERT_EQ(image.size(), field.size());
        double farthest = 0.0;
        for (size_t k = 0; k < field.size(); ++k) {
            const PlanePoint expected = ByHand(camera, pose, field[k]);
            EXPECT_NEAR(image[k].x, expected.x, 1e-9);
            EXPECT_NEAR(image[k].y, expected.y, 1e-9);
            farthest =
                std::max(farthest, std::hypot(image[k].x - camera.cx(), image[k].y - camera.cy()));
        }
        // The board reaches well out into the frame, where the lens moves points by pixels.
        EXPECT_GT(farthest, 350.0);

        // Undistorted, the points are where the camera without its lens puts them.
        Camera pinhole = camera;
        for (CameraParameter p : CameraSelection::AnyLens().Parameters())
            pinhole[p] = 0.0;
        EXPECT_FALSE(pinhole.HasLens());
        const std::vector<PlanePoint> straight = ProjectFieldPoints(pinhole, pose, field);
        const std::vector<PlanePoint> undistorted = UndistortImagePoints(camera, image);
        double moved = 0.0;
        for (size_t k = 0; k < field.size(); ++k) {
            EXPECT_NEAR(undistorted[k].x, straight[k].x, 1e-6);
            EXPECT_NEAR(undistorted[k].y, straight[k].y, 1e-6);
            moved =
                std::max(moved, std::hypot(image[k].x - straight[k].x, image[k].y - straight[k].y));
        }
        EXPECT_GT(moved, 5.0);
    }
}

TEST(Camera, JacobianColumnsAreThePoseThenTheParametersInTheirOrder) {
    for (const Camera& camera : {Lens(), RationalLens(), FisheyeLens()}) {
        SCOPED_TRACE(CameraModelName(camera));
        const Pose pose{cv::Vec3d(0.35, -0.25, 0.1), cv::Vec3d(10.0, -5.0, 420.0)};
        const std::vector<PlanePoint> field = Board();
        cv::Mat jacobian;
        const std::vector<PlanePoint> image = ProjectFieldPoints(camera, pose, field, jacobian);
        ASSERT_EQ(jacobian.rows, 2 * int(field.size()));
        ASSERT_EQ(jacobian.cols, kProjectionColumns);
        ASSERT_EQ(image.size(), field.size());
        // Every column against a central difference of the projection, the lens included.
        const auto column = [&](int c, auto&& moved) {
            const double step = 1e-6;
            const std::vector<PlanePoint> plus = moved(step);
            const std::vector<PlanePoint> minus = moved(-step);
            double largest = 0.0;
            for (size_t k = 0; k < field.size(); ++k) {
                const double dx = (plus[k].x - minus[k].x) / (2.0 * step);
                const double dy = (plus[k].y - minus[k].y) / (2.0 * step);
                EXPECT_NEAR(jacobian.at<double>(2 * int(k), c), dx, 1e-4 * (1.0 + std::fabs(dx)))
                    << c;
                EXPECT_NEAR(jacobian.at<double>(2 * int(k) + 1, c), dy,
                            1e-4 * (1.0 + std::fabs(dy)))
                    << c;
                largest = std::max({largest, std::fabs(dx), std::fabs(dy)});
            }
            EXPECT_GT(largest, 1e-3) << c; // the column moves the points
        };
        for (CameraParameter p : ModelParameters(camera, CameraSelection::Rational()))
            column(ProjectionColumn(p), [&](double step) {
                Camera other = camera;
                other[p] += step;
                return ProjectFieldPoints(other, pose, field);
            });
        // A fisheye's projection has no columns of the terms it does not use.
        for (CameraParameter p :
             {CameraParameter::P1, CameraParameter::P2, CameraParameter::K5, CameraParameter::K6})
            EXPECT_EQ(cv::countNonZero(jacobian.col(ProjectionColumn(p))) == 0, camera.Fisheye());
        for (int c = 0; c < kPoseParameterCount; ++c)
            column(c, [&](double step) {
                Pose other = pose;
                (c < 3 ? other.rotation[c] : other.translation[c - 3]) += step;
                return ProjectFieldPoints(camera, other, field);
            });
    }
}

// The fisheye as cv::fisheye::projectPoints computes it (its projection and derivatives),
// and beyond 90 degrees off the axis, where OpenCV's form (through x / z) no longer holds,
// as the model is written; the ray found again at every pixel.
TEST(Camera, FisheyeProjectsAsOpenCvsFisheyeAndBeyondNinetyDegrees) {
    const Camera camera = FisheyeLens();
    const Pose pose{cv::Vec3d(0.35, -0.25, 0.1), cv::Vec3d(10.0, -5.0, 120.0)};
    const std::vector<PlanePoint> field = Board();
    cv::Mat jacobian;
    const std::vector<PlanePoint> ours = ProjectFieldPoints(camera, pose, field, jacobian);
    std::vector<cv::Point3d> object;
    for (const PlanePoint& p : field)
        object.emplace_back(p.x, p.y, 0.0);
    std::vector<cv::Point2d> theirs;
    cv::Mat theirJacobian;
    cv::fisheye::projectPoints(object, theirs, pose.rotation, pose.translation, camera.Matrix(),
                               camera.Distortion(), 0.0, theirJacobian);
    // OpenCV's columns: f (2), c (2), k1-k4, the rotation, the translation, the skew.
    const std::pair<int, int> columns[] = {{ProjectionColumn(CameraParameter::Fx), 0},
                                           {ProjectionColumn(CameraParameter::Fy), 1},
                                           {ProjectionColumn(CameraParameter::Cx), 2},
                                           {ProjectionColumn(CameraParameter::Cy), 3},
                                           {ProjectionColumn(CameraParameter::K1), 4},
                                           {ProjectionColumn(CameraParameter::K2), 5},
                                           {ProjectionColumn(CameraParameter::K3), 6},
                                           {ProjectionColumn(CameraParameter::K4), 7},
                                           {0, 8},
                                           {1, 9},
                                           {2, 10},
                                           {3, 11},
                                           {4, 12},
                                           {5, 13}};
    for (size_t k = 0; k < field.size(); ++k) {
        EXPECT_NEAR(ours[k].x, theirs[k].x, 1e-9) << k;
        EXPECT_NEAR(ours[k].y, theirs[k].y, 1e-9) << k;
        for (const auto& [mine, theirsColumn] : columns)
            for (int row : {2 * int(k), 2 * int(k) + 1})
                EXPECT_NEAR(jacobian.at<double>(row, mine),
                            theirJacobian.at<double>(row, theirsColumn),
                            1e-7 * (1.0 + std::fabs(theirJacobian.at<double>(row, theirsColumn))))
                    << k << " " << theirsColumn;
    }
    // Rays at random all around, to 110 degrees off the axis.
    cv::RNG random(7);
    for (int k = 0; k < 200; ++k) {
        const double theta = random.uniform(0.0, 110.0) * CV_PI / 180.0;
        const double phi = random.uniform(-CV_PI, CV_PI);
        const double distance = random.uniform(0.5, 50.0);
        const cv::Vec3d point =
            distance * cv::Vec3d(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                                 std::cos(theta));
        const PlanePoint pixel = ProjectPoint(camera, point);
        const double t2 = theta * theta;
        const double distorted = theta * (1.0 + camera[CameraParameter::K1] * t2 +
                                          camera[CameraParameter::K2] * t2 * t2 +
                                          camera[CameraParameter::K3] * t2 * t2 * t2 +
                                          camera[CameraParameter::K4] * t2 * t2 * t2 * t2);
        EXPECT_NEAR(pixel.x, camera.cx() + camera.fx() * distorted * std::cos(phi), 1e-9) << k;
        EXPECT_NEAR(pixel.y, camera.cy() + camera.fy() * distorted * std::sin(phi), 1e-9) << k;
        if (point[2] > 0.0) {
            std::vector<cv::Point2d> opencv;
            cv::fisheye::projectPoints(std::vector<cv::Point3d>{cv::Point3d(point)}, opencv,
                                       cv::Vec3d(), cv::Vec3d(), camera.Matrix(),
                                       camera.Distortion());
            EXPECT_NEAR(pixel.x, opencv[0].x, 1e-9) << k;
            EXPECT_NEAR(pixel.y, opencv[0].y, 1e-9) << k;
            const PlanePoint plain = UndistortImagePoints(camera, std::span(&pixel, 1)).front();
            EXPECT_NEAR(plain.x, camera.cx() + camera.fx() * point[0] / point[2], 1e-6) << k;
        }
        const cv::Vec3d ray = RayAtPixel(camera, pixel.x, pixel.y);
        EXPECT_LT(cv::norm(ray - point / distance), 1e-9) << k;
    }
}

TEST(Camera, ExchangesValuesWithOpenCv) {
    const Camera camera = Lens();
    const std::vector<double> coefficients = camera.Distortion();
    EXPECT_EQ(coefficients, (std::vector<double>{-0.21, 0.08, 0.0012, -0.0009, -0.015}));
    EXPECT_STREQ(CameraModelName(camera), "plumb_bob");
    const Camera back = Camera::FromOpenCv(1600.0, 1200.0, camera.Matrix(), coefficients);
    EXPECT_EQ(back.values, camera.values);
    // OpenCV's longer vectors are taken while their further terms are zero.
    std::vector<double> eight = coefficients;
    eight.resize(8, 0.0);
    EXPECT_EQ(Camera::FromOpenCv(1600.0, 1200.0, camera.Matrix(), eight).values, camera.values);
    // The rational model's eight in OpenCV's order, k4, k5, k6 after k3.
    const Camera rational = RationalLens();
    const std::vector<double> d = rational.Distortion();
    EXPECT_EQ(d, (std::vector<double>{0.35, -0.04, 0.0012, -0.0009, 0.003, 0.62, 0.05, 0.004}));
    EXPECT_STREQ(CameraModelName(rational), "rational_polynomial");
    EXPECT_EQ(Camera::FromOpenCv(1600.0, 1200.0, rational.Matrix(), d).values, rational.values);
    // Terms beyond k6 (the thin prism) are not part of the camera.
    std::vector<double> twelve = d;
    twelve.resize(12, 0.0);
    EXPECT_EQ(Camera::FromOpenCv(1600.0, 1200.0, rational.Matrix(), twelve).values,
              rational.values);
    twelve[8] = 0.01;
    EXPECT_THROW(Camera::FromOpenCv(1600.0, 1200.0, rational.Matrix(), twelve),
                 std::invalid_argument);
}

TEST(Camera, SelectionsAreTheNamedGroups) {
    EXPECT_EQ(CameraSelection::OpenCvDefault().Count(), 9);
    EXPECT_EQ(CameraSelection::Rational().Count(), 12);
    EXPECT_FALSE(CameraSelection::OpenCvDefault().FreesAny(CameraSelection::RationalTerms()));
    EXPECT_EQ(CameraSelection::NoDistortion().Parameters(),
              (std::vector<CameraParameter>{CameraParameter::Fx, CameraParameter::Fy,
                                            CameraParameter::Cx, CameraParameter::Cy}));
    EXPECT_FALSE(CameraSelection::RadialOnly().Frees(CameraParameter::P1));
    EXPECT_TRUE(CameraSelection::RadialOnly().Frees(CameraParameter::K3));
    EXPECT_FALSE(CameraSelection::PrincipalPointFixed().Frees(CameraParameter::Cx));
    EXPECT_EQ(CameraSelection::FocalLengths().Without(CameraParameter::Fx),
              CameraSelection{CameraParameter::Fy});
    EXPECT_STREQ(CameraParameterName(CameraParameter::P2), "p2");
}

TEST(Camera, RatioErrorTakesTheCorrelationOfTheFocalLengths) {
    Camera camera = Camera::Centred(1000.0, 800.0, 1000.0, 1010.0);
    CameraCovariance covariance;
    covariance(CameraParameter::Fx, CameraParameter::Fx) = 4.0;
    covariance(CameraParameter::Fy, CameraParameter::Fy) = 4.0;
    const double independent = covariance.RatioStandardError(camera);
    // Var(fy/fx) = (fy/fx^2)^2 var fx + (1/fx)^2 var fy - 2 fy/fx^3 cov.
    EXPECT_NEAR(independent, std::sqrt(std::pow(1010.0 / 1e6, 2) * 4.0 + 4.0 / 1e6), 1e-15);
    covariance(CameraParameter::Fx, CameraParameter::Fy) = 3.9;
    covariance(CameraParameter::Fy, CameraParameter::Fx) = 3.9;
    // Focal lengths that move together leave their ratio better known.
    EXPECT_LT(covariance.RatioStandardError(camera), 0.25 * independent);
    EXPECT_EQ(covariance.StandardError(CameraParameter::Fx), 2.0);
    EXPECT_EQ(covariance.StandardError(CameraParameter::K1), 0.0);
}

} // namespace
} // namespace vrma
