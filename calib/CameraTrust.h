#pragma once
// How far a calibrated camera can be trusted, from the information of the photographs
// themselves (the Jacobian of every target at the solution):
// - the full information of the freed parameters of the camera and of every pose used,
//   and its inverse, their covariance (the residual variance of the fit as one coordinate's
//   error);
// - the inflation of each freed parameter: how many times its variance grows because the
//   others are freed beside it (1 / (1 - R^2)); a parameter the photographs cannot tell from
//   the others has an inflation in the thousands;
// - every photograph's leave-one-out influence: the change of each freed parameter that
//   leaving it out would make, linearised at the solution (one Gauss-Newton step of the
//   problem without it, its pose eliminated), in standard errors of that parameter.
#include "calib/CameraCalibration.h"

#include <opencv2/core/mat.hpp>
#include <span>
#include <vector>

namespace vrma {

// A photograph whose leave-one-out influence on some parameter is over this many standard
// errors moves the camera more than its share.
inline constexpr double kFragileShiftSe = 3.0;
// Freed parameters whose variance inflation is over this are not fixed apart by the
// photographs: the lens terms trade with the focal lengths.
inline constexpr double kDegenerateInflation = 1.0e4;

// The information of a calibration at its solution.
struct CameraInformation {
    std::vector<CameraParameter> freed; // the camera's freed parameters, in their order
    std::vector<size_t> photos;         // the photographs used, in their order
    // The normal matrix of all unknowns for one pixel of error: the freed parameters first,
    // then six for each pose used, in the order of `photos`.
    cv::Mat full;
    // The covariance of all unknowns: the inverse of `full` times the residual variance.
    cv::Mat covariance;
    // The freed parameters' normal matrix with every pose eliminated (one pixel of error).
    cv::Mat reduced;
    // Each photograph's own part of `reduced` and of the gradient of the squared residuals
    // (projected minus found) with its pose eliminated.
    std::vector<cv::Mat> ownReduced;
    std::vector<cv::Mat> ownGradient;
    double variance = 0.0; // of one coordinate: the calibration's sigmaPx squared
};

// Throws CameraFitError (NotConverged) when the information cannot be inverted: some
// unknown is not fixed by the targets at all. Without `covariance`, `full` and `covariance`
// stay empty (their size grows with the square of the photographs).
CameraInformation InformationOf(std::span<const BoardPhoto> photos,
                                const CameraCalibration& calibration, bool covariance = true);

struct PhotoInfluence {
    size_t photo = 0; // its index among the photographs given
    // The largest change of a freed parameter leaving it out makes, in standard errors, and
    // that parameter.
    double shiftSe = 0.0;
    CameraParameter parameter = CameraParameter::Fx;
    // The change of every freed parameter (in the order of CameraInformation::freed).
    std::vector<double> shift;
};

struct CameraTrust {
    double worstInflation = 1.0; // the largest variance inflation of a freed parameter
                                 // (of the rational model: of fx, fy, cx, cy)
    CameraParameter inflated = CameraParameter::Fx;
    std::vector<PhotoInfluence> influence; // of every photograph used, in their order

    bool Degenerate() const { return !(worstInflation < kDegenerateInflation); }
    // The photographs (indices among those given) that move some parameter by more than
    // kFragileShiftSe standard errors.
    std::vector<size_t> Fragile() const;
};

CameraTrust JudgeTrust(const CameraInformation& information);

} // namespace vrma
