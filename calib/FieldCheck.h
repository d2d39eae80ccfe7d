#pragma once
// How far the coefficient of a calibration can be trusted: the geometry of the field as
// the camera saw it, and a coefficient corrected for it.
//
// The coefficient (the mean of the node ratios) is exactly fy/fx only when the field
// faces the camera squarely; a tilt of theta about the image's vertical axis multiplies
// it by about 1 / cos(theta). This unit fits a camera (calib/Camera: its parameters and
// which of them a fit frees) to the same points:
//
// - the plane-to-image homography of the run's points (normalised DLT, refined by
//   Levenberg-Marquardt on the reprojection error), with its reprojection RMS;
// - with a nominal focal length f (taken as fx, in pixels) and the principal point at
//   the image centre: the pose of the field and the fy that the homography implies
//   (closed form from the orthogonality and equal length of the plane's axes, then a
//   least-squares fit of fy and the pose to the image points, then of fx too, held to f
//   within kFocalUncertainty: a photograph tilted about both axes fixes fx by its own
//   perspective and overrides a nominal value that is off). Its tilt is given about
//   the image's vertical axis (the plane's normal leaning toward +x) and its horizontal
//   axis (toward +y). A relative error eps of f changes the corrected coefficient by
//   about eps * sin^2(theta), theta the angle between the normal and the optical axis;
// - with further photographs of the same grid: fx and fy from all views together (the
//   principal point at the image centre, no skew, no distortion): the calibration of a
//   camera from several photographs (calib/CameraCalibration, every photograph used),
//   whose time and memory grow linearly in the views, with the standard error of fy/fx
//   from the covariance of the freed parameters (kept whole with the result). No focal
//   length is needed once two views are tilted differently; two views of nearly one pose
//   among them are no fault;
// - with a camera calibrated from several photographs: all of the above on the image
//   points with its lens taken out (UndistortImagePoints), its principal point for the
//   image centre and its fx for the nominal focal length;
// - the verdict: the bias of the plain coefficient (its value minus the better of the
//   two corrected ratios: the multi-view one when there is one) against the standard
//   error of that difference, sqrt(sem^2 + se^2). The corrected ratio is trusted only
//   when the fit behind it explains the points (its RMS within kTrustedRmsFactor times the
//   homography's plus kTrustedRmsFloorPx: a camera of a wrong focal length cannot) and
//   its standard error is below kTrustedShare of it; otherwise it is doubtful and no
//   warning advises it. The warning is on when the ratio is trusted, |bias| > 2 * that
//   standard error, and the bias shows in the coefficient's four decimals
//   (|bias| >= kShownBias: a smaller one changes nothing the table holds).
//
// A nominal focal length is taken only within what a camera of that image size can have,
// kFocalMinDiagonals to kFocalMaxDiagonals times the image's diagonal.
//
// The fits are those of the calibration of a camera (calib/BundleAdjustment): the single
// photograph's with the nominal focal length as one more residual of the same problem.
//
// Degenerate input (fewer than four points, all points on a line, views that together do
// not fix the focal lengths) throws FieldCheckError (or CameraFitError from the fit of the
// views): a code and its numbers, worded by the message catalogue; never a number.
#include "calib/Camera.h"
#include "data/Errors.h"
#include "data/PlanePoint.h"

#include <QtGlobal>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace vrma {

// Why the field check has no answer: a code and its numbers. what() is the wording of the
// message catalogue (data/CameraMessages.h), UTF-8.
class FieldCheckError : public CalcError {
public:
    enum class Code {
        OutOfRange,             // a result beyond the numbers
        PointsOnALine,          // `image` or scene points of `photo` on one line
        PointCountsDiffer,      // of `photo`
        TooFewPoints,           // fewer than four, of `photo`
        HomographyUndetermined, // of `photo`
        PointAtInfinity,
        HomographyDegenerate,
        FocalsUndetermined,
        TooFewPointsForGeometry,
        PoseUndetermined,  // of `photo`
        CameraOfOtherSize, // numbers: the camera's width, height, the image's
        FocalNotPositive,
        NoPoints,
        ImageSizeOutOfRange, // numbers: the largest side taken
        FocalImplausible,    // numbers: the focal length, width, height, lowest, highest
        GeometryUndetermined,
        FisheyeCamera, // the camera given is a fisheye: the check takes central projections
    };

    // `photo`: the photograph among several (1 the calibration's own), 0 for the
    // calibration's photograph alone; `image`: of the image's points (else the scene's).
    explicit FieldCheckError(Code code, int photo = 0, bool image = false,
                             std::array<double, 5> numbers = {});

    Code code() const { return code_; }
    int photo() const { return photo_; }
    bool image() const { return image_; }
    const std::array<double, 5>& numbers() const { return numbers_; }

private:
    Code code_;
    int photo_;
    bool image_;
    std::array<double, 5> numbers_;
};

// How well a nominal focal length is taken to be known (relative standard error).
constexpr double kFocalUncertainty = 0.01;
// The largest side of an image the check takes, pixels.
constexpr double kLargestImageSidePx = 1e6;
// The focal lengths a camera can have, in diagonals of its image: a lens of a tenth of the
// diagonal sees some 160 degrees across it, one of 100 diagonals about half a degree.
constexpr double kFocalMinDiagonals = 0.1;
constexpr double kFocalMaxDiagonals = 100.0;
// When a corrected ratio is trusted, and when its bias is shown (see above).
constexpr double kTrustedRmsFactor = 3.0;
constexpr double kTrustedRmsFloorPx = 0.1;
constexpr double kTrustedShare = 0.1;
constexpr double kShownBias = 0.00005;

// One further photograph of the grid: its scene and image points, paired k-th with k-th.
struct FieldView {
    std::vector<PlanePoint> scene;
    std::vector<PlanePoint> image;
};

// The run's photograph as the calibration window knows it: the points of both files, the
// image size and the focal length of the camera file, if one was chosen, or the camera
// calibrated from several photographs in this run.
struct FieldGeometry {
    std::vector<PlanePoint> scene;
    std::vector<PlanePoint> image;
    double width = 720.0;
    double height = 576.0;
    std::optional<double> focal;
    std::optional<Camera> camera; // calibrated from several photographs of this size
};

struct FieldCheckInput {
    // The run's points (the photograph the coefficient came from).
    std::span<const PlanePoint> scene;
    std::span<const PlanePoint> image;
    // The image size in pixels; the principal point is taken at its centre.
    double width = 720.0;
    double height = 576.0;
    // The nominal focal length in pixels (fx), if known.
    std::optional<double> focal;
    // Further photographs of the same grid.
    std::vector<FieldView> views;
    // A camera calibrated from several photographs (calib/PhotoCalibration), if one is
    // known: its lens is taken out of the image points (of the views too) before anything
    // else, its principal point stands for the image centre and its fx for the nominal
    // focal length (`focal` is then not looked at). Its image size must be this one.
    std::optional<Camera> camera;
    // The plain coefficient of the run: the mean ratio, its sd and the count of nodes.
    double coefficient = 0.0;
    double sd = 0.0;
    qint64 n = 0;
};

struct FieldCheck {
    // The plain coefficient, as the calibration computed it.
    double coefficient = 0.0;
    double sd = 0.0;
    qint64 n = 0;
    double sem = 0.0; // sd / sqrt(n)

    // The homography of the run's points, row by row, scaled so that its last element is
    // 1 (or its Frobenius norm, when that element is near 0), and its reprojection RMS.
    std::array<double, 9> homography{};
    double homographyRmsPx = 0.0;
    qint64 pointCount = 0;
    double principalX = 0.0; // the image centre, or the known camera's principal point
    double principalY = 0.0;
    // A known camera was used: the points were taken without its lens, and the homography,
    // the tilt and the corrected coefficient are those of the points so undistorted.
    bool cameraKnown = false;

    // The pose of the field in the run's photograph: known with a focal length, or from
    // the views when they fix fx.
    bool tiltKnown = false;
    double focalUsed = 0.0;         // the fx the tilt was found with (nominal or from the views)
    bool focalFromViews = false;    // no nominal focal length: fx of the multi-view fit
    double tiltVerticalDeg = 0.0;   // about the image's vertical axis, signed
    double tiltHorizontalDeg = 0.0; // about the image's horizontal axis, signed
    double tiltDeg = 0.0;           // between the field's normal and the optical axis
    double focalSensitivity = 0.0;  // sin^2(tiltDeg): d(ratio)/ratio per d(f)/f

    // With a nominal focal length: fy / f as the single photograph implies it, with the
    // camera of that fit and the covariance of the parameters it freed.
    std::optional<double> correctedCoefficient;
    std::optional<double> correctedSe;
    std::optional<double> correctedRmsPx;
    std::optional<Camera> correctedCamera;
    std::optional<CameraCovariance> correctedCovariance;

    // With further views: all photographs together.
    qint32 viewCount = 1;
    std::optional<double> multiviewFx;
    std::optional<double> multiviewFy;
    std::optional<double> multiviewRatio;
    std::optional<double> multiviewRatioSe;
    std::optional<double> multiviewRmsPx;
    std::optional<Camera> multiviewCamera;
    std::optional<CameraCovariance> multiviewCovariance;

    // The verdict (when a corrected ratio is known).
    std::optional<double> reference;      // the ratio the bias is measured against
    std::optional<double> referenceSe;    // its standard error
    std::optional<double> referenceRmsPx; // the RMS of the fit behind it
    std::optional<double> bias;           // coefficient - reference
    std::optional<double> biasSe;         // sqrt(sem^2 + referenceSe^2)
    bool referenceDoubtful = false;       // the fit behind the reference does not hold
    bool warning = false;                 // trusted, |bias| > 2 * biasSe and |bias| >= kShownBias
};

// The reprojection RMS (pixels) of the homography h (row by row) on the points.
double HomographyRms(const std::array<double, 9>& h, std::span<const PlanePoint> scene,
                     std::span<const PlanePoint> image);

// The focal lengths (pixels) a camera of that image size can have: from
// kFocalMinDiagonals to kFocalMaxDiagonals of its diagonal.
struct FocalRange {
    double low = 0.0;
    double high = 0.0;
    bool contains(double focal) const { return focal >= low && focal <= high; }
};
FocalRange PlausibleFocalLengths(double width, double height);

// The check of one calibration. Throws FieldCheckError (or CameraFitError) on degenerate
// input and on a focal length outside PlausibleFocalLengths.
FieldCheck CheckField(const FieldCheckInput& input);

} // namespace vrma
