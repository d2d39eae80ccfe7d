#include "calib/FieldCheck.h"

#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/VectorState.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

namespace vrma {

namespace {

constexpr int kCameraFocalLine = 3; // the camera file's "Фокусное расстояние"

// Two photographs whose homographies place every target within this distance of each
// other (pixels) show the field in one pose.
constexpr double kSamePosePx = 1.0;
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
    std::vector<cv::Point3d> object; // the scene points on the plane z = 0
    std::vector<cv::Point2d> image;
    cv::Matx33d homography;
};

// All points on one line (or one point): the plane's axes cannot be told apart.
void CheckSpread(std::span<const GridPoint> points, const QString& what, size_t view, bool single) {
    double mx = 0.0;
    double my = 0.0;
    for (const GridPoint& p : points) {
        mx += Finite(p.x);
        my += Finite(p.y);
    }
    mx /= double(points.size());
    my /= double(points.size());
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (const GridPoint& p : points) {
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

Points MakePoints(std::span<const GridPoint> scene, std::span<const GridPoint> image, size_t view,
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
    points.object.reserve(scene.size());
    points.image.reserve(image.size());
    std::vector<cv::Point2d> plane;
    plane.reserve(scene.size());
    for (size_t k = 0; k < scene.size(); ++k) {
        points.object.emplace_back(scene[k].x, scene[k].y, 0.0);
        plane.emplace_back(scene[k].x, scene[k].y);
        points.image.emplace_back(Finite(image[k].x), Finite(image[k].y));
    }
    // Normalised DLT, then Levenberg-Marquardt on the reprojection error.
    cv::Mat h = cv::findHomography(plane, points.image, 0);
    if (h.empty() || h.rows != 3 || h.cols != 3)
        Fail(QStringLiteral("Проективное преобразование поля%1 не определяется по точкам.")
                 .arg(where));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            points.homography(r, c) = Finite(h.at<double>(r, c));
    return points;
}

cv::Point2d Apply(const cv::Matx33d& h, double x, double y) {
    const double w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    if (w == 0.0)
        Fail(QStringLiteral("Точка поля проецируется на бесконечность."));
    return {Finite((h(0, 0) * x + h(0, 1) * y + h(0, 2)) / w),
            Finite((h(1, 0) * x + h(1, 1) * y + h(1, 2)) / w)};
}

// The camera of the fit: the principal point fixed, no skew, no distortion.
struct Camera {
    double fx = 0.0;
    double fy = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    cv::Matx33d matrix() const { return {fx, 0.0, cx, 0.0, fy, cy, 0.0, 0.0, 1.0}; }
};

struct Fit {
    Camera camera;
    std::vector<cv::Vec3d> rotation; // Rodrigues vectors, one per view
    std::vector<cv::Vec3d> translation;
    double rms = 0.0;
    // The covariance of (fx, fy); with fx fixed only (1, 1) is set.
    cv::Matx22d intrinsics;
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
        g[k] = {(h(0, k) - camera.cx * h(2, k)) / scale, (h(1, k) - camera.cy * h(2, k)) / scale,
                h(2, k)};
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

// The residuals of every point (projection minus measurement) and their Jacobian with
// respect to the parameters: [fx] fy, then rotation and translation of every view.
// The prior on fx: a row w * (fx - f0) after the points.
struct FocalPrior {
    double focal = 0.0;
    double weight = 0.0; // 0: no prior
    double sigma2 = 0.0; // the variance of one coordinate of a point
};

double Evaluate(const std::vector<Points>& views, const Camera& camera,
                const std::vector<cv::Vec3d>& rotation, const std::vector<cv::Vec3d>& translation,
                bool fixFx, const FocalPrior& prior, cv::Mat* jacobian, cv::Mat* residuals) {
    const int intrinsic = fixFx ? 1 : 2;
    const bool withPrior = !fixFx && prior.weight > 0.0;
    int rows = withPrior ? 1 : 0;
    for (const Points& v : views)
        rows += 2 * int(v.image.size());
    const int cols = intrinsic + 6 * int(views.size());
    if (jacobian)
        *jacobian = cv::Mat::zeros(rows, cols, CV_64F);
    if (residuals)
        residuals->create(rows, 1, CV_64F);
    double cost = 0.0;
    int row = 0;
    for (size_t v = 0; v < views.size(); ++v) {
        std::vector<cv::Point2d> projected;
        cv::Mat local;
        cv::projectPoints(views[v].object, rotation[v], translation[v], camera.matrix(),
                          cv::noArray(), projected, local);
        for (size_t k = 0; k < projected.size(); ++k) {
            const double dx = projected[k].x - views[v].image[k].x;
            const double dy = projected[k].y - views[v].image[k].y;
            cost += dx * dx + dy * dy;
            if (residuals) {
                residuals->at<double>(row) = dx;
                residuals->at<double>(row + 1) = dy;
            }
            if (jacobian) {
                for (int e = 0; e < 2; ++e) {
                    const int lr = 2 * int(k) + e;
                    double* out = jacobian->ptr<double>(row + e);
                    // projectPoints: rotation 0..2, translation 3..5, fx 6, fy 7.
                    if (!fixFx)
                        out[0] = local.at<double>(lr, 6);
                    out[intrinsic - 1] = local.at<double>(lr, 7);
                    for (int c = 0; c < 6; ++c)
                        out[intrinsic + 6 * int(v) + c] = local.at<double>(lr, c);
                }
            }
            row += 2;
        }
    }
    if (withPrior) {
        const double d = prior.weight * (camera.fx - prior.focal);
        cost += d * d;
        if (residuals)
            residuals->at<double>(row) = d;
        if (jacobian)
            jacobian->at<double>(row, 0) = prior.weight;
    }
    return Finite(cost);
}

// Levenberg-Marquardt on the reprojection error from the given start.
Fit Refine(const std::vector<Points>& views, Fit fit, bool fixFx, const FocalPrior& prior = {}) {
    const int intrinsic = fixFx ? 1 : 2;
    auto apply = [&](const Fit& from, const cv::Mat& step) {
        Fit to = from;
        if (!fixFx)
            to.camera.fx += step.at<double>(0);
        to.camera.fy += step.at<double>(intrinsic - 1);
        for (size_t v = 0; v < views.size(); ++v)
            for (int c = 0; c < 3; ++c) {
                to.rotation[v][c] += step.at<double>(intrinsic + 6 * int(v) + c);
                to.translation[v][c] += step.at<double>(intrinsic + 6 * int(v) + 3 + c);
            }
        return to;
    };
    cv::Mat jacobian;
    cv::Mat residuals;
    double cost = Evaluate(views, fit.camera, fit.rotation, fit.translation, fixFx, prior,
                           &jacobian, &residuals);
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
            trial = apply(fit, step);
            if (!(trial.camera.fx > 0.0) || !(trial.camera.fy > 0.0)) {
                lambda *= 10.0;
                continue;
            }
            trialCost = Evaluate(views, trial.camera, trial.rotation, trial.translation, fixFx,
                                 prior, nullptr, nullptr);
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
        cost = Evaluate(views, fit.camera, fit.rotation, fit.translation, fixFx, prior, &jacobian,
                        &residuals);
        lambda = std::max(lambda / 10.0, 1e-12);
        if (gain <= 1e-15 * cost || cost == 0.0)
            break;
    }

    const int m = jacobian.rows;
    const int p = jacobian.cols;
    if (m <= p)
        Fail(QStringLiteral("Слишком мало точек для оценки геометрии поля."));
    double points = 0.0;
    for (int r = 0; r < m - m % 2; ++r)
        points += residuals.at<double>(r) * residuals.at<double>(r);
    const int pointCount = m / 2; // two residuals a point
    fit.rms = std::sqrt(points / double(pointCount));

    // The covariance sigma^2 (J^T J)^-1, after checking that every parameter is fixed by
    // the points (the normal matrix scaled to a unit diagonal is well conditioned).
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
    double smallest = eigen.at<double>(p - 1);
    if (!(smallest > kDetermined))
        Fail(NotDetermined());
    cv::Mat inverse;
    cv::invert(a, inverse, cv::DECOMP_SVD);
    // The prior is weighted in units of the points' noise already.
    const double sigma2 = prior.weight > 0.0 ? prior.sigma2 : cost / double(m - p);
    fit.intrinsics = cv::Matx22d::zeros();
    if (fixFx) {
        fit.intrinsics(1, 1) = Finite(sigma2 * inverse.at<double>(0, 0));
    } else {
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                fit.intrinsics(r, c) = Finite(sigma2 * inverse.at<double>(r, c));
    }
    Finite(fit.camera.fx);
    Finite(fit.camera.fy);
    return fit;
}

// The start of the fit: (S/fy)^2 (and (S/fx)^2 unless fx is fixed) by least squares from
// the constraints of every view, then each view's pose from its points.
Fit Start(const std::vector<Points>& views, Camera camera, bool fixFx, double scale) {
    std::vector<Constraint> constraints;
    for (const Points& v : views)
        AddConstraints(v.homography, camera, scale, &constraints);
    if (fixFx) {
        const double a = (scale / camera.fx) * (scale / camera.fx);
        double num = 0.0;
        double den = 0.0;
        for (const Constraint& e : constraints) {
            num += e.q * (e.p * a + e.c);
            den += e.q * e.q;
        }
        const double b = den > 0.0 ? -num / den : 0.0;
        camera.fy = b > 0.0 ? scale / std::sqrt(b) : camera.fx;
    } else {
        double spp = 0.0, spq = 0.0, sqq = 0.0, spc = 0.0, sqc = 0.0;
        for (const Constraint& e : constraints) {
            spp += e.p * e.p;
            spq += e.p * e.q;
            sqq += e.q * e.q;
            spc += e.p * e.c;
            sqc += e.q * e.c;
        }
        const double det = spp * sqq - spq * spq;
        if (!(std::fabs(det) > 1e-12 * spp * sqq))
            Fail(NotDetermined());
        const double a = (-spc * sqq + sqc * spq) / det;
        const double b = (-sqc * spp + spc * spq) / det;
        if (!(a > 0.0) || !(b > 0.0))
            Fail(NotDetermined());
        camera.fx = Finite(scale / std::sqrt(a));
        camera.fy = Finite(scale / std::sqrt(b));
    }
    Fit fit;
    fit.camera = camera;
    for (const Points& v : views) {
        cv::Mat r;
        cv::Mat t;
        if (!cv::solvePnP(v.object, v.image, camera.matrix(), cv::noArray(), r, t, false,
                          cv::SOLVEPNP_IPPE))
            Fail(QStringLiteral("Положение поля не определяется по точкам."));
        fit.rotation.emplace_back(r.at<double>(0), r.at<double>(1), r.at<double>(2));
        fit.translation.emplace_back(t.at<double>(0), t.at<double>(1), t.at<double>(2));
    }
    return fit;
}

// The standard error of fy/fx by the delta method: d(fy/fx) = (-fy/fx^2, 1/fx).
double RatioSe(const Fit& fit) {
    const double fx = fit.camera.fx;
    const double fy = fit.camera.fy;
    const cv::Vec2d gradient(-fy / (fx * fx), 1.0 / fx);
    const double variance = (gradient.t() * fit.intrinsics * gradient)(0);
    return std::sqrt(std::max(0.0, Finite(variance)));
}

void SetTilt(const cv::Vec3d& rotation, FieldCheck* check) {
    cv::Matx33d r;
    cv::Rodrigues(rotation, r);
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

} // namespace

double HomographyRms(const std::array<double, 9>& h, std::span<const GridPoint> scene,
                     std::span<const GridPoint> image) {
    if (scene.empty() || scene.size() != image.size())
        Fail(QStringLiteral("Нет точек для оценки проективного преобразования."));
    const cv::Matx33d m(h.data());
    double sum = 0.0;
    for (size_t k = 0; k < scene.size(); ++k) {
        const cv::Point2d p = Apply(m, scene[k].x, scene[k].y);
        const double dx = p.x - image[k].x;
        const double dy = p.y - image[k].y;
        sum = Finite(sum + dx * dx + dy * dy);
    }
    return std::sqrt(sum / double(scene.size()));
}

FieldCheck CheckField(const FieldCheckInput& input) {
    FieldCheck check;
    check.coefficient = input.coefficient;
    check.sd = input.sd;
    check.n = input.n;
    check.sem = input.n > 0 ? Finite(input.sd / std::sqrt(double(input.n))) : 0.0;

    if (!(input.width > 0.0) || !(input.height > 0.0) || !std::isfinite(input.width) ||
        !std::isfinite(input.height))
        Fail(QStringLiteral("Размеры изображения должны быть положительными числами."));
    if (input.focal && !(std::isfinite(*input.focal) && *input.focal > 0.0))
        Fail(QStringLiteral("Фокусное расстояние должно быть положительным числом."));

    const bool single = input.views.empty();
    std::vector<Points> views;
    views.push_back(MakePoints(input.scene, input.image, 0, single));
    for (size_t v = 0; v < input.views.size(); ++v)
        views.push_back(MakePoints(input.views[v].scene, input.views[v].image, v + 1, false));
    check.viewCount = qint32(views.size());

    // The run's homography, scaled for showing.
    const cv::Matx33d& h = views[0].homography;
    double norm = 0.0;
    for (int k = 0; k < 9; ++k)
        norm += h.val[k] * h.val[k];
    norm = std::sqrt(norm);
    const double divisor = std::fabs(h(2, 2)) > 1e-12 * norm ? h(2, 2) : norm;
    for (int k = 0; k < 9; ++k)
        check.homography[size_t(k)] = Finite(h.val[k] / divisor);
    check.homographyRmsPx = HomographyRms(check.homography, input.scene, input.image);
    check.pointCount = qint64(input.scene.size());

    Camera camera;
    camera.cx = input.width / 2.0;
    camera.cy = input.height / 2.0;
    check.principalX = camera.cx;
    check.principalY = camera.cy;
    const double scale = std::max(input.width, input.height);

    // Two photographs of one pose tell nothing more than one.
    for (size_t a = 0; a < views.size(); ++a)
        for (size_t b = a + 1; b < views.size(); ++b) {
            double farthest = 0.0;
            for (const cv::Point3d& p : views[a].object) {
                const cv::Point2d pa = Apply(views[a].homography, p.x, p.y);
                const cv::Point2d pb = Apply(views[b].homography, p.x, p.y);
                farthest = std::max(farthest, cv::norm(pa - pb));
            }
            if (farthest < kSamePosePx)
                Fail(QStringLiteral("Снимки %1 и %2 сделаны при одном положении поля: по ним "
                                    "фокусные расстояния не найти.")
                         .arg(qulonglong(a) + 1)
                         .arg(qulonglong(b) + 1));
        }

    if (input.focal) {
        Camera nominal = camera;
        nominal.fx = *input.focal;
        const std::vector<Points> run(views.begin(), views.begin() + 1);
        // fy and the pose with fx = f first; then fx too, held to f within its stated
        // uncertainty, so that a photograph whose perspective fixes fx by itself corrects a
        // nominal value that is off.
        const Fit fixed = Refine(run, Start(run, nominal, true, scale), true);
        const double dof = double(2 * check.pointCount - 8);
        if (!(dof > 0.0))
            Fail(QStringLiteral("Слишком мало точек для оценки геометрии поля."));
        FocalPrior prior;
        prior.focal = nominal.fx;
        prior.sigma2 = std::max(Finite(check.homographyRmsPx * check.homographyRmsPx *
                                       double(check.pointCount) / dof / 2.0),
                                1e-24);
        prior.weight = std::sqrt(prior.sigma2) / (kFocalUncertainty * nominal.fx);
        // Where the photograph's perspective says nothing of fx beyond the prior (a field
        // tilted about one axis, measured almost without noise, leaves fx and the distance
        // interchangeable), fx stays the nominal value and its uncertainty enters the
        // error of the ratio by the sensitivity sin^2(theta).
        bool fxHeld = false;
        Fit fit = fixed;
        try {
            fit = Refine(run, fixed, false, prior);
        } catch (const CalcError&) {
            fxHeld = true;
        }
        check.focalUsed = nominal.fx;
        check.correctedCoefficient = Finite(fit.camera.fy / fit.camera.fx);
        check.correctedSe = RatioSe(fit);
        check.correctedRmsPx = fit.rms;
        SetTilt(fit.rotation[0], &check);
        if (fxHeld) {
            const double focalPart =
                kFocalUncertainty * check.focalSensitivity * *check.correctedCoefficient;
            check.correctedSe =
                Finite(std::sqrt(*check.correctedSe * *check.correctedSe + focalPart * focalPart));
        }
    }

    if (views.size() > 1) {
        const Fit fit = Refine(views, Start(views, camera, false, scale), false);
        const double fx = fit.camera.fx;
        const double fy = fit.camera.fy;
        check.multiviewFx = fx;
        check.multiviewFy = fy;
        check.multiviewRatio = Finite(fy / fx);
        check.multiviewRatioSe = RatioSe(fit);
        check.multiviewRmsPx = fit.rms;
        if (!input.focal) {
            check.focalUsed = fx;
            check.focalFromViews = true;
            SetTilt(fit.rotation[0], &check);
        }
    }

    if (check.multiviewRatio) {
        check.reference = check.multiviewRatio;
        check.referenceSe = check.multiviewRatioSe;
    } else if (check.correctedCoefficient) {
        check.reference = check.correctedCoefficient;
        check.referenceSe = check.correctedSe;
    }
    if (check.reference) {
        check.bias = Finite(check.coefficient - *check.reference);
        check.biasSe =
            Finite(std::sqrt(check.sem * check.sem + *check.referenceSe * *check.referenceSe));
        check.warning = std::fabs(*check.bias) > 2.0 * *check.biasSe;
    }
    return check;
}

std::optional<FieldGeometry> CalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                                                 const QString& widthText,
                                                 const QString& heightText) {
    FieldGeometry geometry;
    if (!FillCalibrationGeometry(scene, image, widthText, heightText, geometry))
        return std::nullopt;
    return geometry;
}

bool FillCalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                             const QString& widthText, const QString& heightText,
                             FieldGeometry& into) {
    ClearUpperVectorState();
    into.scene.clear();
    into.image.clear();
    into.focal.reset();
    const std::optional<double> width = ParseRealDouble(widthText);
    const std::optional<double> height = ParseRealDouble(heightText);
    if (!width || !height || !(*width > 0.0) || !(*height > 0.0))
        return false;
    into.width = *width;
    into.height = *height;
    // Sized once: a million points grown by doubling touched twice the memory.
    into.scene.resize(size_t(scene.Count()));
    into.image.resize(size_t(image.Count()));
    for (size_t k = 0; k < into.scene.size(); ++k) {
        const VT_Point* point = scene.GetUnchecked(k);
        into.scene[k] = {point->X, point->Y};
    }
    for (size_t k = 0; k < into.image.size(); ++k) {
        const VT_Point* point = image.GetUnchecked(k);
        into.image[k] = {point->X, point->Y};
    }
    return true;
}

std::optional<double> CameraFileFocal(const QString& fileName) {
    try {
        const QStringList values = ReadGeometryValues(fileName, kCameraLineCount);
        if (values.size() <= kCameraFocalLine)
            return std::nullopt;
        const std::optional<double> focal = ParseRealDouble(values[kCameraFocalLine].trimmed());
        if (focal && *focal > 0.0)
            return focal;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

QByteArray FieldCheckJson(const FieldCheck& check) {
    auto value = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    auto known = [&](bool isKnown, double v) {
        return isKnown ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
    };
    QJsonObject object;
    object.insert(QStringLiteral("coefficient"), check.coefficient);
    object.insert(QStringLiteral("sd"), check.sd);
    object.insert(QStringLiteral("n"), QJsonValue(check.n));
    object.insert(QStringLiteral("sem"), check.sem);
    object.insert(QStringLiteral("homography_rms_px"), check.homographyRmsPx);
    object.insert(QStringLiteral("tilt_vertical_deg"),
                  known(check.tiltKnown, check.tiltVerticalDeg));
    object.insert(QStringLiteral("tilt_horizontal_deg"),
                  known(check.tiltKnown, check.tiltHorizontalDeg));
    object.insert(QStringLiteral("tilt_deg"), known(check.tiltKnown, check.tiltDeg));
    object.insert(QStringLiteral("focal_px"), known(check.tiltKnown, check.focalUsed));
    object.insert(QStringLiteral("corrected_coefficient"), value(check.correctedCoefficient));
    object.insert(QStringLiteral("corrected_se"), value(check.correctedSe));
    object.insert(QStringLiteral("views"), check.viewCount);
    object.insert(QStringLiteral("multiview_fx"), value(check.multiviewFx));
    object.insert(QStringLiteral("multiview_fy"), value(check.multiviewFy));
    object.insert(QStringLiteral("multiview_ratio"), value(check.multiviewRatio));
    object.insert(QStringLiteral("multiview_ratio_se"), value(check.multiviewRatioSe));
    object.insert(QStringLiteral("bias"), value(check.bias));
    object.insert(QStringLiteral("bias_se"), value(check.biasSe));
    object.insert(QStringLiteral("warning"), check.warning);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString FieldCheckWarning(const FieldCheck& check) {
    if (!check.warning || !check.bias || !check.reference || !check.biasSe)
        return {};
    return QStringLiteral("Поле наклонено: коэффициент смещён на %1, больше двух стандартных "
                          "ошибок (%2). Надёжнее исправленное значение %3.")
        .arg(FormatFixed4(*check.bias), FormatFixed4(*check.biasSe),
             FormatFixed4(*check.reference));
}

} // namespace vrma
