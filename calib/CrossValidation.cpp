#include "calib/CrossValidation.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>

namespace vrma {

namespace {

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t m = values.size() / 2;
    return values.size() % 2 == 1 ? values[m] : 0.5 * (values[m - 1] + values[m]);
}

// One half: its calibration and its map at the whole set's distance.
struct Half {
    CameraCalibration calibration;
    ProjectionUncertainty map;
};

std::optional<Half> Calibrate(std::span<const BoardPhoto> photos, const CameraCalibration& whole,
                              const std::vector<size_t>& mine,
                              const CameraCalibrationOptions& options, double distance) {
    std::vector<BoardPhoto> half(photos.begin(), photos.end());
    for (BoardPhoto& photo : half)
        photo.leftOut = true;
    for (size_t k : mine)
        half[k].leftOut = false;
    CameraCalibrationOptions own = options;
    own.selection = whole.selection;
    own.held = whole.camera;
    own.judgeFounded = false;
    own.leaveOutByRms = false;
    try {
        Half result;
        result.calibration = CalibrateCamera(half, own);
        result.map = UncertaintyOf(half, result.calibration,
                                   InformationOf(half, result.calibration), distance);
        return result;
    } catch (const CameraFitError&) {
        return std::nullopt;
    }
}

// The rigid motion (rotation, then translation) that best carries the points `from` onto
// `to`.
struct Motion {
    cv::Matx33d rotation;
    cv::Vec3d translation;
};

Motion BestMotion(const std::vector<cv::Vec3d>& from, const std::vector<cv::Vec3d>& to) {
    cv::Vec3d mf(0, 0, 0), mt(0, 0, 0);
    for (size_t k = 0; k < from.size(); ++k) {
        mf += from[k];
        mt += to[k];
    }
    mf *= 1.0 / double(from.size());
    mt *= 1.0 / double(to.size());
    cv::Matx33d h = cv::Matx33d::zeros();
    for (size_t k = 0; k < from.size(); ++k)
        h += cv::Matx33d((from[k] - mf) * (to[k] - mt).t());
    cv::Mat w, u, vt;
    cv::SVD::compute(cv::Mat(h), w, u, vt);
    cv::Matx33d r = cv::Matx33d(cv::Mat(vt.t() * u.t()));
    if (cv::determinant(r) < 0.0) {
        cv::Mat v = vt.t();
        v.col(2) *= -1.0;
        r = cv::Matx33d(cv::Mat(v * u.t()));
    }
    return {r, mt - r * mf};
}

} // namespace

std::optional<CrossValidation> CrossValidate(std::span<const BoardPhoto> photos,
                                             const CameraCalibration& calibration,
                                             const ProjectionUncertainty& map,
                                             const CameraCalibrationOptions& options) {
    std::vector<size_t> first, second;
    for (size_t k = 0; k < calibration.photos.size() && k < photos.size(); ++k)
        if (calibration.photos[k].use == PhotoUse::Used)
            ((first.size() == second.size()) ? first : second).push_back(k);
    const size_t least = size_t(std::max(options.minimumPhotos, 2));
    if (second.size() < least)
        return std::nullopt;
    const std::optional<Half> a = Calibrate(photos, calibration, first, options, map.distance);
    const std::optional<Half> b = Calibrate(photos, calibration, second, options, map.distance);
    if (!a || !b)
        return std::nullopt;
    std::vector<cv::Vec3d> from, to;
    for (const UncertaintyCell& cell : map.cells)
        if (cell.seen) {
            from.push_back(PointAtPixel(a->calibration.camera, cell.x, cell.y, map.distance));
            to.push_back(PointAtPixel(b->calibration.camera, cell.x, cell.y, map.distance));
        }
    if (from.size() < 3)
        return std::nullopt;
    const Motion motion = BestMotion(from, to);
    CrossValidation result;
    std::vector<double> seen, ratios;
    const Camera& cb = b->calibration.camera;
    for (size_t k = 0; k < map.cells.size(); ++k) {
        const UncertaintyCell& cell = map.cells[k];
        const cv::Vec3d ray =
            motion.rotation * PointAtPixel(a->calibration.camera, cell.x, cell.y, map.distance) +
            motion.translation;
        const PlanePoint projected = ProjectPoint(cb, ray);
        const double difference = std::hypot(projected.x - cell.x, projected.y - cell.y);
        if (!std::isfinite(difference))
            return std::nullopt;
        result.cellsPx.push_back(difference);
        if (!cell.seen)
            continue;
        seen.push_back(difference);
        result.worstSeenPx = std::max(result.worstSeenPx, difference);
        const double sa = a->map.cells[k].sigmaPx, sb = b->map.cells[k].sigmaPx;
        ratios.push_back(difference / std::max(std::sqrt(sa * sa + sb * sb), 1e-12));
    }
    result.medianPx = Median(seen);
    result.ratio = Median(ratios);
    result.modelError = result.ratio > kModelErrorRatio && result.medianPx > kModelErrorFloorPx;
    return result;
}

} // namespace vrma
