#include "calib/Camera.h"

#include <algorithm>
#include <ceres/jet.h>
#include <ceres/rotation.h>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace vrma {

const char* CameraParameterName(CameraParameter parameter) {
    static constexpr const char* kNames[kCameraParameterCount] = {
        "fx", "fy", "cx", "cy", "k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6"};
    return kNames[size_t(parameter)];
}

std::vector<CameraParameter> CameraSelection::Parameters() const {
    std::vector<CameraParameter> out;
    for (CameraParameter p : kCameraParameters)
        if (Frees(p))
            out.push_back(p);
    return out;
}

Camera Camera::Centred(double width, double height, double fx, double fy) {
    Camera camera;
    camera.width = width;
    camera.height = height;
    camera[CameraParameter::Fx] = fx;
    camera[CameraParameter::Fy] = fy;
    camera[CameraParameter::Cx] = width / 2.0;
    camera[CameraParameter::Cy] = height / 2.0;
    return camera;
}

CameraInterior CameraFileInterior(const Camera& camera) {
    return {camera.fx(), camera.cx() + kCameraFilePixelShift, camera.cy() + kCameraFilePixelShift};
}

cv::Matx33d Camera::Matrix() const {
    return {fx(), 0.0, cx(), 0.0, fy(), cy(), 0.0, 0.0, 1.0};
}

bool Camera::Rational() const {
    return !Fisheye() &&
           ((*this)[CameraParameter::K4] != 0.0 || (*this)[CameraParameter::K5] != 0.0 ||
            (*this)[CameraParameter::K6] != 0.0);
}

std::vector<double> Camera::Distortion() const {
    if (Fisheye())
        return {(*this)[CameraParameter::K1], (*this)[CameraParameter::K2],
                (*this)[CameraParameter::K3], (*this)[CameraParameter::K4]};
    // The lens terms stand in the vector in the order of OpenCV's coefficients.
    const auto first = values.begin() + int(CameraParameter::K1);
    return {first, first + (Rational() ? 8 : 5)};
}

bool Camera::HasLens() const {
    const std::vector<double> d = Distortion();
    return std::any_of(d.begin(), d.end(), [](double v) { return v != 0.0; });
}

std::vector<CameraParameter> ModelParameters(const Camera& camera, CameraSelection selection) {
    if (camera.Fisheye() || selection.Model() == CameraModel::Fisheye)
        return CameraSelection::Fisheye().Parameters();
    if (camera.Rational() || selection.FreesAny(CameraSelection::RationalTerms()))
        return {kCameraParameters.begin(), kCameraParameters.end()};
    return {kPinholeParameters.begin(), kPinholeParameters.end()};
}

const char* CameraModelName(const Camera& camera) {
    if (camera.Fisheye())
        return "equidistant";
    return camera.Rational() ? "rational_polynomial" : "plumb_bob";
}

Camera Camera::FromOpenCv(double width, double height, const cv::Matx33d& matrix,
                          std::span<const double> distortion) {
    if (distortion.size() > 8 &&
        std::any_of(distortion.begin() + 8, distortion.end(), [](double v) { return v != 0.0; }))
        throw std::invalid_argument("Lens terms beyond k6 are not part of the camera model");
    Camera camera;
    camera.width = width;
    camera.height = height;
    camera[CameraParameter::Fx] = matrix(0, 0);
    camera[CameraParameter::Fy] = matrix(1, 1);
    camera[CameraParameter::Cx] = matrix(0, 2);
    camera[CameraParameter::Cy] = matrix(1, 2);
    for (size_t k = 0; k < std::min<size_t>(8, distortion.size()); ++k)
        camera.values[size_t(CameraParameter::K1) + k] = distortion[k];
    return camera;
}

double CameraCovariance::StandardError(CameraParameter p) const {
    return std::sqrt(std::max(0.0, (*this)(p, p)));
}

double CameraCovariance::RatioVariance(const Camera& camera) const {
    const double fx = camera.fx();
    const double fy = camera.fy();
    const double gx = -fy / (fx * fx);
    const double gy = 1.0 / fx;
    const CameraParameter x = CameraParameter::Fx;
    const CameraParameter y = CameraParameter::Fy;
    // (g' C) g, summed in that order.
    return (gx * (*this)(x, x) + gy * (*this)(y, x)) * gx +
           (gx * (*this)(x, y) + gy * (*this)(y, y)) * gy;
}

double CameraCovariance::RatioStandardError(const Camera& camera) const {
    return std::sqrt(std::max(0.0, RatioVariance(camera)));
}

PoseVector ToVector(const Pose& pose) {
    return {pose.rotation[0],    pose.rotation[1],    pose.rotation[2],
            pose.translation[0], pose.translation[1], pose.translation[2]};
}

Pose FromVector(const PoseVector& pose) {
    return {{pose[0], pose[1], pose[2]}, {pose[3], pose[4], pose[5]}};
}

cv::Mat BoardObject(std::span<const PlanePoint> board) {
    cv::Mat object(int(board.size()), 1, CV_64FC3);
    for (size_t k = 0; k < board.size(); ++k)
        object.at<cv::Vec3d>(int(k)) = {board[k].x, board[k].y, 0.0};
    return object;
}

namespace {

// The fisheye's intrinsics in the order the projection takes them: fx, fy, cx, cy, k1, k2,
// k3, k4.
constexpr int kFisheyeIntrinsics = 8;
constexpr std::array<CameraParameter, kFisheyeIntrinsics> kFisheyeOrder{
    CameraParameter::Fx, CameraParameter::Fy, CameraParameter::Cx, CameraParameter::Cy,
    CameraParameter::K1, CameraParameter::K2, CameraParameter::K3, CameraParameter::K4};

// theta_d of the equidistant fisheye.
template <typename T> T FisheyeAngle(const T* in, const T& theta) {
    const T t2 = theta * theta;
    const T t4 = t2 * t2;
    return theta * (1.0 + in[4] * t2 + in[5] * t4 + in[6] * t4 * t2 + in[7] * t4 * t4);
}

// One point of the board through the fisheye: `in` its intrinsics (kFisheyeOrder), `pose`
// the rotation vector and translation.
template <typename T> void FisheyePoint(const T* in, const T* pose, const double* point, T* uv) {
    const T board[3] = {T(point[0]), T(point[1]), T(point[2])};
    T p[3];
    ceres::AngleAxisRotatePoint(pose, board, p);
    p[0] += pose[3];
    p[1] += pose[4];
    p[2] += pose[5];
    const T rho2 = p[0] * p[0] + p[1] * p[1];
    T xd, yd;
    // On the axis (where OpenCV's own form takes x / z): the limit of theta_d / rho.
    if (rho2 > 1e-24 * p[2] * p[2]) {
        using std::atan2;
        using std::sqrt;
        const T rho = sqrt(rho2);
        const T scale = FisheyeAngle(in, atan2(rho, p[2])) / rho;
        xd = p[0] * scale;
        yd = p[1] * scale;
    } else {
        xd = p[0] / p[2];
        yd = p[1] / p[2];
    }
    uv[0] = in[0] * xd + in[2];
    uv[1] = in[1] * yd + in[3];
}

void ProjectFisheye(const double* camera, const double* pose, const cv::Mat& board,
                    std::vector<cv::Point2d>& projected, cv::Mat* jacobian) {
    const int n = board.rows;
    projected.resize(size_t(n));
    if (jacobian)
        *jacobian = cv::Mat::zeros(2 * n, kProjectionColumns, CV_64F);
    double in[kFisheyeIntrinsics];
    for (int i = 0; i < kFisheyeIntrinsics; ++i)
        in[i] = camera[int(kFisheyeOrder[size_t(i)])];
    using Jet = ceres::Jet<double, kPoseParameterCount + kFisheyeIntrinsics>;
    Jet inJ[kFisheyeIntrinsics], poseJ[kPoseParameterCount];
    for (int i = 0; i < kPoseParameterCount; ++i)
        poseJ[i] = Jet(pose[i], i);
    for (int i = 0; i < kFisheyeIntrinsics; ++i)
        inJ[i] = Jet(in[i], kPoseParameterCount + i);
    for (int k = 0; k < n; ++k) {
        const cv::Vec3d& point = board.at<cv::Vec3d>(k);
        if (!jacobian) {
            double uv[2];
            FisheyePoint(in, pose, point.val, uv);
            projected[size_t(k)] = {uv[0], uv[1]};
            continue;
        }
        Jet uv[2];
        FisheyePoint(inJ, poseJ, point.val, uv);
        projected[size_t(k)] = {uv[0].a, uv[1].a};
        for (int row = 0; row < 2; ++row) {
            double* d = jacobian->ptr<double>(2 * k + row);
            for (int c = 0; c < kPoseParameterCount; ++c)
                d[c] = uv[row].v[c];
            for (int i = 0; i < kFisheyeIntrinsics; ++i)
                d[ProjectionColumn(kFisheyeOrder[size_t(i)])] = uv[row].v[kPoseParameterCount + i];
        }
    }
}

// The angle off the axis of the ray a fisheye puts at distorted radius `rd` (normalised):
// Newton's on theta_d(theta) = rd, from theta = rd. Not a number where it finds none.
double FisheyeTheta(const Camera& camera, double rd) {
    double in[kFisheyeIntrinsics];
    for (int i = 0; i < kFisheyeIntrinsics; ++i)
        in[i] = camera[kFisheyeOrder[size_t(i)]];
    double theta = rd;
    for (int iteration = 0; iteration < 50; ++iteration) {
        const double t2 = theta * theta;
        const double slope =
            1.0 + t2 * (3.0 * in[4] + t2 * (5.0 * in[5] + t2 * (7.0 * in[6] + t2 * 9.0 * in[7])));
        const double step = (FisheyeAngle(in, theta) - rd) / slope;
        theta -= step;
        if (!std::isfinite(theta))
            break;
        if (std::abs(step) < 1e-15 * std::max(1.0, theta))
            return theta >= 0.0 ? theta : std::numeric_limits<double>::quiet_NaN();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace

void ProjectBoard(CameraModel model, const double* camera, const double* pose, const cv::Mat& board,
                  std::vector<cv::Point2d>& projected, cv::Mat* jacobian) {
    if (model == CameraModel::Fisheye && !board.empty()) {
        ProjectFisheye(camera, pose, board, projected, jacobian);
        return;
    }
    const cv::Matx33d matrix(camera[0], 0.0, camera[2], 0.0, camera[1], camera[3], 0.0, 0.0, 1.0);
    const cv::Vec<double, 8> lens(camera[4], camera[5], camera[6], camera[7], camera[8], camera[9],
                                  camera[10], camera[11]);
    const cv::Vec3d rotation(pose[0], pose[1], pose[2]);
    const cv::Vec3d translation(pose[3], pose[4], pose[5]);
    if (board.empty()) {
        projected.clear();
        if (jacobian)
            *jacobian = cv::Mat::zeros(0, kProjectionColumns, CV_64F);
    } else if (jacobian) {
        cv::projectPoints(board, rotation, translation, matrix, lens, projected, *jacobian);
    } else {
        cv::projectPoints(board, rotation, translation, matrix, lens, projected);
    }
}

PlanePoint ProjectPoint(const Camera& camera, const cv::Vec3d& point) {
    cv::Mat object(1, 1, CV_64FC3);
    object.at<cv::Vec3d>(0) = point;
    const PoseVector identity{};
    std::vector<cv::Point2d> projected;
    ProjectBoard(camera.model, camera.values.data(), identity.data(), object, projected, nullptr);
    return {projected[0].x, projected[0].y};
}

cv::Vec3d RayAtPixel(const Camera& camera, double x, double y) {
    if (!camera.Fisheye()) {
        const PlanePoint pixel{x, y};
        const PlanePoint plain = UndistortImagePoints(camera, std::span(&pixel, 1)).front();
        const cv::Vec3d ray((plain.x - camera.cx()) / camera.fx(),
                            (plain.y - camera.cy()) / camera.fy(), 1.0);
        return ray / cv::norm(ray);
    }
    const double xd = (x - camera.cx()) / camera.fx();
    const double yd = (y - camera.cy()) / camera.fy();
    const double rd = std::hypot(xd, yd);
    if (rd == 0.0)
        return {0.0, 0.0, 1.0};
    const double theta = FisheyeTheta(camera, rd);
    return {std::sin(theta) * xd / rd, std::sin(theta) * yd / rd, std::cos(theta)};
}

namespace {

std::vector<PlanePoint> Project(const Camera& camera, const Pose& pose,
                                std::span<const PlanePoint> field, cv::Mat* jacobian) {
    std::vector<cv::Point2d> projected;
    ProjectBoard(camera.model, camera.values.data(), ToVector(pose).data(), BoardObject(field),
                 projected, jacobian);
    std::vector<PlanePoint> out;
    out.reserve(projected.size());
    for (const cv::Point2d& p : projected)
        out.push_back({p.x, p.y});
    return out;
}

} // namespace

std::vector<PlanePoint> ProjectFieldPoints(const Camera& camera, const Pose& pose,
                                           std::span<const PlanePoint> field) {
    return Project(camera, pose, field, nullptr);
}

std::vector<PlanePoint> ProjectFieldPoints(const Camera& camera, const Pose& pose,
                                           std::span<const PlanePoint> field, cv::Mat& jacobian) {
    return Project(camera, pose, field, &jacobian);
}

std::vector<PlanePoint> UndistortImagePoints(const Camera& camera,
                                             std::span<const PlanePoint> image) {
    if (camera.Fisheye()) {
        std::vector<PlanePoint> points;
        points.reserve(image.size());
        for (const PlanePoint& p : image) {
            const cv::Vec3d ray = RayAtPixel(camera, p.x, p.y);
            points.push_back(ray[2] > 0.0 ? PlanePoint{camera.fx() * ray[0] / ray[2] + camera.cx(),
                                                       camera.fy() * ray[1] / ray[2] + camera.cy()}
                                          : PlanePoint{std::numeric_limits<double>::quiet_NaN(),
                                                       std::numeric_limits<double>::quiet_NaN()});
        }
        return points;
    }
    std::vector<cv::Point2d> in;
    in.reserve(image.size());
    for (const PlanePoint& p : image)
        in.emplace_back(p.x, p.y);
    std::vector<cv::Point2d> out;
    if (!in.empty())
        cv::undistortPoints(
            in, out, camera.Matrix(), camera.Distortion(), cv::noArray(), camera.Matrix(),
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-14));
    std::vector<PlanePoint> points;
    points.reserve(out.size());
    for (const cv::Point2d& p : out)
        points.push_back({p.x, p.y});
    return points;
}

bool SolveBoardPose(const Camera& camera, const cv::Mat& board,
                    const std::vector<cv::Point2d>& image, Pose& pose, bool useGuess, int method) {
    if (!camera.Fisheye())
        return cv::solvePnP(board, image, camera.Matrix(), camera.Distortion(), pose.rotation,
                            pose.translation, useGuess, method);
    // The targets within 85 degrees of the axis, undistorted.
    const double limit = std::cos(85.0 * std::numbers::pi / 180.0);
    std::vector<cv::Point3d> object;
    std::vector<cv::Point2d> plain;
    for (size_t k = 0; k < image.size(); ++k) {
        const cv::Vec3d ray = RayAtPixel(camera, image[k].x, image[k].y);
        if (!(ray[2] > limit))
            continue;
        object.emplace_back(board.at<cv::Vec3d>(int(k)));
        plain.emplace_back(ray[0] / ray[2], ray[1] / ray[2]);
    }
    if (object.size() < 4)
        return false;
    return cv::solvePnP(object, plain, cv::Matx33d::eye(), cv::noArray(), pose.rotation,
                        pose.translation, useGuess, method);
}

} // namespace vrma
