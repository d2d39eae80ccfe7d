#include "calib/ProjectionUncertainty.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>

namespace vrma {

namespace {

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t m = values.size() / 2;
    return values.size() % 2 == 1 ? values[m] : 0.5 * (values[m - 1] + values[m]);
}

// The rotation of a pose and the derivatives of its matrix by the rotation vector (3 x 9).
struct Rotation {
    cv::Matx33d matrix;
    cv::Mat derivative;
};

Rotation RotationOf(const Pose& pose) {
    Rotation r;
    cv::Mat m;
    cv::Rodrigues(cv::Mat(pose.rotation), m, r.derivative);
    r.matrix = cv::Matx33d(m);
    return r;
}

// The projection's derivatives (2 rows) of one point in the camera's frame: by the point
// (3 columns) and by the freed parameters, and the pixel itself.
struct PointProjection {
    cv::Mat byPoint;
    cv::Mat byCamera;
};

PointProjection Project(const Camera& camera, const cv::Vec3d& point,
                        const std::vector<CameraParameter>& freed) {
    const cv::Mat object(1, 1, CV_64FC3, cv::Scalar(point[0], point[1], point[2]));
    const PoseVector identity{};
    std::vector<cv::Point2d> projected;
    cv::Mat jacobian;
    ProjectBoard(camera.model, camera.values.data(), identity.data(), object, projected, &jacobian);
    PointProjection result;
    // At the identity pose the translation's columns are the derivatives by the point.
    result.byPoint = jacobian.colRange(3, 6).clone();
    result.byCamera.create(2, int(freed.size()), CV_64F);
    for (size_t k = 0; k < freed.size(); ++k)
        jacobian.col(ProjectionColumn(freed[k])).copyTo(result.byCamera.col(int(k)));
    return result;
}

} // namespace

double MedianBoardDistance(std::span<const BoardPhoto> photos,
                           const CameraCalibration& calibration) {
    std::vector<double> distances;
    for (size_t k = 0; k < calibration.photos.size() && k < photos.size(); ++k) {
        const PhotoFit& fit = calibration.photos[k];
        if (fit.use != PhotoUse::Used || photos[k].board.empty())
            continue;
        cv::Vec3d middle(0.0, 0.0, 0.0);
        for (const PlanePoint& p : photos[k].board)
            middle += cv::Vec3d(p.x, p.y, 0.0);
        middle *= 1.0 / double(photos[k].board.size());
        const cv::Vec3d inCamera = RotationOf(fit.pose).matrix * middle + fit.pose.translation;
        distances.push_back(cv::norm(inCamera));
    }
    return Median(distances);
}

cv::Vec3d PointAtPixel(const Camera& camera, double x, double y, double distance) {
    return RayAtPixel(camera, x, y) * distance;
}

ProjectionUncertainty UncertaintyOf(std::span<const BoardPhoto> photos,
                                    const CameraCalibration& calibration,
                                    const CameraInformation& info, std::optional<double> distance) {
    const Camera& camera = calibration.camera;
    ProjectionUncertainty map;
    map.distance = distance.value_or(MedianBoardDistance(photos, calibration));
    map.columns = kUncertaintyColumns;
    map.rows = std::max(2, int(std::lround(kUncertaintyColumns * camera.height / camera.width)));
    const double w = camera.width / map.columns;
    const double h = camera.height / map.rows;
    std::vector<bool> seen(size_t(map.columns * map.rows), false);
    for (size_t k : info.photos)
        for (const PlanePoint& q : photos[k].image) {
            const int c = std::clamp(int(q.x / w), 0, map.columns - 1);
            const int r = std::clamp(int(q.y / h), 0, map.rows - 1);
            seen[size_t(r) * size_t(map.columns) + size_t(c)] = true;
        }
    std::vector<Rotation> rotations;
    for (size_t k : info.photos)
        rotations.push_back(RotationOf(calibration.photos[k].pose));
    const int p = int(info.freed.size());
    const int n = int(info.photos.size());
    // The sigma of a cell: the derivatives of its pixel by every unknown, the
    // camera's directly, each pose's through its share of the averaged point.
    const auto sigmaOf = [&](const UncertaintyCell& cell) {
        const cv::Vec3d point = PointAtPixel(camera, cell.x, cell.y, map.distance);
        const PointProjection projection = Project(camera, point, info.freed);
        cv::Mat gradient = cv::Mat::zeros(2, info.full.cols, CV_64F);
        projection.byCamera.copyTo(gradient.colRange(0, p));
        for (int v = 0; v < n; ++v) {
            const Pose& pose = calibration.photos[info.photos[size_t(v)]].pose;
            const cv::Vec3d onBoard = rotations[size_t(v)].matrix.t() * (point - pose.translation);
            cv::Mat byPose(3, kPoseParameterCount, CV_64F);
            for (int j = 0; j < 3; ++j) {
                const cv::Mat d = rotations[size_t(v)].derivative.row(j).reshape(1, 3);
                cv::Mat(d * cv::Mat(onBoard)).copyTo(byPose.col(j));
            }
            cv::Mat(cv::Mat::eye(3, 3, CV_64F)).copyTo(byPose.colRange(3, 6));
            const int at = p + kPoseParameterCount * v;
            cv::Mat(projection.byPoint * byPose / double(n))
                .copyTo(gradient.colRange(at, at + kPoseParameterCount));
        }
        const cv::Mat covariance = gradient * info.covariance * gradient.t();
        const double a = covariance.at<double>(0, 0), b = covariance.at<double>(0, 1),
                     d = covariance.at<double>(1, 1);
        const double largest = 0.5 * (a + d) + std::sqrt(0.25 * (a - d) * (a - d) + b * b);
        return std::sqrt(std::max(largest, 0.0));
    };
    // The cells are independent of each other: a row of them at a time on OpenCV's threads
    // (the same sums in the same order as one after the other).
    map.cells.resize(size_t(map.columns) * size_t(map.rows));
    cv::parallel_for_(cv::Range(0, map.rows), [&](const cv::Range& rows) {
        for (int r = rows.start; r < rows.end; ++r)
            for (int c = 0; c < map.columns; ++c) {
                const size_t index = size_t(r) * size_t(map.columns) + size_t(c);
                UncertaintyCell& cell = map.cells[index];
                cell = {(c + 0.5) * w - 0.5, (r + 0.5) * h - 0.5, 0.0, seen[index]};
                const cv::Vec3d ray = RayAtPixel(camera, cell.x, cell.y);
                cell.outside =
                    !std::isfinite(ray[0]) || !std::isfinite(ray[1]) || !std::isfinite(ray[2]);
                if (!cell.outside)
                    cell.sigmaPx = sigmaOf(cell);
            }
    });
    std::vector<double> seenSigmas;
    for (const UncertaintyCell& cell : map.cells) {
        if (cell.outside)
            continue;
        if (!std::isfinite(cell.sigmaPx))
            throw CameraFitError(CameraFitError::Code::NotConverged);
        map.worstFramePx = std::max(map.worstFramePx, cell.sigmaPx);
        if (cell.seen) {
            map.worstSeenPx = std::max(map.worstSeenPx, cell.sigmaPx);
            seenSigmas.push_back(cell.sigmaPx);
        }
    }
    map.medianSeenPx = Median(seenSigmas);
    return map;
}

} // namespace vrma
