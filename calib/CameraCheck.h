#pragma once
// Whether a saved camera still explains new photographs of its board: every photograph's
// pose fitted with the camera held (OpenCV's solvePnP, refined), and the RMS of all their
// targets against what the photographs' own measuring error allows. The camera is fitted to
// the same photographs with the model the saved camera frees (p parameters); the squares the
// held camera adds over that fit, in units of the fit's residual variance, are chi-square
// with about 2p degrees of freedom while the saved camera is the photographs' (p of its own
// estimation error, p of the new fit's). It explains them while that is within
// 2p + kCheckSigmas standard deviations (sqrt(4p)).
#include "calib/CameraCalibration.h"

#include <QString>

namespace vrma {

inline constexpr double kCheckSigmas = 6.0;

struct CameraCheck {
    bool ok = false;
    double rmsPx = 0.0;       // of all targets, the camera held, pixels
    double worstPx = 0.0;     // the largest RMS of one photograph, the camera held
    double fittedRmsPx = 0.0; // of all targets under the camera fitted to them
    int photos = 0;           // photographs with a pose under the camera held
    double excess = 0.0;      // the squares added, in units of the fit's residual variance
    double limit = 0.0;       // what the excess may be
    double boundPx = 0.0;     // the RMS held at which the excess reaches the limit, pixels
};

// Throws CameraFitError as CalibrateCamera does (the fit to the photographs), and
// NotConverged when no photograph has a pose under the camera held or its size is not
// theirs.
CameraCheck CheckCamera(std::span<const BoardPhoto> photos, const Camera& camera);

// The camera of OpenCV's YAML (camera_matrix, distortion_coefficients, image_width,
// image_height), as calib/PhotoCalibration writes it. Empty when the file cannot be read or
// lacks any of them.
std::optional<Camera> ReadOpenCvCameraYaml(const QString& fileName);

} // namespace vrma
