#include "calib/FieldCheck.h"

#include "calib/BundleAdjustment.h"
#include "calib/CameraCalibration.h"
#include "data/CameraMessages.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <stdexcept>

namespace vrma {

namespace {

QString Words(FieldCheckError::Code code, int photo, bool image, const std::array<double, 5>& n) {
    using Code = FieldCheckError::Code;
    switch (code) {
    case Code::OutOfRange:
        return messages::FieldOutOfRange();
    case Code::PointsOnALine:
        return messages::PointsOnALine(image, photo);
    case Code::PointCountsDiffer:
        return messages::PointCountsDiffer(photo);
    case Code::TooFewPoints:
        return messages::TooFewPointsForHomography(photo);
    case Code::HomographyUndetermined:
        return messages::HomographyUndetermined(photo);
    case Code::PointAtInfinity:
        return messages::PointAtInfinity();
    case Code::HomographyDegenerate:
        return messages::HomographyDegenerate();
    case Code::FocalsUndetermined:
        return messages::FocalsUndetermined();
    case Code::TooFewPointsForGeometry:
        return messages::TooFewPointsForGeometry();
    case Code::PoseUndetermined:
        return messages::PoseUndetermined(photo);
    case Code::CameraOfOtherSize:
        return messages::CameraOfOtherSize(n[0], n[1], n[2], n[3]);
    case Code::FocalNotPositive:
        return messages::FocalNotPositive();
    case Code::NoPoints:
        return messages::NoPointsForHomography();
    case Code::ImageSizeOutOfRange:
        return messages::ImageSizeOutOfRange(n[0]);
    case Code::FocalImplausible:
        return messages::FocalImplausible(n[0], n[1], n[2], n[3], n[4]);
    case Code::GeometryUndetermined:
        return messages::FieldGeometryUndetermined();
    case Code::FisheyeCamera:
        return messages::FisheyeCameraRefused();
    }
    return messages::FieldGeometryUndetermined();
}

} // namespace

FieldCheckError::FieldCheckError(Code code, int photo, bool image, std::array<double, 5> numbers)
    : CalcError(Words(code, photo, image, numbers).toStdString()), code_(code), photo_(photo),
      image_(image), numbers_(numbers) {}

namespace {

using Code = FieldCheckError::Code;

// The smallest eigenvalue of the normal matrix of the freed parameters, scaled to a unit
// diagonal, below which a parameter is taken as not determined by the points.
constexpr double kDetermined = 1e-10;

// The single photograph's fit is taken to its optimum: its focal lengths and the field's
// distance trade off along a flat valley, where the solver's usual tolerances stop short.
SolverOptions SinglePhotoSolver() {
    SolverOptions options;
    options.functionTolerance = 1e-20;
    options.gradientTolerance = 1e-20;
    options.parameterTolerance = 1e-20;
    return options;
}

[[noreturn]] void Fail(Code code, int photo = 0) {
    throw FieldCheckError(code, photo);
}

double Finite(double value) {
    if (!std::isfinite(value))
        Fail(Code::OutOfRange);
    return value;
}

double Deg(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

// The number of a photograph in messages among several (the run's own is the first), or 0
// for the run's photograph alone.
int PhotoNumber(size_t view, bool single) {
    return single ? 0 : int(view) + 1;
}

// One photograph as the fit sees it.
struct Points {
    std::vector<PlanePoint> field; // the scene points, on the plane z = 0
    std::vector<PlanePoint> image;
    cv::Matx33d homography;
};

// All points on one line (or one point): the plane's axes cannot be told apart.
void CheckSpread(std::span<const PlanePoint> points, bool image, int photo) {
    double mx = 0.0;
    double my = 0.0;
    for (const PlanePoint& p : points) {
        mx += Finite(p.x);
        my += Finite(p.y);
    }
    mx /= double(points.size());
    my /= double(points.size());
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (const PlanePoint& p : points) {
        sxx += (p.x - mx) * (p.x - mx);
        syy += (p.y - my) * (p.y - my);
        sxy += (p.x - mx) * (p.y - my);
    }
    Finite(sxx + syy + sxy);
    const double trace = sxx + syy;
    const double det = sxx * syy - sxy * sxy;
    // The smaller eigenvalue of the scatter against the larger one.
    const double disc = std::sqrt(std::max(0.0, trace * trace / 4.0 - det));
    const double large = trace / 2.0 + disc;
    const double small = trace / 2.0 - disc;
    if (!(large > 0.0) || !(small > 1e-12 * large))
        throw FieldCheckError(Code::PointsOnALine, photo, image);
}

std::vector<cv::Point2d> OpenCvPoints(std::span<const PlanePoint> points) {
    std::vector<cv::Point2d> out;
    out.reserve(points.size());
    for (const PlanePoint& p : points)
        out.emplace_back(p.x, p.y);
    return out;
}

Points MakePoints(std::span<const PlanePoint> scene, std::span<const PlanePoint> image, size_t view,
                  bool single) {
    const int photo = PhotoNumber(view, single);
    if (scene.size() != image.size())
        Fail(Code::PointCountsDiffer, photo);
    if (scene.size() < 4)
        Fail(Code::TooFewPoints, photo);
    CheckSpread(scene, false, photo);
    CheckSpread(image, true, photo);
    Points points;
    points.field.assign(scene.begin(), scene.end());
    points.image.assign(image.begin(), image.end());
    // Normalised DLT, then Levenberg-Marquardt on the reprojection error.
    cv::Mat h = cv::findHomography(OpenCvPoints(points.field), OpenCvPoints(points.image), 0);
    if (h.empty() || h.rows != 3 || h.cols != 3)
        Fail(Code::HomographyUndetermined, photo);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            points.homography(r, c) = Finite(h.at<double>(r, c));
    return points;
}

PlanePoint Apply(const cv::Matx33d& h, double x, double y) {
    const double w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    if (w == 0.0)
        Fail(Code::PointAtInfinity);
    return {Finite((h(0, 0) * x + h(0, 1) * y + h(0, 2)) / w),
            Finite((h(1, 0) * x + h(1, 1) * y + h(1, 2)) / w)};
}

// The two constraints a homography puts on (S/fx)^2 and (S/fy)^2: the plane's axes,
// K^-1 h1 and K^-1 h2, are orthogonal and equally long. Each row: p * a + q * b + c = 0.
struct Constraint {
    double p, q, c;
};

void AddConstraints(const cv::Matx33d& h, const Camera& camera, double scale,
                    std::vector<Constraint>* out) {
    cv::Vec3d g[2];
    for (int k = 0; k < 2; ++k)
        g[k] = {(h(0, k) - camera.cx() * h(2, k)) / scale,
                (h(1, k) - camera.cy() * h(2, k)) / scale, h(2, k)};
    const double norm =
        g[0][0] * g[0][0] + g[0][1] * g[0][1] + g[1][0] * g[1][0] + g[1][1] * g[1][1];
    if (!(norm > 0.0))
        Fail(Code::HomographyDegenerate);
    out->push_back({g[0][0] * g[1][0] / norm, g[0][1] * g[1][1] / norm, g[0][2] * g[1][2] / norm});
    out->push_back({(g[0][0] * g[0][0] - g[1][0] * g[1][0]) / norm,
                    (g[0][1] * g[0][1] - g[1][1] * g[1][1]) / norm,
                    (g[0][2] * g[0][2] - g[1][2] * g[1][2]) / norm});
}

// A fit of the run's photograph: the camera, the pose, the RMS of its points and the
// covariance of the parameters it freed.
struct Fit {
    Camera camera;
    std::vector<Pose> poses; // one per view
    double rms = 0.0;
    CameraCovariance covariance; // of the freed parameters; zero elsewhere
};

// The covariance sigma^2 (J'J)^-1 of the freed camera parameters with the pose eliminated,
// after checking that they are fixed by the points: their normal matrix with the pose
// eliminated, scaled by the diagonal of their block of the whole normal matrix, is well
// conditioned.
CameraCovariance Covariance(const std::vector<FitView>& views, const Camera& camera,
                            const std::vector<CameraParameter>& freed,
                            const std::optional<ParameterPrior>& prior, double sigma2) {
    const NormalEquations normal = CameraNormalEquations(views, camera, freed, prior);
    const int p = int(freed.size());
    cv::Mat scaled(p, p, CV_64F);
    for (int r = 0; r < p; ++r)
        for (int c = 0; c < p; ++c) {
            const double d =
                std::sqrt(normal.camera.at<double>(r, r) * normal.camera.at<double>(c, c));
            if (!(d > 0.0))
                Fail(Code::FocalsUndetermined);
            scaled.at<double>(r, c) = normal.reduced.at<double>(r, c) / d;
        }
    cv::Mat eigen;
    cv::eigen(scaled, eigen);
    if (!(eigen.at<double>(p - 1) > kDetermined))
        Fail(Code::FocalsUndetermined);
    cv::Mat inverse;
    cv::invert(normal.reduced, inverse, cv::DECOMP_SVD);
    CameraCovariance covariance;
    for (int r = 0; r < p; ++r)
        for (int c = 0; c < p; ++c)
            covariance(freed[size_t(r)], freed[size_t(c)]) =
                Finite(sigma2 * inverse.at<double>(r, c));
    return covariance;
}

// The fit of the run's photograph from the start given, freeing `freed` and, with a prior,
// holding its parameter to the prior's value; `priorSigma2` is then the variance of one
// coordinate of a point that weighs the prior (else the fit's own, from its residuals).
Fit Refine(const Points& run, const Fit& start, CameraSelection freed,
           const std::optional<ParameterPrior>& prior = {}, double priorSigma2 = 0.0) {
    std::vector<FitView> views{FitView::Of(run.field, run.image)};
    views[0].pose = ToVector(start.poses[0]);
    Fit fit = start;
    AdjustCamera(views, fit.camera, freed, SinglePhotoSolver(), prior);
    const std::vector<CameraParameter> parameters = freed.Parameters();
    const size_t rows = 2 * views[0].points() + (prior ? 1 : 0);
    const size_t unknowns = parameters.size() + kPoseParameterCount;
    if (rows <= unknowns)
        Fail(Code::TooFewPointsForGeometry);
    const double squares = Finite(SquaredError(views[0], fit.camera));
    double cost = squares;
    if (prior) {
        const double d = prior->weight * (fit.camera[prior->parameter] - prior->value);
        cost += d * d;
    }
    fit.poses[0] = FromVector(views[0].pose);
    fit.rms = std::sqrt(squares / double(views[0].points()));
    // The prior is weighted in units of the points' noise already.
    const double sigma2 = prior ? priorSigma2 : cost / double(rows - unknowns);
    fit.covariance = Covariance(views, fit.camera, parameters, prior, sigma2);
    Finite(fit.camera.fx());
    Finite(fit.camera.fy());
    return fit;
}

// fy at the start of the run's fit with fx as the camera has it, from the constraints of
// its homography, (S/fy)^2 by least squares.
void StartFocalLength(const Points& run, double scale, Camera& camera) {
    std::vector<Constraint> constraints;
    AddConstraints(run.homography, camera, scale, &constraints);
    const double a = (scale / camera.fx()) * (scale / camera.fx());
    double num = 0.0;
    double den = 0.0;
    for (const Constraint& e : constraints) {
        num += e.q * (e.p * a + e.c);
        den += e.q * e.q;
    }
    const double b = den > 0.0 ? -num / den : 0.0;
    camera[CameraParameter::Fy] = b > 0.0 ? scale / std::sqrt(b) : camera.fx();
}

// The start of the run's fit: fy in closed form, then the pose from its points.
Fit Start(const std::vector<Points>& views, Camera camera, double scale) {
    StartFocalLength(views.front(), scale, camera);
    Fit fit;
    fit.camera = camera;
    for (const Points& v : views) {
        std::vector<cv::Point3d> object;
        object.reserve(v.field.size());
        for (const PlanePoint& p : v.field)
            object.emplace_back(p.x, p.y, 0.0);
        cv::Mat r;
        cv::Mat t;
        if (!cv::solvePnP(object, OpenCvPoints(v.image), camera.Matrix(), camera.Distortion(), r, t,
                          false, cv::SOLVEPNP_IPPE))
            Fail(Code::PoseUndetermined);
        // IPPE's rotation of a field turned by about half a round (its x axis along the
        // image's, its y axis against it) can be far off; OpenCV's iterative solution from
        // it is not.
        cv::solvePnP(object, OpenCvPoints(v.image), camera.Matrix(), camera.Distortion(), r, t,
                     true, cv::SOLVEPNP_ITERATIVE);
        fit.poses.push_back(Pose{{r.at<double>(0), r.at<double>(1), r.at<double>(2)},
                                 {t.at<double>(0), t.at<double>(1), t.at<double>(2)}});
    }
    return fit;
}

// The standard error of fy/fx by the delta method.
double RatioSe(const Fit& fit) {
    return std::sqrt(std::max(0.0, Finite(fit.covariance.RatioVariance(fit.camera))));
}

void SetTilt(const Pose& pose, FieldCheck* check) {
    cv::Matx33d r;
    cv::Rodrigues(pose.rotation, r);
    cv::Vec3d normal(r(0, 2), r(1, 2), r(2, 2));
    if (normal[2] < 0.0)
        normal = -normal;
    check->tiltKnown = true;
    check->tiltVerticalDeg = Deg(std::atan2(normal[0], normal[2]));
    check->tiltHorizontalDeg = Deg(std::atan2(normal[1], normal[2]));
    const double cosine = std::clamp(normal[2] / cv::norm(normal), -1.0, 1.0);
    check->tiltDeg = Deg(std::acos(cosine));
    check->focalSensitivity = 1.0 - cosine * cosine;
}

// The run's homography, scaled for showing: its last element 1, or its Frobenius norm
// when that element is near 0.
std::array<double, 9> ShownHomography(const cv::Matx33d& h) {
    double norm = 0.0;
    for (int k = 0; k < 9; ++k)
        norm += h.val[k] * h.val[k];
    norm = std::sqrt(norm);
    const double divisor = std::fabs(h(2, 2)) > 1e-12 * norm ? h(2, 2) : norm;
    std::array<double, 9> shown{};
    for (int k = 0; k < 9; ++k)
        shown[size_t(k)] = Finite(h.val[k] / divisor);
    return shown;
}

// The run's photograph with a nominal focal length: fy and the pose with fx = f first;
// then fx too, held to f within its stated uncertainty, so that a photograph whose
// perspective fixes fx by itself corrects a nominal value that is off.
void CheckWithFocal(const Points& run, Camera nominal, double scale, FieldCheck& check) {
    const std::vector<Points> views{run};
    const Fit fixed =
        Refine(run, Start(views, nominal, scale), CameraSelection{CameraParameter::Fy});
    const double dof = double(2 * check.pointCount - 8);
    if (!(dof > 0.0))
        Fail(Code::TooFewPointsForGeometry);
    const double sigma2 = std::max(Finite(check.homographyRmsPx * check.homographyRmsPx *
                                          double(check.pointCount) / dof / 2.0),
                                   1e-24);
    ParameterPrior prior;
    prior.parameter = CameraParameter::Fx;
    prior.value = nominal.fx();
    prior.weight = std::sqrt(sigma2) / (kFocalUncertainty * nominal.fx());
    // Where the photograph's perspective says nothing of fx beyond the prior (a field
    // tilted about one axis, measured almost without noise, leaves fx and the distance
    // interchangeable), fx stays the nominal value and its uncertainty enters the error
    // of the ratio by the sensitivity sin^2(theta).
    bool fxHeld = false;
    Fit fit = fixed;
    try {
        fit = Refine(run, fixed, CameraSelection::FocalLengths(), prior, sigma2);
    } catch (const CalcError&) {
        fxHeld = true;
    }
    check.focalUsed = nominal.fx();
    check.correctedCoefficient = Finite(fit.camera.fy() / fit.camera.fx());
    check.correctedSe = RatioSe(fit);
    check.correctedRmsPx = fit.rms;
    check.correctedCamera = fit.camera;
    check.correctedCovariance = fit.covariance;
    SetTilt(fit.poses[0], &check);
    if (fxHeld) {
        const double focalPart =
            kFocalUncertainty * check.focalSensitivity * *check.correctedCoefficient;
        check.correctedSe =
            Finite(std::sqrt(*check.correctedSe * *check.correctedSe + focalPart * focalPart));
    }
}

// All photographs together: fx, fy and every pose, by the calibration of a camera from
// several photographs (its Schur complement keeps time and memory linear in the views),
// with the principal point held at the image's centre, no lens, every photograph used.
void CheckViews(const std::vector<Points>& views, const Camera& camera, bool focalKnown,
                FieldCheck& check) {
    std::vector<BoardPhoto> photos;
    photos.reserve(views.size());
    // The size only tells the photographs' camera apart; the centre is the one held.
    const int width = int(std::lround(camera.width));
    const int height = int(std::lround(camera.height));
    for (const Points& v : views)
        photos.push_back(BoardPhoto{v.field, v.image, std::max(width, 1), std::max(height, 1)});
    CameraCalibrationOptions options;
    options.selection = CameraSelection::FocalLengths();
    options.held = camera;
    options.minimumPhotos = 2;
    options.leaveOutByRms = false;
    options.judgeFounded = false; // no lens freed; the focal lengths are judged below
    const CameraCalibration fit = CalibrateCamera(photos, options);
    for (size_t v = 0; v < fit.photos.size(); ++v)
        if (fit.photos[v].use != PhotoUse::Used)
            Fail(Code::PoseUndetermined, int(v) + 1);
    Camera found = fit.camera;
    found.width = camera.width;
    found.height = camera.height;
    check.multiviewFx = found.fx();
    check.multiviewFy = found.fy();
    check.multiviewRatio = fit.ratio;
    check.multiviewRatioSe = fit.ratioSe;
    check.multiviewRmsPx = fit.rmsPx;
    check.multiviewCamera = found;
    check.multiviewCovariance = fit.covariance;
    if (!focalKnown) {
        check.focalUsed = found.fx();
        check.focalFromViews = true;
        SetTilt(fit.photos.front().pose, &check);
    }
}

// The bias of the plain coefficient against the better corrected ratio.
void SetVerdict(FieldCheck& check) {
    if (check.multiviewRatio) {
        check.reference = check.multiviewRatio;
        check.referenceSe = check.multiviewRatioSe;
        check.referenceRmsPx = check.multiviewRmsPx;
    } else if (check.correctedCoefficient) {
        check.reference = check.correctedCoefficient;
        check.referenceSe = check.correctedSe;
        check.referenceRmsPx = check.correctedRmsPx;
    }
    if (check.reference) {
        check.bias = Finite(check.coefficient - *check.reference);
        check.biasSe =
            Finite(std::sqrt(check.sem * check.sem + *check.referenceSe * *check.referenceSe));
        check.referenceDoubtful =
            !(*check.referenceRmsPx <=
              kTrustedRmsFactor * check.homographyRmsPx + kTrustedRmsFloorPx) ||
            !(*check.referenceSe < kTrustedShare * std::fabs(*check.reference));
        check.warning = !check.referenceDoubtful && std::fabs(*check.bias) > 2.0 * *check.biasSe &&
                        std::fabs(*check.bias) >= kShownBias;
    }
}

// The input with a known camera's lens taken out of the image points: the undistorted
// points are kept in `image` and `views`, which the input returned refers to.
FieldCheckInput WithoutTheLens(const FieldCheckInput& input, std::vector<PlanePoint>& image,
                               std::vector<FieldView>& views) {
    const Camera& camera = *input.camera;
    if (camera.Fisheye())
        Fail(Code::FisheyeCamera);
    if (camera.width != input.width || camera.height != input.height)
        throw FieldCheckError(Code::CameraOfOtherSize, 0, false,
                              {camera.width, camera.height, input.width, input.height, 0.0});
    for (CameraParameter p : kCameraParameters)
        Finite(camera[p]);
    if (!(camera.fx() > 0.0) || !(camera.fy() > 0.0))
        Fail(Code::FocalNotPositive);
    FieldCheckInput plain = input;
    image = UndistortImagePoints(camera, input.image);
    plain.image = image;
    views = input.views;
    for (FieldView& view : views)
        view.image = UndistortImagePoints(camera, view.image);
    plain.views = views;
    plain.focal = camera.fx();
    return plain;
}

} // namespace

FocalRange PlausibleFocalLengths(double width, double height) {
    const double diagonal = std::hypot(width, height);
    return {kFocalMinDiagonals * diagonal, kFocalMaxDiagonals * diagonal};
}

double HomographyRms(const std::array<double, 9>& h, std::span<const PlanePoint> scene,
                     std::span<const PlanePoint> image) {
    if (scene.empty() || scene.size() != image.size())
        Fail(Code::NoPoints);
    const cv::Matx33d m(h.data());
    double sum = 0.0;
    for (size_t k = 0; k < scene.size(); ++k) {
        const PlanePoint p = Apply(m, scene[k].x, scene[k].y);
        const double dx = p.x - image[k].x;
        const double dy = p.y - image[k].y;
        sum = Finite(sum + dx * dx + dy * dy);
    }
    return std::sqrt(sum / double(scene.size()));
}

namespace {

FieldCheck CheckFieldOf(const FieldCheckInput& input) {
    FieldCheck check;
    check.coefficient = input.coefficient;
    check.sd = input.sd;
    check.n = input.n;
    check.sem = input.n > 0 ? Finite(input.sd / std::sqrt(double(input.n))) : 0.0;

    if (!(input.width > 0.0) || !(input.height > 0.0) || !(input.width <= kLargestImageSidePx) ||
        !(input.height <= kLargestImageSidePx))
        throw FieldCheckError(Code::ImageSizeOutOfRange, 0, false,
                              {kLargestImageSidePx, 0.0, 0.0, 0.0, 0.0});
    if (input.focal && !(std::isfinite(*input.focal) && *input.focal > 0.0))
        Fail(Code::FocalNotPositive);
    if (input.focal) {
        const FocalRange range = PlausibleFocalLengths(input.width, input.height);
        if (!range.contains(*input.focal))
            throw FieldCheckError(Code::FocalImplausible, 0, false,
                                  {*input.focal, input.width, input.height, std::ceil(range.low),
                                   std::floor(range.high)});
    }

    const bool single = input.views.empty();
    std::vector<Points> views;
    views.push_back(MakePoints(input.scene, input.image, 0, single));
    for (size_t v = 0; v < input.views.size(); ++v)
        views.push_back(MakePoints(input.views[v].scene, input.views[v].image, v + 1, false));
    check.viewCount = qint32(views.size());
    check.homography = ShownHomography(views[0].homography);
    check.homographyRmsPx = HomographyRms(check.homography, input.scene, input.image);
    check.pointCount = qint64(input.scene.size());

    // The camera of the fits: the principal point at the image's centre, no lens; the
    // focal lengths are what the fits find.
    Camera camera = Camera::Centred(input.width, input.height, 0.0, 0.0);
    if (input.camera) {
        camera[CameraParameter::Cx] = input.camera->cx();
        camera[CameraParameter::Cy] = input.camera->cy();
        check.cameraKnown = true;
    }
    check.principalX = camera.cx();
    check.principalY = camera.cy();
    const double scale = std::max(input.width, input.height);
    if (input.focal) {
        Camera nominal = camera;
        nominal[CameraParameter::Fx] = *input.focal;
        CheckWithFocal(views[0], nominal, scale, check);
    }
    if (views.size() > 1)
        CheckViews(views, camera, input.focal.has_value(), check);
    SetVerdict(check);
    return check;
}

} // namespace

FieldCheck CheckField(const FieldCheckInput& given) {
    // What OpenCV refuses on points that pass the checks above is no number either.
    try {
        // With a known camera, everything runs on the points without its lens.
        if (given.camera) {
            std::vector<PlanePoint> undistorted;
            std::vector<FieldView> undistortedViews;
            return CheckFieldOf(WithoutTheLens(given, undistorted, undistortedViews));
        }
        return CheckFieldOf(given);
    } catch (const cv::Exception&) {
        Fail(Code::GeometryUndetermined);
    } catch (const std::invalid_argument&) {
        Fail(Code::GeometryUndetermined);
    }
}

} // namespace vrma
