#include "calib/Camera.h"

#include <algorithm>
#include <cmath>
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
    return (*this)[CameraParameter::K4] != 0.0 || (*this)[CameraParameter::K5] != 0.0 ||
           (*this)[CameraParameter::K6] != 0.0;
}

std::vector<double> Camera::Distortion() const {
    // The lens terms stand in the vector in the order of OpenCV's coefficients.
    const auto first = values.begin() + int(CameraParameter::K1);
    return {first, first + (Rational() ? 8 : 5)};
}

bool Camera::HasLens() const {
    const std::vector<double> d = Distortion();
    return std::any_of(d.begin(), d.end(), [](double v) { return v != 0.0; });
}

std::vector<CameraParameter> ModelParameters(const Camera& camera, CameraSelection selection) {
    if (camera.Rational() || selection.FreesAny(CameraSelection::RationalTerms()))
        return {kCameraParameters.begin(), kCameraParameters.end()};
    return {kPinholeParameters.begin(), kPinholeParameters.end()};
}

const char* CameraModelName(const Camera& camera) {
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

void ProjectBoard(const double* camera, const double* pose, const cv::Mat& board,
                  std::vector<cv::Point2d>& projected, cv::Mat* jacobian) {
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

namespace {

std::vector<PlanePoint> Project(const Camera& camera, const Pose& pose,
                                std::span<const PlanePoint> field, cv::Mat* jacobian) {
    std::vector<cv::Point2d> projected;
    ProjectBoard(camera.values.data(), ToVector(pose).data(), BoardObject(field), projected,
                 jacobian);
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

} // namespace vrma
