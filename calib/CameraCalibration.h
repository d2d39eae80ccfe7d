#pragma once
// The calibration of a camera from several photographs of one planar board: the camera
// (calib/Camera.h: focal lengths, principal point, OpenCV's lens terms) and the pose of the
// board in every photograph that minimise the reprojection error of all targets, with the
// covariance of the freed parameters and the standard error of fy/fx.
//
// How it is computed, in phases (calib/BundleAdjustment is the fit):
// - the check: the options, every photograph's points, and the size of the set: the size
//   most photographs taking part share (on a tie, that of the first of them); a photograph
//   of another size is left out (PhotoUse::LeftOutSize) and the others calibrate;
// - the start: fx and fy from OpenCV's initCameraMatrix2D (the principal point at the
//   image's centre, no lens), each pose from OpenCV's solvePnP; a fisheye's from the
//   equidistant projection (calib/FisheyeStart), its focal lengths and principal point
//   fitted first, then its terms freed;
// - the fit with rejection: the camera and all poses fitted; the RMS of each photograph; one
//   over kRmsLimitFactor times the median of the photographs used (and over kRmsFloorPx)
//   is left out and marked, and the fit runs again from where it stood, until no
//   photograph used is over the limit (every round leaves out all that are over at once; a
//   photograph left out is not taken back);
// - the covariance of the freed parameters: the information of the camera's parameters
//   with every pose eliminated photograph by photograph (the Schur complement of the
//   Jacobian at the solution), inverted and scaled by the residual variance, the sum of
//   squares over 2N - p (N points used, p the freed parameters and six for each pose);
// - the result: the camera, its covariance, fy/fx, and every photograph's use and RMS (one
//   left out by its RMS or by the user with its own pose under the camera found).
//
// Refused, by CameraFitError (a code and its numbers, never a number as the result): fewer
// than three photographs usable (or the options' minimum); a size that is not positive; a
// set that does not fix the focal lengths (every photograph of one pose, or all without
// tilt): their standard error, with the measuring error the fit leaves but no less than
// kFocalJudgedErrorPx, would be over kFocalUndeterminedShare of their value. Two
// photographs of nearly one pose among others fix nothing less than one and are welcome.
// A set whose information does not tell the freed parameters apart (calib/CameraTrust), or
// cannot be inverted with the rational model's terms, has the rational terms held, then
// every lens term, or is refused when even the rest are not told apart.
#include "calib/BundleAdjustment.h"
#include "calib/Camera.h"
#include "calib/CameraFitError.h"
#include "data/PlanePoint.h"

#include <optional>
#include <span>
#include <vector>

namespace vrma {

// A photograph's RMS over this factor times the median of the photographs used leaves it
// out.
inline constexpr double kRmsLimitFactor = 3.0;
// ... but never while it is within this (pixels): below it the RMS is the detection's own
// error, which differs between sharp and tilted views by more than the factor.
inline constexpr double kRmsFloorPx = 0.05;
// The focal lengths count as fixed by the photographs while their standard error is below
// this share of their value, with the measuring error the fit leaves, but no less than
// kFocalJudgedErrorPx (on exact points every tilt, however slight, fixes them in theory).
inline constexpr double kFocalUndeterminedShare = 0.1;
inline constexpr double kFocalJudgedErrorPx = 0.1;

// One photograph of the board: its targets found, each with its place on the board.
struct BoardPhoto {
    std::vector<PlanePoint> board; // on the board, scene units (the board's plane is z = 0)
    std::vector<PlanePoint> image; // in the photograph, pixels; the k-th is the k-th target
    int width = 0;                 // of the photograph, pixels
    int height = 0;
    // Left out by the user: not fitted (its size not checked), but its RMS given under the
    // camera found, with its own pose, like a photograph the RMS rule leaves out.
    bool leftOut = false;
};

struct CameraCalibrationOptions {
    // The parameters the fit frees (at least one).
    CameraSelection selection = CameraSelection::OpenCvDefault();
    // The values of the parameters the selection holds. Without it: the principal point at
    // the image's centre ((width - 1) / 2, (height - 1) / 2, as OpenCV takes it), no lens,
    // fx and fy from initCameraMatrix2D. The freed parameters start from OpenCV's estimate
    // whatever it holds.
    std::optional<Camera> held;
    // The fewest photographs usable (2 or more): two tilted differently fix the focal
    // lengths when nothing else is freed.
    int minimumPhotos = 3;
    // Whether photographs whose RMS is over the limit are left out (above); without it
    // every photograph with a pose is used however it fits.
    bool leaveOutByRms = true;
    // The solver's settings.
    SolverOptions solver;
    // Whether the photographs' information is judged (calib/CameraTrust): when the freed
    // parameters are not told apart by them, the rational terms and then all the lens terms
    // are held (their values of `held`, or none) and the rest fitted again; a set that does
    // not separate even those is refused (CameraFitError::Inseparable).
    bool judgeFounded = true;

    // Throws std::invalid_argument when the options cannot be used: a selection that frees
    // nothing, a minimum below two photographs, solver settings that cannot be used.
    void Check() const;
};

enum class PhotoUse {
    Used,
    LeftOutRms,    // its RMS over the limit
    LeftOutNoPose, // fewer than four targets, or no pose explains them
    LeftOutByUser, // BoardPhoto::leftOut
    NotFound,      // the board was not found in it (set by callers that detect it)
    LeftOutSize,   // of another size than the set's (CameraCalibration::camera's)
};

struct PhotoFit {
    PhotoUse use = PhotoUse::Used;
    // The RMS of its targets (pixels) under the camera found: with its pose of the fit, or
    // for a photograph left out by its RMS with its own pose fitted to that camera. Empty
    // when it has no pose.
    std::optional<double> rmsPx;
    Pose pose;
    size_t points = 0;
};

struct CameraCalibration {
    Camera camera;
    CameraSelection selection;
    CameraCovariance covariance;  // of the freed parameters; held ones have zero rows
    std::vector<PhotoFit> photos; // in the order given
    int used = 0;                 // photographs used
    int fits = 0;                 // fits run (1 + the rounds that left photographs out)
    size_t points = 0;            // targets used
    double rmsPx = 0.0;           // RMS of all targets used, pixels
    double sigmaPx = 0.0;         // sqrt(sum of squares / (2N - p)): one coordinate's error
    double ratio = 0.0;           // fy / fx
    double ratioSe = 0.0;         // its standard error (delta method, fx-fy correlation)
    // The lens terms asked for that the photographs did not found, held (empty: none).
    CameraSelection unfounded;
};

// Throws CameraFitError as above; std::invalid_argument when a photograph's two point lists
// differ in length, a point is not a number, or the options do not pass their Check().
CameraCalibration CalibrateCamera(std::span<const BoardPhoto> photos,
                                  const CameraCalibrationOptions& options = {});

} // namespace vrma
