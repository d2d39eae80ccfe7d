#include "calib/CameraTrust.h"

#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

using Code = CameraFitError::Code;

// One photograph's blocks: pose-pose `a`, pose-camera `b`, camera-camera `own`, and the
// gradients of its squared residuals by the pose and by the camera.
struct ViewBlocks {
    cv::Mat a, b, own, gradientPose, gradientCamera;
};

ViewBlocks BlocksOf(const BoardPhoto& photo, const Pose& pose, const Camera& camera,
                    const std::vector<CameraParameter>& freed) {
    const cv::Mat board = BoardObject(photo.board);
    const PoseVector vector = ToVector(pose);
    std::vector<cv::Point2d> projected;
    cv::Mat jacobian;
    ProjectBoard(camera.model, camera.values.data(), vector.data(), board, projected, &jacobian);
    const int p = int(freed.size());
    const int rows = jacobian.rows;
    cv::Mat jc(rows, p, CV_64F);
    for (int k = 0; k < p; ++k)
        jacobian.col(ProjectionColumn(freed[size_t(k)])).copyTo(jc.col(k));
    const cv::Mat jp = jacobian.colRange(0, kPoseParameterCount);
    cv::Mat residual(rows, 1, CV_64F);
    for (size_t k = 0; k < projected.size(); ++k) {
        residual.at<double>(int(2 * k)) = projected[k].x - photo.image[k].x;
        residual.at<double>(int(2 * k + 1)) = projected[k].y - photo.image[k].y;
    }
    return {jp.t() * jp, jp.t() * jc, jc.t() * jc, jp.t() * residual, jc.t() * residual};
}

cv::Mat Inverse(const cv::Mat& matrix) {
    // Scaled to a unit diagonal first: the focal lengths and the lens terms differ by
    // orders of magnitude.
    cv::Mat scale(matrix.rows, 1, CV_64F);
    for (int k = 0; k < matrix.rows; ++k) {
        const double d = matrix.at<double>(k, k);
        if (!(d > 0.0) || !std::isfinite(d))
            throw CameraFitError(Code::NotConverged);
        scale.at<double>(k) = 1.0 / std::sqrt(d);
    }
    const cv::Mat s = cv::Mat::diag(scale);
    cv::Mat inverse;
    if (cv::invert(s * matrix * s, inverse, cv::DECOMP_EIG) == 0.0)
        throw CameraFitError(Code::NotConverged);
    inverse = s * inverse * s;
    return 0.5 * (inverse + inverse.t());
}

} // namespace

CameraInformation InformationOf(std::span<const BoardPhoto> photos,
                                const CameraCalibration& calibration, bool covariance) {
    CameraInformation info;
    info.freed = calibration.selection.Parameters();
    info.variance = calibration.sigmaPx * calibration.sigmaPx;
    for (size_t k = 0; k < calibration.photos.size() && k < photos.size(); ++k)
        if (calibration.photos[k].use == PhotoUse::Used)
            info.photos.push_back(k);
    const int p = int(info.freed.size());
    const int n = int(info.photos.size());
    const int size = p + kPoseParameterCount * n;
    if (covariance)
        info.full = cv::Mat::zeros(size, size, CV_64F);
    info.reduced = cv::Mat::zeros(p, p, CV_64F);
    for (int v = 0; v < n; ++v) {
        const size_t k = info.photos[size_t(v)];
        const ViewBlocks blocks =
            BlocksOf(photos[k], calibration.photos[k].pose, calibration.camera, info.freed);
        if (covariance) {
            const int at = p + kPoseParameterCount * v;
            const cv::Rect poseBlock(at, at, kPoseParameterCount, kPoseParameterCount);
            blocks.a.copyTo(info.full(poseBlock));
            blocks.b.copyTo(info.full(cv::Rect(0, at, p, kPoseParameterCount)));
            cv::Mat(blocks.b.t()).copyTo(info.full(cv::Rect(at, 0, kPoseParameterCount, p)));
            info.full(cv::Rect(0, 0, p, p)) += blocks.own;
        }
        cv::Mat x, y;
        if (!cv::solve(blocks.a, blocks.b, x, cv::DECOMP_CHOLESKY) ||
            !cv::solve(blocks.a, blocks.gradientPose, y, cv::DECOMP_CHOLESKY))
            throw CameraFitError(Code::NotConverged);
        info.ownReduced.push_back(blocks.own - blocks.b.t() * x);
        info.ownGradient.push_back(blocks.gradientCamera - blocks.b.t() * y);
        info.reduced += info.ownReduced.back();
    }
    if (covariance)
        info.covariance = info.variance * Inverse(info.full);
    return info;
}

std::vector<size_t> CameraTrust::Fragile() const {
    std::vector<size_t> fragile;
    for (const PhotoInfluence& photo : influence)
        if (photo.shiftSe > kFragileShiftSe)
            fragile.push_back(photo.photo);
    return fragile;
}

CameraTrust JudgeTrust(const CameraInformation& info) {
    CameraTrust trust;
    const int p = int(info.freed.size());
    const cv::Mat inverse = Inverse(info.reduced);
    // The rational model's numerator and denominator trade against each other by design
    // (to first order only k1 - k4 counts): its lens terms are judged by the rest of the
    // camera they leave founded, not each by itself.
    bool rational = false;
    for (CameraParameter q : info.freed)
        rational = rational || CameraSelection::RationalTerms().Frees(q);
    for (int k = 0; k < p; ++k) {
        if (rational && CameraSelection::AnyLens().Frees(info.freed[size_t(k)]))
            continue;
        const double inflation = inverse.at<double>(k, k) * info.reduced.at<double>(k, k);
        if (!(inflation < trust.worstInflation)) {
            trust.worstInflation = inflation;
            trust.inflated = info.freed[size_t(k)];
        }
    }
    for (size_t v = 0; v < info.photos.size(); ++v) {
        PhotoInfluence photo;
        photo.photo = info.photos[v];
        // The problem without the photograph from the solution with it: its gradient is
        // what the others' sum to, with the sign turned.
        cv::Mat shift;
        if (!cv::solve(info.reduced - info.ownReduced[v], info.ownGradient[v], shift,
                       cv::DECOMP_SVD))
            throw CameraFitError(Code::NotConverged);
        for (int k = 0; k < p; ++k) {
            const double change = shift.at<double>(k);
            const double se = std::sqrt(info.variance * inverse.at<double>(k, k));
            photo.shift.push_back(change);
            const double inSe = se > 0.0 ? std::abs(change) / se : 0.0;
            if (inSe > photo.shiftSe) {
                photo.shiftSe = inSe;
                photo.parameter = info.freed[size_t(k)];
            }
        }
        trust.influence.push_back(std::move(photo));
    }
    return trust;
}

} // namespace vrma
