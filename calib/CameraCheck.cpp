#include "calib/CameraCheck.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/persistence.hpp>
#include <string>

namespace vrma {

namespace {

// The squared residuals of a photograph under the camera held, with its own pose; empty
// when it has none.
std::optional<double> HeldSquares(const BoardPhoto& photo, const Camera& camera) {
    if (photo.leftOut || photo.board.size() < 4)
        return std::nullopt;
    FitView view = FitView::Of(photo.board, photo.image);
    Pose pose;
    try {
        if (!SolveBoardPose(camera, view.board, view.image, pose, false, cv::SOLVEPNP_IPPE))
            return std::nullopt;
        SolveBoardPose(camera, view.board, view.image, pose, true, cv::SOLVEPNP_ITERATIVE);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    const double squares = SquaredError(view, camera, ToVector(pose));
    if (!std::isfinite(squares))
        return std::nullopt;
    return squares;
}

// The parameters a camera frees as it was saved: the lens terms it has.
CameraSelection SavedModel(const Camera& camera) {
    if (camera.Fisheye())
        return CameraSelection::Fisheye();
    CameraSelection selection = CameraSelection::NoDistortion();
    for (CameraParameter p : CameraSelection::AnyLens().Parameters())
        if (camera[p] != 0.0)
            selection = selection.With(p);
    return selection;
}

} // namespace

CameraCheck CheckCamera(std::span<const BoardPhoto> photos, const Camera& camera) {
    CameraCheck check;
    double squares = 0.0;
    size_t points = 0;
    for (const BoardPhoto& photo : photos) {
        if (photo.board.empty())
            continue;
        if (photo.width != int(camera.width) || photo.height != int(camera.height))
            throw CameraFitError(CameraFitError::Code::NotConverged);
        const std::optional<double> own = HeldSquares(photo, camera);
        if (!own)
            continue;
        squares += *own;
        points += photo.board.size();
        check.worstPx = std::max(check.worstPx, std::sqrt(*own / double(photo.board.size())));
        ++check.photos;
    }
    if (points == 0)
        throw CameraFitError(CameraFitError::Code::NotConverged);
    check.rmsPx = std::sqrt(squares / double(points));
    CameraCalibrationOptions options;
    options.selection = SavedModel(camera);
    options.leaveOutByRms = false;
    const CameraCalibration fitted = CalibrateCamera(photos, options);
    check.fittedRmsPx = fitted.rmsPx;
    const double p = options.selection.Count();
    const double fittedSquares = fitted.rmsPx * fitted.rmsPx * double(fitted.points);
    const double variance = fitted.sigmaPx * fitted.sigmaPx;
    check.excess = variance > 0.0 ? (squares - fittedSquares) / variance : 0.0;
    check.limit = 2.0 * p + kCheckSigmas * std::sqrt(4.0 * p);
    check.ok = check.excess <= check.limit;
    check.boundPx =
        std::sqrt(std::max(0.0, fittedSquares + check.limit * variance) / double(points));
    return check;
}

std::optional<Camera> ReadOpenCvCameraYaml(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    try {
        cv::FileStorage storage(bytes.toStdString(),
                                cv::FileStorage::READ | cv::FileStorage::MEMORY);
        cv::Mat matrix, distortion;
        int width = 0, height = 0;
        storage["camera_matrix"] >> matrix;
        storage["distortion_coefficients"] >> distortion;
        storage["image_width"] >> width;
        storage["image_height"] >> height;
        if (matrix.rows != 3 || matrix.cols != 3 || distortion.total() < 4 || width <= 0 ||
            height <= 0)
            return std::nullopt;
        matrix.convertTo(matrix, CV_64F);
        distortion.convertTo(distortion, CV_64F);
        const std::vector<double> terms(distortion.begin<double>(), distortion.end<double>());
        std::string model;
        storage["distortion_model"] >> model;
        Camera camera = Camera::FromOpenCv(width, height, cv::Matx33d(matrix),
                                           model == "equidistant" ? std::span<const double>()
                                                                  : std::span(terms));
        if (model == "equidistant") {
            if (terms.size() != 4)
                return std::nullopt;
            camera.model = CameraModel::Fisheye;
            camera[CameraParameter::K1] = terms[0];
            camera[CameraParameter::K2] = terms[1];
            camera[CameraParameter::K3] = terms[2];
            camera[CameraParameter::K4] = terms[3];
        }
        for (double v : camera.values)
            if (!std::isfinite(v))
                return std::nullopt;
        return camera;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

} // namespace vrma
