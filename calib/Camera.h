#pragma once
// The camera that the fits, the field check and the files share: a pinhole camera of a
// given image size with focal lengths fx, fy and a principal point (cx, cy) in pixels, no
// skew, and a lens with OpenCV's terms (k1, k2, k3 radial, p1, p2 tangential, and the
// rational model's k4, k5, k6 in the radial factor's denominator), defined exactly as
// OpenCV defines them, so that values exchange with it.
//
// For a point (X, Y, Z) in the camera's frame, x = X / Z, y = Y / Z, r^2 = x^2 + y^2,
// g = (1 + k1 r^2 + k2 r^4 + k3 r^6) / (1 + k4 r^2 + k5 r^4 + k6 r^6):
//   x' = x g + 2 p1 x y + p2 (r^2 + 2 x^2)
//   y' = y g + p1 (r^2 + 2 y^2) + 2 p2 x y
//   u = fx x' + cx,  v = fy y' + cy.
// With k4 = k5 = k6 = 0 (the five-term model, "opencv") the denominator is exactly 1.
//
// The fisheye model (CameraModel::Fisheye) is OpenCV's equidistant one (cv::fisheye,
// Kannala-Brandt with four terms): for the angle theta of the ray off the axis,
// theta = atan2(sqrt(X^2 + Y^2), Z), so that rays beyond 90 degrees have their place too,
// theta_d = theta (1 + k1 theta^2 + k2 theta^4 + k3 theta^6 + k4 theta^8),
//   x' = theta_d X / sqrt(X^2 + Y^2),  y' = theta_d Y / sqrt(X^2 + Y^2)
// (x' = X / Z, y' = Y / Z on the axis), u = fx x' + cx, v = fy y' + cy. Its k1, k2, k3, k4
// are cv::fisheye's D and take the places of the parameters of those names (p1, p2, k5 and
// k6 unused); which model a camera is, is Camera::model, and which a fit makes, its
// CameraSelection's Model().
//
// Pixel coordinates, one convention for everything computed here (cx, cy, image points):
// OpenCV's, in which the centre of the first pixel is (0, 0), so that an image of W x H
// pixels spans -0.5 .. W - 0.5 and its centre is ((W - 1) / 2, (H - 1) / 2). The camera
// file counts from the first pixel's outer corner instead (its image centre is W / 2,
// H / 2); CameraFileInterior converts, at that file's boundary and nowhere else.
//
// The parameters are one vector in one order, stated once here: the focal lengths, the
// principal point, then the lens in the order of OpenCV's distortion coefficients. Which
// of them a fit frees is data (a CameraSelection), never a branch of the fit's code.
//
// A model is a group of parameters in that vector. Adding one:
// 1. append its parameters to CameraParameter and kCameraParameters (and their names in
//    CameraParameterName), after those already there: files, JSON and the covariance keep
//    the order of the vector, and a parameter's place never changes;
// 2. compute its projection in ProjectBoard with the derivatives of every parameter in its
//    column (ProjectionColumn), and its inverse in UndistortImagePoints and the exports;
// 3. name its selection (CameraSelection: the group and the model's whole selection), its
//    word for --model (tools/CameraCommand) and its place among the offered models
//    (calib/ModelChoice);
// 4. list its parameters for what is shown and written (ModelParameters) and name it in
//    the OpenCV YAML (CameraModelName).
// A model of another projection (the fisheye) is a CameraModel besides: its projection,
// its inverse (UndistortImagePoints, RayAtPixel) and its poses (SolveBoardPose); its terms
// may take the places of parameters of the same names.
// The fit (calib/BundleAdjustment), the covariance and the trust of the parameters know
// the camera only as the vector and the projection, and need no change.
#include "data/ExportFiles.h"
#include "data/PlanePoint.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <opencv2/core.hpp>
#include <span>
#include <vector>

namespace vrma {

enum class CameraParameter : int { Fx, Fy, Cx, Cy, K1, K2, P1, P2, K3, K4, K5, K6 };
inline constexpr int kCameraParameterCount = 12;

// The parameters in their order, for loops over all of them.
inline constexpr std::array<CameraParameter, kCameraParameterCount> kCameraParameters{
    CameraParameter::Fx, CameraParameter::Fy, CameraParameter::Cx, CameraParameter::Cy,
    CameraParameter::K1, CameraParameter::K2, CameraParameter::P1, CameraParameter::P2,
    CameraParameter::K3, CameraParameter::K4, CameraParameter::K5, CameraParameter::K6};

// The five-term model's parameters: the first nine.
inline constexpr int kPinholeParameterCount = 9;
inline constexpr std::span<const CameraParameter> kPinholeParameters{kCameraParameters.data(),
                                                                     kPinholeParameterCount};

// The name of a parameter as files and JSON spell it: "fx", "fy", "cx", "cy", "k1", "k2",
// "p1", "p2", "k3", "k4", "k5", "k6".
const char* CameraParameterName(CameraParameter parameter);

enum class CameraModel { Pinhole, Fisheye };

// The parameters a fit frees; the others keep the values they start with. It tells the
// model too: a fisheye selection frees the fisheye's terms.
class CameraSelection {
public:
    constexpr CameraSelection() = default; // nothing free
    constexpr CameraSelection(std::initializer_list<CameraParameter> parameters) {
        for (CameraParameter p : parameters)
            bits_ |= Bit(p);
    }

    // The named groups.
    static constexpr CameraSelection FocalLengths() {
        return {CameraParameter::Fx, CameraParameter::Fy};
    }
    static constexpr CameraSelection PrincipalPoint() {
        return {CameraParameter::Cx, CameraParameter::Cy};
    }
    static constexpr CameraSelection Radial() {
        return {CameraParameter::K1, CameraParameter::K2, CameraParameter::K3};
    }
    static constexpr CameraSelection Tangential() {
        return {CameraParameter::P1, CameraParameter::P2};
    }
    static constexpr CameraSelection Lens() { return Radial() | Tangential(); }
    // The rational model's terms of the denominator.
    static constexpr CameraSelection RationalTerms() {
        return {CameraParameter::K4, CameraParameter::K5, CameraParameter::K6};
    }
    // Every lens term of every model.
    static constexpr CameraSelection AnyLens() { return Lens() | RationalTerms(); }
    // The fisheye's four terms, and its whole model: with the focal lengths and the
    // principal point.
    static constexpr CameraSelection FisheyeTerms() {
        return FromBits(Bit(CameraParameter::K1) | Bit(CameraParameter::K2) |
                        Bit(CameraParameter::K3) | Bit(CameraParameter::K4) | kFisheyeBit);
    }
    static constexpr CameraSelection Fisheye() {
        return FocalLengths() | PrincipalPoint() | FisheyeTerms();
    }
    constexpr CameraModel Model() const {
        return (bits_ & kFisheyeBit) != 0 ? CameraModel::Fisheye : CameraModel::Pinhole;
    }

    // What OpenCV's calibrateCamera frees by default: the five-term model's nine.
    static constexpr CameraSelection OpenCvDefault() {
        return FocalLengths() | PrincipalPoint() | Lens();
    }
    // What it frees with CALIB_RATIONAL_MODEL: all twelve.
    static constexpr CameraSelection Rational() { return OpenCvDefault() | RationalTerms(); }
    constexpr bool FreesAny(CameraSelection group) const { return (bits_ & group.bits_) != 0; }
    // Simpler models.
    static constexpr CameraSelection NoDistortion() { return FocalLengths() | PrincipalPoint(); }
    static constexpr CameraSelection RadialOnly() {
        return FocalLengths() | PrincipalPoint() | Radial();
    }
    static constexpr CameraSelection PrincipalPointFixed() { return FocalLengths() | Lens(); }

    constexpr bool Frees(CameraParameter p) const { return (bits_ & Bit(p)) != 0; }
    constexpr CameraSelection With(CameraParameter p) const { return FromBits(bits_ | Bit(p)); }
    constexpr CameraSelection Without(CameraParameter p) const { return FromBits(bits_ & ~Bit(p)); }
    constexpr int Count() const {
        int n = 0;
        for (CameraParameter p : kCameraParameters)
            n += Frees(p) ? 1 : 0;
        return n;
    }
    // The freed parameters in their order.
    std::vector<CameraParameter> Parameters() const;

    friend constexpr CameraSelection operator|(CameraSelection a, CameraSelection b) {
        return FromBits(a.bits_ | b.bits_);
    }
    // The parameters both free.
    friend constexpr CameraSelection operator&(CameraSelection a, CameraSelection b) {
        return FromBits(a.bits_ & b.bits_);
    }
    constexpr CameraSelection Without(CameraSelection group) const {
        return FromBits(bits_ & ~group.bits_);
    }
    friend constexpr bool operator==(CameraSelection a, CameraSelection b) = default;

private:
    static constexpr std::uint32_t kFisheyeBit = 1U << 31U; // the model, not a parameter
    static constexpr std::uint32_t Bit(CameraParameter p) { return 1U << unsigned(p); }
    static constexpr CameraSelection FromBits(std::uint32_t bits) {
        CameraSelection s;
        s.bits_ = bits;
        return s;
    }
    std::uint32_t bits_ = 0;
};

struct Camera {
    double width = 0.0; // the image, pixels
    double height = 0.0;
    std::array<double, kCameraParameterCount> values{}; // in CameraParameter order
    CameraModel model = CameraModel::Pinhole;

    double& operator[](CameraParameter p) { return values[size_t(p)]; }
    double operator[](CameraParameter p) const { return values[size_t(p)]; }
    double fx() const { return (*this)[CameraParameter::Fx]; }
    double fy() const { return (*this)[CameraParameter::Fy]; }
    double cx() const { return (*this)[CameraParameter::Cx]; }
    double cy() const { return (*this)[CameraParameter::Cy]; }

    // A camera without a lens, its principal point at the image's centre.
    static Camera Centred(double width, double height, double fx, double fy);

    // OpenCV's camera matrix and distortion coefficients: k1, k2, p1, p2, k3, and k4, k5,
    // k6 after them when one of those is not zero (OpenCV's rational model); a fisheye's
    // k1, k2, k3, k4 (cv::fisheye's D).
    cv::Matx33d Matrix() const;
    std::vector<double> Distortion() const;
    bool Rational() const;
    bool Fisheye() const { return model == CameraModel::Fisheye; }
    bool HasLens() const;
    // The same values from OpenCV's matrix and coefficients (4, 5, 8 or more; terms beyond
    // k6 must be zero).
    static Camera FromOpenCv(double width, double height, const cv::Matx33d& matrix,
                             std::span<const double> distortion);
};

// The parameters shown and written for a camera fitted with `selection`: the five-term
// model's nine, and k4, k5, k6 when the selection frees one of them or the camera has them;
// a fisheye's fx, fy, cx, cy, k1, k2, k3, k4.
std::vector<CameraParameter> ModelParameters(const Camera& camera, CameraSelection selection);
// The name of the camera's lens model as OpenCV's and ROS's YAML spell it: "plumb_bob" for
// the five terms, "rational_polynomial" for the eight, "equidistant" for the fisheye.
const char* CameraModelName(const Camera& camera);

// What the camera file takes of the camera: fx and the principal point moved into the
// file's pixel coordinates (kCameraFilePixelShift added to cx and cy).
inline constexpr double kCameraFilePixelShift = 0.5;
CameraInterior CameraFileInterior(const Camera& camera);

// The covariance of a camera's parameters, in their order; rows and columns of parameters
// a fit held fixed are zero.
struct CameraCovariance {
    std::array<double, std::size_t(kCameraParameterCount) * kCameraParameterCount> values{};

    double& operator()(CameraParameter a, CameraParameter b) {
        return values[size_t(a) * kCameraParameterCount + size_t(b)];
    }
    double operator()(CameraParameter a, CameraParameter b) const {
        return values[size_t(a) * kCameraParameterCount + size_t(b)];
    }
    // The standard error of one parameter (0 for one held fixed).
    double StandardError(CameraParameter p) const;
    // The variance of fy / fx by the delta method, with the fx-fy covariance: g' C g for
    // the gradient g = (-fy / fx^2, 1 / fx). Not finite when the covariance is not.
    double RatioVariance(const Camera& camera) const;
    // Its square root (0 for a variance that rounding left below 0).
    double RatioStandardError(const Camera& camera) const;
};

// The pose of the field in one photograph: OpenCV's Rodrigues rotation vector and
// translation, from the field's frame (z = 0 on the field) to the camera's.
struct Pose {
    cv::Vec3d rotation;
    cv::Vec3d translation;
};

// The columns of a projection's Jacobian, as OpenCV's projectPoints lays them out: the
// pose's rotation (0..2) and translation (3..5), then the camera's parameters in their
// order.
inline constexpr int kPoseParameterCount = 6;
constexpr int ProjectionColumn(CameraParameter parameter) {
    return kPoseParameterCount + int(parameter);
}
inline constexpr int kProjectionColumns = kPoseParameterCount + kCameraParameterCount;

// A pose as one vector: the rotation vector, then the translation.
using PoseVector = std::array<double, kPoseParameterCount>;
PoseVector ToVector(const Pose& pose);
Pose FromVector(const PoseVector& pose);

// Points of a board (z = 0) as the projection takes them: N x 1, CV_64FC3.
cv::Mat BoardObject(std::span<const PlanePoint> board);

// The projection of the system, in one place: the points of a board (BoardObject) through
// the camera whose parameters are `camera` (kCameraParameterCount values in their order),
// at the pose `pose` (PoseVector), in pixels; with `jacobian`, its derivatives: two rows a
// point (x, then y) and kProjectionColumns columns. The fits, the field check and the
// pictures all project through it, so that a camera model of other terms is one change
// here and in the parameters above. OpenCV's projectPoints with the lens of its eight
// distortion coefficients (k4, k5, k6 of zero give exactly the five-term projection); for
// the fisheye, cv::fisheye::projectPoints's projection with theta measured from the axis
// (above), its derivatives by Ceres's automatic differentiation. The board's points may
// stand off its plane (z not 0).
void ProjectBoard(CameraModel model, const double* camera, const double* pose, const cv::Mat& board,
                  std::vector<cv::Point2d>& projected, cv::Mat* jacobian);

// A point in the camera's frame seen through the camera, in pixels.
PlanePoint ProjectPoint(const Camera& camera, const cv::Vec3d& point);
// The direction (unit length) of the ray the camera sees at a pixel; not a number where no
// ray lands.
cv::Vec3d RayAtPixel(const Camera& camera, double x, double y);

// Points of the field (z = 0) seen through the camera at the pose, in pixels.
std::vector<PlanePoint> ProjectFieldPoints(const Camera& camera, const Pose& pose,
                                           std::span<const PlanePoint> field);

// The same points with their derivatives: `jacobian` gets two rows a point (x, then y)
// and kProjectionColumns columns.
std::vector<PlanePoint> ProjectFieldPoints(const Camera& camera, const Pose& pose,
                                           std::span<const PlanePoint> field, cv::Mat& jacobian);
// Image points (pixels) with the lens taken out: where the same rays meet the image of the
// camera without its lens (same fx, fy, cx, cy). OpenCV's iterative inverse; for the
// fisheye, Newton's on theta_d, and not a number for a ray 90 degrees or more off the axis.
std::vector<PlanePoint> UndistortImagePoints(const Camera& camera,
                                             std::span<const PlanePoint> image);

// The pose of a board (BoardObject) whose targets the camera sees at `image`, by OpenCV's
// solvePnP with `method` (from `pose` with `useGuess`): a fisheye's targets are undistorted
// first (those within 85 degrees of the axis). False when it finds none; throws
// cv::Exception as solvePnP does.
bool SolveBoardPose(const Camera& camera, const cv::Mat& board,
                    const std::vector<cv::Point2d>& image, Pose& pose, bool useGuess, int method);

} // namespace vrma
