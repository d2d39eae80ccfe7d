#pragma once
// The one fitting engine of the system: the least-squares fit of a camera (calib/Camera.h)
// and the poses of a board in photographs of it, to the targets found in them, and the
// information of the camera's parameters at the solution. The calibration of a camera from
// several photographs (calib/CameraCalibration) and the field check's fit of one
// photograph (calib/FieldCheck) both run on it.
//
// The problem is Ceres' Levenberg-Marquardt over the camera's parameter vector and every
// pose, with the projection of calib/Camera.h (ProjectBoard) and its derivatives as each
// photograph's residuals (projected minus found, x and y of every target). The poses are
// eliminated by the Schur complement (DENSE_SCHUR: one system of the camera's parameters
// whatever the number of photographs), so that time and memory grow linearly with the
// photographs. The parameters the selection holds keep their values exactly (a Ceres
// SubsetManifold). A prior on one parameter of the camera is one more residual block:
// weight * (value of the parameter - the value held to).
//
// The engine knows the camera only as its parameter vector and its projection, so that a
// camera model of other terms (a rational lens, a fisheye) changes calib/Camera and nothing
// here.
#include "calib/Camera.h"
#include "data/PlanePoint.h"

#include <opencv2/core/mat.hpp>
#include <optional>
#include <span>
#include <vector>

namespace vrma {

// The solver's settings (Ceres' Levenberg-Marquardt).
struct SolverOptions {
    int maxIterations = 200;
    double functionTolerance = 1e-14;
    double gradientTolerance = 1e-16;
    double parameterTolerance = 1e-14;
    // Throws std::invalid_argument when a setting cannot be used (no iteration, a tolerance
    // that is not a positive number).
    void Check() const;
};

// One photograph of the board in a fit.
struct FitView {
    cv::Mat board;                  // BoardObject: N x 1, CV_64FC3, z = 0
    std::vector<cv::Point2d> image; // pixels; the k-th is the k-th board point
    PoseVector pose{};              // the board's pose in it
    bool used = true;               // it takes part in the fit
    static FitView Of(std::span<const PlanePoint> board, std::span<const PlanePoint> image);
    size_t points() const { return image.size(); }
};

// A prior holding one parameter of the camera to a value: the residual weight * (parameter
// - value), in units of the targets' measuring error.
struct ParameterPrior {
    CameraParameter parameter = CameraParameter::Fx;
    double value = 0.0;
    double weight = 0.0;
};

// The fit of the camera's freed parameters and the poses of the views used, from their
// present values. Throws CameraFitError: NotConverged when Ceres finds no usable solution or
// a parameter comes out as no number, FocalsUndetermined for a focal length not positive.
void AdjustCamera(std::span<FitView> views, Camera& camera, CameraSelection selection,
                  const SolverOptions& options, const std::optional<ParameterPrior>& prior = {});

// The sum of squared residuals of a view at its pose under the camera; infinity when it is
// not a number or OpenCV cannot project it.
double SquaredError(const FitView& view, const Camera& camera);
double SquaredError(const FitView& view, const Camera& camera, const PoseVector& pose);

// The normal equations of the freed parameters (in the order of `freed`) for a measuring
// error of one pixel at the present solution, with the prior's row: `camera` is their block
// of the normal matrix of all unknowns, `reduced` the same with every pose eliminated, view
// by view (the Schur complement): its inverse is their covariance. Throws CameraFitError
// (NotConverged) when a view's pose is not fixed by its targets.
struct NormalEquations {
    cv::Mat camera;
    cv::Mat reduced;
};
NormalEquations CameraNormalEquations(std::span<const FitView> views, const Camera& camera,
                                      const std::vector<CameraParameter>& freed,
                                      const std::optional<ParameterPrior>& prior = {});

} // namespace vrma
