#include "calib/FieldCheck.h"

#include "calib/CameraCalibration.h"
#include "data/Errors.h"
#include "data/Numbers.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <stdexcept>

namespace vrma {

namespace {

// The smallest eigenvalue of the fit's normal matrix, scaled to a unit diagonal, below
// which a parameter is taken as not determined by the points.
constexpr double kDetermined = 1e-10;

[[noreturn]] void Fail(const QString& message) {
    throw CalcError(message.toStdString());
}

double Finite(double value) {
    if (!std::isfinite(value))
        Fail(QStringLiteral("Вычисление геометрии поля вышло за пределы чисел."));
    return value;
}

double Deg(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

// The name of a photograph in messages: the run's own is the first.
QString ViewName(size_t view) {
    return QStringLiteral("снимка %1").arg(qulonglong(view) + 1);
}

// One photograph as the fit sees it.
struct Points {
    std::vector<PlanePoint> field; // the scene points, on the plane z = 0
    std::vector<PlanePoint> image;
    cv::Matx33d homography;
};

// All points on one line (or one point): the plane's axes cannot be told apart.
void CheckSpread(std::span<const PlanePoint> points, const QString& what, size_t view,
                 bool single) {
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
        Fail(QStringLiteral("Точки %1%2 лежат на одной прямой: положение поля по ним не "
                            "определить.")
                 .arg(what, single ? QString() : QStringLiteral(" ") + ViewName(view)));
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
    const QString where = single ? QString() : QStringLiteral(" ") + ViewName(view);
    if (scene.size() != image.size())
        Fail(QStringLiteral("В файлах%1 разное число точек сцены и изображения.").arg(where));
    if (scene.size() < 4)
        Fail(QStringLiteral("Для проективного преобразования%1 нужно не меньше четырёх точек.")
                 .arg(where));
    CheckSpread(scene, QStringLiteral("сцены"), view, single);
    CheckSpread(image, QStringLiteral("изображения"), view, single);
    Points points;
    points.field.assign(scene.begin(), scene.end());
    points.image.assign(image.begin(), image.end());
    // Normalised DLT, then Levenberg-Marquardt on the reprojection error.
    cv::Mat h = cv::findHomography(OpenCvPoints(points.field), OpenCvPoints(points.image), 0);
    if (h.empty() || h.rows != 3 || h.cols != 3)
        Fail(QStringLiteral("Проективное преобразование поля%1 не определяется по точкам.")
                 .arg(where));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            points.homography(r, c) = Finite(h.at<double>(r, c));
    return points;
}

PlanePoint Apply(const cv::Matx33d& h, double x, double y) {
    const double w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    if (w == 0.0)
        Fail(QStringLiteral("Точка поля проецируется на бесконечность."));
    return {Finite((h(0, 0) * x + h(0, 1) * y + h(0, 2)) / w),
            Finite((h(1, 0) * x + h(1, 1) * y + h(1, 2)) / w)};
}

// What a fit looks for: the camera's parameters it frees (in their order), then the pose
// of every view (rotation, translation), and a prior that holds one freed parameter to a
// nominal value.
struct Prior {
    CameraParameter parameter = CameraParameter::Fx;
    double value = 0.0;
    double weight = 0.0; // 0: no prior; a row weight * (parameter - value) after the points
    double sigma2 = 0.0; // the variance of one coordinate of a point
};

struct Unknowns {
    std::vector<CameraParameter> camera; // freed, in their order
    size_t views = 0;
    Prior prior;

    Unknowns(CameraSelection freed, size_t viewCount, const Prior& held = {})
        : camera(freed.Parameters()), views(viewCount), prior(held) {
        if (!freed.Frees(prior.parameter))
            prior.weight = 0.0;
    }
    int cameraCount() const { return int(camera.size()); }
    int count() const { return cameraCount() + kPoseParameterCount * int(views); }
    int PoseColumn(size_t view, int c) const {
        return cameraCount() + kPoseParameterCount * int(view) + c;
    }
    // The column of the prior's parameter.
    int PriorColumn() const {
        return int(std::find(camera.begin(), camera.end(), prior.parameter) - camera.begin());
    }
};

struct Fit {
    Camera camera;
    std::vector<Pose> poses; // one per view
    double rms = 0.0;
    CameraCovariance covariance; // of the freed parameters; zero elsewhere
};

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
        Fail(QStringLiteral("Проективное преобразование поля вырождено."));
    out->push_back({g[0][0] * g[1][0] / norm, g[0][1] * g[1][1] / norm, g[0][2] * g[1][2] / norm});
    out->push_back({(g[0][0] * g[0][0] - g[1][0] * g[1][0]) / norm,
                    (g[0][1] * g[0][1] - g[1][1] * g[1][1]) / norm,
                    (g[0][2] * g[0][2] - g[1][2] * g[1][2]) / norm});
}

const QString& NotDetermined() {
    static const QString text =
        QStringLiteral("Снимки не определяют фокусные расстояния: поле на них повёрнуто "
                       "одинаково или почти не наклонено. Нужны снимки с разным наклоном поля.");
    return text;
}

// The residuals of every point (projection minus measurement), then the prior's row, and
// their Jacobian with respect to the unknowns. Returns the sum of their squares.
double Evaluate(const std::vector<Points>& views, const Fit& fit, const Unknowns& unknowns,
                cv::Mat* jacobian, cv::Mat* residuals) {
    const bool withPrior = unknowns.prior.weight > 0.0;
    int rows = withPrior ? 1 : 0;
    for (const Points& v : views)
        rows += 2 * int(v.image.size());
    if (jacobian)
        *jacobian = cv::Mat::zeros(rows, unknowns.count(), CV_64F);
    if (residuals)
        residuals->create(rows, 1, CV_64F);
    double cost = 0.0;
    int row = 0;
    cv::Mat local;
    for (size_t v = 0; v < views.size(); ++v) {
        const std::vector<PlanePoint> projected =
            jacobian ? ProjectFieldPoints(fit.camera, fit.poses[v], views[v].field, local)
                     : ProjectFieldPoints(fit.camera, fit.poses[v], views[v].field);
        for (size_t k = 0; k < projected.size(); ++k) {
            const double dx = projected[k].x - views[v].image[k].x;
            const double dy = projected[k].y - views[v].image[k].y;
            cost += dx * dx + dy * dy;
            if (residuals) {
                residuals->at<double>(row) = dx;
                residuals->at<double>(row + 1) = dy;
            }
            for (int e = 0; jacobian && e < 2; ++e) {
                const double* from = local.ptr<double>(2 * int(k) + e);
                double* out = jacobian->ptr<double>(row + e);
                for (int c = 0; c < unknowns.cameraCount(); ++c)
                    out[c] = from[ProjectionColumn(unknowns.camera[size_t(c)])];
                for (int c = 0; c < kPoseParameterCount; ++c)
                    out[unknowns.PoseColumn(v, c)] = from[c];
            }
            row += 2;
        }
    }
    if (withPrior) {
        const Prior& prior = unknowns.prior;
        const double d = prior.weight * (fit.camera[prior.parameter] - prior.value);
        cost += d * d;
        if (residuals)
            residuals->at<double>(row) = d;
        if (jacobian)
            jacobian->at<double>(row, unknowns.PriorColumn()) = prior.weight;
    }
    return Finite(cost);
}

// The fit moved by a step of the unknowns.
Fit Moved(const Fit& from, const cv::Mat& step, const Unknowns& unknowns) {
    Fit to = from;
    for (int c = 0; c < unknowns.cameraCount(); ++c)
        to.camera[unknowns.camera[size_t(c)]] += step.at<double>(c);
    for (size_t v = 0; v < unknowns.views; ++v)
        for (int c = 0; c < 3; ++c) {
            to.poses[v].rotation[c] += step.at<double>(unknowns.PoseColumn(v, c));
            to.poses[v].translation[c] += step.at<double>(unknowns.PoseColumn(v, 3 + c));
        }
    return to;
}

// The covariance sigma^2 (J'J)^-1 of the freed camera parameters, after checking that
// every unknown is fixed by the points (the normal matrix scaled to a unit diagonal is
// well conditioned).
CameraCovariance Covariance(const cv::Mat& jacobian, double cost, const Unknowns& unknowns) {
    const int m = jacobian.rows;
    const int p = jacobian.cols;
    const cv::Mat a = jacobian.t() * jacobian;
    cv::Mat scaled(p, p, CV_64F);
    for (int r = 0; r < p; ++r)
        for (int c = 0; c < p; ++c) {
            const double d = std::sqrt(a.at<double>(r, r) * a.at<double>(c, c));
            if (!(d > 0.0))
                Fail(NotDetermined());
            scaled.at<double>(r, c) = a.at<double>(r, c) / d;
        }
    cv::Mat eigen;
    cv::eigen(scaled, eigen);
    if (!(eigen.at<double>(p - 1) > kDetermined))
        Fail(NotDetermined());
    cv::Mat inverse;
    cv::invert(a, inverse, cv::DECOMP_SVD);
    // The prior is weighted in units of the points' noise already.
    const double sigma2 =
        unknowns.prior.weight > 0.0 ? unknowns.prior.sigma2 : cost / double(m - p);
    CameraCovariance covariance;
    for (int r = 0; r < unknowns.cameraCount(); ++r)
        for (int c = 0; c < unknowns.cameraCount(); ++c)
            covariance(unknowns.camera[size_t(r)], unknowns.camera[size_t(c)]) =
                Finite(sigma2 * inverse.at<double>(r, c));
    return covariance;
}

// Levenberg-Marquardt on the reprojection error from the given start.
Fit Refine(const std::vector<Points>& views, Fit fit, const Unknowns& unknowns) {
    cv::Mat jacobian;
    cv::Mat residuals;
    double cost = Evaluate(views, fit, unknowns, &jacobian, &residuals);
    double lambda = 1e-3;
    for (int iteration = 0; iteration < 200; ++iteration) {
        const cv::Mat a = jacobian.t() * jacobian;
        const cv::Mat g = jacobian.t() * residuals;
        bool improved = false;
        double trialCost = cost;
        Fit trial;
        while (lambda < 1e12) {
            cv::Mat damped = a.clone();
            for (int d = 0; d < damped.rows; ++d)
                damped.at<double>(d, d) *= 1.0 + lambda;
            cv::Mat step;
            if (!cv::solve(damped, -g, step, cv::DECOMP_CHOLESKY)) {
                lambda *= 10.0;
                continue;
            }
            trial = Moved(fit, step, unknowns);
            if (!(trial.camera.fx() > 0.0) || !(trial.camera.fy() > 0.0)) {
                lambda *= 10.0;
                continue;
            }
            trialCost = Evaluate(views, trial, unknowns, nullptr, nullptr);
            if (trialCost < cost) {
                improved = true;
                break;
            }
            lambda *= 10.0;
        }
        if (!improved)
            break;
        const double gain = cost - trialCost;
        fit = trial;
        cost = Evaluate(views, fit, unknowns, &jacobian, &residuals);
        lambda = std::max(lambda / 10.0, 1e-12);
        if (gain <= 1e-15 * cost || cost == 0.0)
            break;
    }

    const int m = jacobian.rows;
    if (m <= jacobian.cols)
        Fail(QStringLiteral("Слишком мало точек для оценки геометрии поля."));
    double points = 0.0;
    for (int r = 0; r < m - m % 2; ++r)
        points += residuals.at<double>(r) * residuals.at<double>(r);
    const int pointCount = m / 2; // two residuals a point
    fit.rms = std::sqrt(points / double(pointCount));
    fit.covariance = Covariance(jacobian, cost, unknowns);
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
            Fail(QStringLiteral("Положение поля не определяется по точкам."));
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
    const CameraSelection fyOnly{CameraParameter::Fy};
    const Fit fixed = Refine(views, Start(views, nominal, scale), Unknowns(fyOnly, views.size()));
    const double dof = double(2 * check.pointCount - 8);
    if (!(dof > 0.0))
        Fail(QStringLiteral("Слишком мало точек для оценки геометрии поля."));
    Prior prior;
    prior.parameter = CameraParameter::Fx;
    prior.value = nominal.fx();
    prior.sigma2 = std::max(Finite(check.homographyRmsPx * check.homographyRmsPx *
                                   double(check.pointCount) / dof / 2.0),
                            1e-24);
    prior.weight = std::sqrt(prior.sigma2) / (kFocalUncertainty * nominal.fx());
    // Where the photograph's perspective says nothing of fx beyond the prior (a field
    // tilted about one axis, measured almost without noise, leaves fx and the distance
    // interchangeable), fx stays the nominal value and its uncertainty enters the error
    // of the ratio by the sensitivity sin^2(theta).
    bool fxHeld = false;
    Fit fit = fixed;
    try {
        fit = Refine(views, fixed, Unknowns(CameraSelection::FocalLengths(), views.size(), prior));
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
    const CameraCalibration fit = CalibrateCamera(photos, options);
    for (size_t v = 0; v < fit.photos.size(); ++v)
        if (fit.photos[v].use != PhotoUse::Used)
            Fail(QStringLiteral("Положение поля не определяется по точкам %1.").arg(ViewName(v)));
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
    if (camera.width != input.width || camera.height != input.height)
        Fail(QStringLiteral("Камера откалибрована по снимкам %1 × %2 пикселей, а размер "
                            "изображения %3 × %4: к нему она не подходит.")
                 .arg(camera.width)
                 .arg(camera.height)
                 .arg(input.width)
                 .arg(input.height));
    for (CameraParameter p : kCameraParameters)
        Finite(camera[p]);
    if (!(camera.fx() > 0.0) || !(camera.fy() > 0.0))
        Fail(QStringLiteral("Фокусное расстояние должно быть положительным числом."));
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
        Fail(QStringLiteral("Нет точек для оценки проективного преобразования."));
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
        Fail(QStringLiteral("Размеры изображения должны быть положительными числами не больше "
                            "%1 пикселей.")
                 .arg(kLargestImageSidePx, 0, 'f', 0));
    if (input.focal && !(std::isfinite(*input.focal) && *input.focal > 0.0))
        Fail(QStringLiteral("Фокусное расстояние должно быть положительным числом."));
    if (input.focal) {
        const FocalRange range = PlausibleFocalLengths(input.width, input.height);
        if (!range.contains(*input.focal))
            Fail(QStringLiteral("Фокусное расстояние %1 пикс. невозможно для изображения %2 × %3: "
                                "у камеры с таким кадром оно от %4 до %5 пикс. (от десятой доли "
                                "до 100 диагоналей кадра).")
                     .arg(FormatGeneral15(*input.focal), FormatGeneral15(input.width),
                          FormatGeneral15(input.height), FormatGeneral15(std::ceil(range.low)),
                          FormatGeneral15(std::floor(range.high))));
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
        Fail(QStringLiteral("Геометрия поля по этим точкам не определяется."));
    } catch (const std::invalid_argument&) {
        Fail(QStringLiteral("Геометрия поля по этим точкам не определяется."));
    }
}

} // namespace vrma
