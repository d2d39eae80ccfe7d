#include "calib/CrossValidation.h"

#include <algorithm>
#include <cmath>
#include <limits>
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
// `to` in space (Kabsch's method).
struct Motion {
    cv::Matx33d rotation;
    cv::Vec3d translation;
};

Motion BestMotion(const std::vector<cv::Point3d>& from, const std::vector<cv::Point3d>& to) {
    cv::Vec3d mf(0, 0, 0), mt(0, 0, 0);
    for (size_t k = 0; k < from.size(); ++k) {
        mf += cv::Vec3d(from[k]);
        mt += cv::Vec3d(to[k]);
    }
    mf *= 1.0 / double(from.size());
    mt *= 1.0 / double(to.size());
    cv::Matx33d h = cv::Matx33d::zeros();
    for (size_t k = 0; k < from.size(); ++k)
        h += cv::Matx33d((cv::Vec3d(from[k]) - mf) * (cv::Vec3d(to[k]) - mt).t());
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

// The rigid motion that carries the points `from` (the first camera's, at the cells seen) to
// where the second camera projects them nearest to `pixels`, each pixel's difference in
// units of its standard deviation `sigmas`: from the motion in space, refined by
// Gauss-Newton steps in the second camera's pixels.
Motion PixelMotion(const std::vector<cv::Point3d>& from, const std::vector<cv::Point3d>& to,
                   const std::vector<cv::Point2d>& pixels, const std::vector<double>& sigmas,
                   const Camera& second) {
    const Motion start = BestMotion(from, to);
    cv::Mat rotation, translation(start.translation);
    cv::Rodrigues(cv::Mat(start.rotation), rotation);
    double last = std::numeric_limits<double>::infinity();
    for (int step = 0; step < 20; ++step) {
        std::vector<cv::Point2d> projected;
        cv::Mat jacobian;
        const PoseVector pose{rotation.at<double>(0),    rotation.at<double>(1),
                              rotation.at<double>(2),    translation.at<double>(0),
                              translation.at<double>(1), translation.at<double>(2)};
        ProjectBoard(second.model, second.values.data(), pose.data(), cv::Mat(from), projected,
                     &jacobian);
        cv::Mat a = cv::Mat::zeros(6, 6, CV_64F), g = cv::Mat::zeros(6, 1, CV_64F);
        double sum = 0.0;
        for (size_t k = 0; k < projected.size(); ++k) {
            const double w = 1.0 / (sigmas[k] * sigmas[k]);
            for (int c = 0; c < 2; ++c) {
                const cv::Mat row = jacobian.row(int(2 * k) + c).colRange(0, 6);
                const double r =
                    c == 0 ? pixels[k].x - projected[k].x : pixels[k].y - projected[k].y;
                a += w * row.t() * row;
                g += w * r * row.t();
                sum += w * r * r;
            }
        }
        cv::Mat delta;
        if (!std::isfinite(sum) || !(sum < last) || !cv::solve(a, g, delta, cv::DECOMP_SVD))
            break;
        last = sum;
        rotation += delta.rowRange(0, 3);
        translation += delta.rowRange(3, 6);
    }
    cv::Mat matrix;
    cv::Rodrigues(rotation, matrix);
    return {cv::Matx33d(matrix), cv::Vec3d(translation)};
}
// The two halves `first` and `second` compared.
std::optional<CrossValidation>
Compare(std::span<const BoardPhoto> photos, const CameraCalibration& calibration,
        const ProjectionUncertainty& map, const CameraCalibrationOptions& options,
        const std::vector<size_t>& first, const std::vector<size_t>& second) {
    const size_t least = size_t(std::max(options.minimumPhotos, 2));
    if (first.size() < least || second.size() < least)
        return std::nullopt;
    const std::optional<Half> a = Calibrate(photos, calibration, first, options, map.distance);
    const std::optional<Half> b = Calibrate(photos, calibration, second, options, map.distance);
    if (!a || !b)
        return std::nullopt;
    std::vector<cv::Point3d> from, to;
    std::vector<cv::Point2d> pixels;
    std::vector<double> sigmas;
    // Where either half's lens sees no ray (a circular fisheye's corners) there is nothing to
    // compare.
    const auto outside = [&](size_t k) {
        return map.cells[k].outside || a->map.cells[k].outside || b->map.cells[k].outside;
    };
    for (size_t k = 0; k < map.cells.size(); ++k) {
        const UncertaintyCell& cell = map.cells[k];
        if (!cell.seen || outside(k))
            continue;
        from.emplace_back(PointAtPixel(a->calibration.camera, cell.x, cell.y, map.distance));
        to.emplace_back(PointAtPixel(b->calibration.camera, cell.x, cell.y, map.distance));
        pixels.emplace_back(cell.x, cell.y);
        sigmas.push_back(
            std::max(std::hypot(a->map.cells[k].sigmaPx, b->map.cells[k].sigmaPx), 1e-12));
    }
    // Six unknowns of the motion, two equations a cell.
    if (from.size() < 4)
        return std::nullopt;
    const Motion motion = PixelMotion(from, to, pixels, sigmas, b->calibration.camera);
    CrossValidation result;
    std::vector<double> seen, ratios;
    const Camera& cb = b->calibration.camera;
    for (size_t k = 0; k < map.cells.size(); ++k) {
        const UncertaintyCell& cell = map.cells[k];
        if (outside(k)) {
            result.cellsPx.push_back(-1.0);
            continue;
        }
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
        ratios.push_back(
            difference /
            std::max(std::hypot(a->map.cells[k].sigmaPx, b->map.cells[k].sigmaPx), 1e-12));
    }
    result.medianPx = Median(seen);
    result.ratio = Median(ratios);
    result.modelError = result.ratio > kModelErrorRatio;
    return result;
}

} // namespace

std::optional<CrossValidation> CrossValidate(std::span<const BoardPhoto> photos,
                                             const CameraCalibration& calibration,
                                             const ProjectionUncertainty& map,
                                             const CameraCalibrationOptions& options) {
    std::vector<size_t> used;
    for (size_t k = 0; k < calibration.photos.size() && k < photos.size(); ++k)
        if (calibration.photos[k].use == PhotoUse::Used)
            used.push_back(k);
    // Alternate photographs, and the first half against the second: photographs taken in
    // turn see much the same from one to the next, so that the halves in order see the frame
    // differently, where a lens the model does not describe shows most.
    std::vector<size_t> odd, even, early, late;
    for (size_t j = 0; j < used.size(); ++j) {
        (j % 2 == 0 ? even : odd).push_back(used[j]);
        (j < (used.size() + 1) / 2 ? early : late).push_back(used[j]);
    }
    std::optional<CrossValidation> worst;
    for (const auto& [first, second] : {std::pair{&even, &odd}, std::pair{&early, &late}}) {
        std::optional<CrossValidation> split =
            Compare(photos, calibration, map, options, *first, *second);
        if (split && (!worst || split->ratio > worst->ratio))
            worst = std::move(split);
    }
    return worst;
}

} // namespace vrma
