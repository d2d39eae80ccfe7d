#include "calib/CameraCalibration.h"

#include "data/Errors.h"

#include <QString>
#include <algorithm>
#include <array>
#include <ceres/ceres.h>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <opencv2/calib3d.hpp>
#include <stdexcept>

namespace vrma {

namespace {

// OpenCV's projectPoints lists its derivatives by the rotation vector (3), the translation
// (3), fx and fy, cx and cy, then the lens terms in the order of its coefficients: from the
// seventh column on, the camera's parameters in their own order.
constexpr int kPoseSize = 6;
constexpr int kJacobianColumns = kPoseSize + kCameraParameterCount;

[[noreturn]] void Fail(const QString& message) {
    throw CalcError(message.toStdString());
}

QString NotConverged() {
    return QStringLiteral("Калибровка камеры не сошлась: ни одна камера не согласуется со "
                          "снимками.");
}

QString FocalsUndetermined() {
    return QStringLiteral("Снимки не определяют фокусные расстояния: поле на них повёрнуто "
                          "одинаково или почти не наклонено. Нужны снимки с разным наклоном "
                          "поля.");
}

double Finite(double value) {
    if (!std::isfinite(value))
        Fail(NotConverged());
    return value;
}

struct Photo {
    cv::Mat object;                 // N x 1, CV_64FC3, z = 0
    std::vector<cv::Point2d> image; // pixels
    std::array<double, kPoseSize> pose{};
    PhotoUse use = PhotoUse::Used;
};

cv::Matx33d Matrix(const double* c) {
    return {c[0], 0.0, c[2], 0.0, c[1], c[3], 0.0, 0.0, 1.0};
}

cv::Vec<double, 5> Lens(const double* c) {
    return {c[4], c[5], c[6], c[7], c[8]};
}

// The targets of a photograph through the camera c at the pose p, and the derivatives when
// asked (2N x kJacobianColumns).
void Project(const Photo& photo, const double* c, const double* p,
             std::vector<cv::Point2d>& projected, cv::Mat* jacobian) {
    const cv::Vec3d rotation(p[0], p[1], p[2]);
    const cv::Vec3d translation(p[3], p[4], p[5]);
    if (jacobian)
        cv::projectPoints(photo.object, rotation, translation, Matrix(c), Lens(c), projected,
                          *jacobian);
    else
        cv::projectPoints(photo.object, rotation, translation, Matrix(c), Lens(c), projected);
}

double SquaredError(const Photo& photo, const Camera& camera, const double* pose) {
    std::vector<cv::Point2d> projected;
    Project(photo, camera.values.data(), pose, projected, nullptr);
    double sum = 0.0;
    for (size_t k = 0; k < projected.size(); ++k) {
        const double dx = projected[k].x - photo.image[k].x;
        const double dy = projected[k].y - photo.image[k].y;
        sum += dx * dx + dy * dy;
    }
    return Finite(sum);
}

// One photograph's residuals (projected minus found, x and y of every target) as a
// function of the camera's nine parameters and the photograph's pose.
class Reprojection final : public ceres::CostFunction {
public:
    explicit Reprojection(const Photo& photo) : photo_(photo) {
        set_num_residuals(int(2 * photo.image.size()));
        mutable_parameter_block_sizes()->push_back(kCameraParameterCount);
        mutable_parameter_block_sizes()->push_back(kPoseSize);
    }

    bool Evaluate(double const* const* parameters, double* residuals,
                  double** jacobians) const override {
        const bool derivatives = jacobians && (jacobians[0] || jacobians[1]);
        std::vector<cv::Point2d> projected;
        cv::Mat jacobian;
        Project(photo_, parameters[0], parameters[1], projected, derivatives ? &jacobian : nullptr);
        const size_t n = photo_.image.size();
        for (size_t k = 0; k < n; ++k) {
            residuals[2 * k] = projected[k].x - photo_.image[k].x;
            residuals[2 * k + 1] = projected[k].y - photo_.image[k].y;
            if (!std::isfinite(residuals[2 * k]) || !std::isfinite(residuals[2 * k + 1]))
                return false;
        }
        if (!derivatives)
            return true;
        if (jacobian.cols != kJacobianColumns || jacobian.rows != int(2 * n))
            return false;
        for (int row = 0; row < int(2 * n); ++row) {
            const double* d = jacobian.ptr<double>(row);
            if (jacobians[0])
                for (int c = 0; c < kCameraParameterCount; ++c)
                    jacobians[0][row * kCameraParameterCount + c] = d[kPoseSize + c];
            if (jacobians[1])
                for (int c = 0; c < kPoseSize; ++c)
                    jacobians[1][row * kPoseSize + c] = d[c];
        }
        return true;
    }

private:
    const Photo& photo_;
};

// The least-squares fit of the camera's freed parameters and the poses of the photographs
// used, from their present values.
void Fit(std::vector<Photo>& photos, Camera& camera, const CameraSelection& selection) {
    // Ceres tells of a step it could not take (on a set that does not fix the camera) on
    // standard error, in English; the outcome is judged here instead.
    static std::once_flag quiet;
    std::call_once(quiet, [] { FLAGS_minloglevel = std::max(FLAGS_minloglevel, 2); });
    ceres::Problem problem;
    double* c = camera.values.data();
    std::vector<int> held;
    for (CameraParameter p : kCameraParameters)
        if (!selection.Frees(p))
            held.push_back(int(p));
    if (held.empty())
        problem.AddParameterBlock(c, kCameraParameterCount);
    else
        problem.AddParameterBlock(c, kCameraParameterCount,
                                  new ceres::SubsetManifold(kCameraParameterCount, held));
    auto ordering = std::make_shared<ceres::ParameterBlockOrdering>();
    for (Photo& photo : photos) {
        if (photo.use != PhotoUse::Used)
            continue;
        problem.AddResidualBlock(new Reprojection(photo), nullptr, c, photo.pose.data());
        ordering->AddElementToGroup(photo.pose.data(), 0);
    }
    ordering->AddElementToGroup(c, 1);

    ceres::Solver::Options options;
    options.linear_solver_type = ceres::DENSE_SCHUR;
    options.linear_solver_ordering = ordering;
    options.max_num_iterations = 200;
    options.function_tolerance = 1e-14;
    options.gradient_tolerance = 1e-16;
    options.parameter_tolerance = 1e-14;
    options.logging_type = ceres::SILENT;
    options.minimizer_progress_to_stdout = false;
    ceres::Solver::Summary summary;
    ceres::Solve(options, &problem, &summary);
    if (!summary.IsSolutionUsable())
        Fail(NotConverged());
    for (double v : camera.values)
        Finite(v);
}

// The information of the freed parameters for a measuring error of one pixel: the normal
// matrix of the fit with every pose eliminated, photograph by photograph (the Schur
// complement), in the order of `freed`.
cv::Mat Information(const std::vector<Photo>& photos, const Camera& camera,
                    const std::vector<CameraParameter>& freed) {
    const int p = int(freed.size());
    cv::Mat information = cv::Mat::zeros(p, p, CV_64F);
    std::vector<cv::Point2d> projected;
    cv::Mat jacobian;
    for (const Photo& photo : photos) {
        if (photo.use != PhotoUse::Used)
            continue;
        Project(photo, camera.values.data(), photo.pose.data(), projected, &jacobian);
        const cv::Mat jp = jacobian.colRange(0, kPoseSize);
        cv::Mat ji(jacobian.rows, p, CV_64F);
        for (int k = 0; k < p; ++k)
            jacobian.col(kPoseSize + int(freed[size_t(k)])).copyTo(ji.col(k));
        const cv::Mat a = jp.t() * jp;
        const cv::Mat b = jp.t() * ji;
        cv::Mat x;
        if (!cv::solve(a, b, x, cv::DECOMP_CHOLESKY))
            Fail(NotConverged());
        information += ji.t() * ji - b.t() * x;
    }
    return information;
}

double Median(std::vector<double> values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    return 0.5 *
           (upper + *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(middle)));
}

int CountUsed(const std::vector<Photo>& photos) {
    return int(std::count_if(photos.begin(), photos.end(),
                             [](const Photo& p) { return p.use == PhotoUse::Used; }));
}

// The sum of squares of a photograph at a pose, or infinity when it is not a number.
double SquaresAt(const Photo& photo, const Camera& camera, const double* pose) {
    std::vector<cv::Point2d> projected;
    try {
        Project(photo, camera.values.data(), pose, projected, nullptr);
    } catch (const cv::Exception&) {
        return std::numeric_limits<double>::infinity();
    }
    double sum = 0.0;
    for (size_t j = 0; j < projected.size(); ++j)
        sum += std::pow(projected[j].x - photo.image[j].x, 2) +
               std::pow(projected[j].y - photo.image[j].y, 2);
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
}

// A photograph's own pose under a camera, where OpenCV finds a better one than it has
// (`posed`: it has one; otherwise OpenCV's first guess is taken). False when it has none.
bool OwnPose(Photo& photo, const Camera& camera, bool posed) {
    double best = posed ? SquaresAt(photo, camera, photo.pose.data())
                        : std::numeric_limits<double>::infinity();
    cv::Vec3d rotation(photo.pose[0], photo.pose[1], photo.pose[2]);
    cv::Vec3d translation(photo.pose[3], photo.pose[4], photo.pose[5]);
    try {
        if (!posed && !cv::solvePnP(photo.object, photo.image, camera.Matrix(), camera.Distortion(),
                                    rotation, translation, false, cv::SOLVEPNP_IPPE))
            return false;
        cv::solvePnP(photo.object, photo.image, camera.Matrix(), camera.Distortion(), rotation,
                     translation, true, cv::SOLVEPNP_ITERATIVE);
    } catch (const cv::Exception&) {
        return std::isfinite(best);
    }
    const std::array<double, kPoseSize> pose{rotation[0],    rotation[1],    rotation[2],
                                             translation[0], translation[1], translation[2]};
    const double after = SquaresAt(photo, camera, pose.data());
    if (after < best) { // false for a pose that is not a number
        photo.pose = pose;
        best = after;
    }
    return std::isfinite(best);
}

} // namespace

CameraCalibration CalibrateCamera(std::span<const BoardPhoto> input,
                                  const CameraCalibrationOptions& options) {
    const CameraSelection selection = options.selection;
    const std::vector<CameraParameter> freed = selection.Parameters();
    if (freed.empty())
        throw std::invalid_argument("CalibrateCamera: the selection frees nothing");
    for (const BoardPhoto& photo : input) {
        if (photo.board.size() != photo.image.size())
            throw std::invalid_argument("CalibrateCamera: board and image points differ in count");
        for (size_t k = 0; k < photo.board.size(); ++k)
            if (!std::isfinite(photo.board[k].x) || !std::isfinite(photo.board[k].y) ||
                !std::isfinite(photo.image[k].x) || !std::isfinite(photo.image[k].y))
                throw std::invalid_argument("CalibrateCamera: a point is not a number");
    }

    if (options.minimumPhotos < 2)
        throw std::invalid_argument("CalibrateCamera: fewer than two photographs fix nothing");
    const int minimum = options.minimumPhotos;
    const QString atLeast = minimum == 2   ? QStringLiteral("двух")
                            : minimum == 3 ? QStringLiteral("трёх")
                                           : QString::number(minimum);

    // One camera: every photograph that takes part of one size (those the user left out
    // and those without targets take none).
    const auto takesPart = [](const BoardPhoto& photo) {
        return !photo.leftOut && !photo.board.empty();
    };
    const auto first = std::find_if(input.begin(), input.end(), takesPart);
    if (first == input.end())
        Fail(QStringLiteral("Для калибровки камеры нужно не меньше %1 снимков поля.").arg(atLeast));
    const size_t reference = size_t(first - input.begin());
    const int width = first->width;
    const int height = first->height;
    if (width <= 0 || height <= 0)
        Fail(QStringLiteral("Размер снимка должен быть положительным."));
    for (size_t k = reference + 1; k < input.size(); ++k)
        if (takesPart(input[k]) && (input[k].width != width || input[k].height != height))
            Fail(QStringLiteral("Снимки разного размера: снимок %1 — %2 × %3 пикселей, снимок "
                                "%4 — %5 × %6. Все снимки калибровки должны быть сделаны "
                                "одной камерой с одним размером кадра.")
                     .arg(qulonglong(reference) + 1)
                     .arg(width)
                     .arg(height)
                     .arg(qulonglong(k) + 1)
                     .arg(input[k].width)
                     .arg(input[k].height));

    std::vector<Photo> photos(input.size());
    std::vector<std::vector<cv::Point3f>> startObject;
    std::vector<std::vector<cv::Point2f>> startImage;
    for (size_t k = 0; k < input.size(); ++k) {
        const BoardPhoto& from = input[k];
        Photo& photo = photos[k];
        photo.object.create(int(from.board.size()), 1, CV_64FC3);
        std::vector<cv::Point3f> object;
        std::vector<cv::Point2f> image;
        for (size_t j = 0; j < from.board.size(); ++j) {
            photo.object.at<cv::Vec3d>(int(j)) = {from.board[j].x, from.board[j].y, 0.0};
            photo.image.emplace_back(from.image[j].x, from.image[j].y);
            object.emplace_back(float(from.board[j].x), float(from.board[j].y), 0.0f);
            image.emplace_back(float(from.image[j].x), float(from.image[j].y));
        }
        if (from.board.size() < 4) {
            photo.use = PhotoUse::LeftOutNoPose;
            continue;
        }
        if (from.leftOut) {
            photo.use = PhotoUse::LeftOutByUser;
            continue;
        }
        startObject.push_back(std::move(object));
        startImage.push_back(std::move(image));
    }
    const auto tooFew = [&] {
        Fail(QStringLiteral("Для калибровки камеры нужно не меньше %1 пригодных снимков поля, "
                            "а пригодных %2 из %3.")
                 .arg(atLeast)
                 .arg(CountUsed(photos))
                 .arg(qulonglong(photos.size())));
    };
    if (CountUsed(photos) < minimum)
        tooFew();

    // The start: OpenCV's estimate of the focal lengths, the held values, every pose.
    Camera camera = options.held.value_or(Camera{});
    camera.width = width;
    camera.height = height;
    if (!options.held) {
        camera[CameraParameter::Cx] = 0.5 * (width - 1);
        camera[CameraParameter::Cy] = 0.5 * (height - 1);
    }
    {
        cv::Mat start;
        try {
            start = cv::initCameraMatrix2D(startObject, startImage, cv::Size(width, height), 0.0);
        } catch (const cv::Exception&) {
            Fail(FocalsUndetermined());
        }
        Camera estimate;
        estimate[CameraParameter::Fx] = start.at<double>(0, 0);
        estimate[CameraParameter::Fy] = start.at<double>(1, 1);
        estimate[CameraParameter::Cx] = start.at<double>(0, 2);
        estimate[CameraParameter::Cy] = start.at<double>(1, 2);
        for (CameraParameter p : freed)
            camera[p] = estimate[p];
    }
    for (CameraParameter p : {CameraParameter::Fx, CameraParameter::Fy})
        if (!std::isfinite(camera[p]) || !(camera[p] > 0.0))
            Fail(FocalsUndetermined());
    for (double v : camera.values)
        Finite(v);
    for (Photo& photo : photos) {
        if (photo.use != PhotoUse::Used)
            continue;
        cv::Vec3d rotation, translation;
        bool found = false;
        try {
            found = cv::solvePnP(photo.object, photo.image, camera.Matrix(), camera.Distortion(),
                                 rotation, translation, false, cv::SOLVEPNP_IPPE);
        } catch (const cv::Exception&) {
            found = false;
        }
        for (int k = 0; k < 3; ++k)
            found = found && std::isfinite(rotation[k]) && std::isfinite(translation[k]);
        if (!found) {
            photo.use = PhotoUse::LeftOutNoPose;
            continue;
        }
        photo.pose = {rotation[0],    rotation[1],    rotation[2],
                      translation[0], translation[1], translation[2]};
    }

    // The fit, and again without the photographs whose RMS is over the limit.
    int fits = 0;
    for (;;) {
        if (CountUsed(photos) < minimum)
            tooFew();
        Fit(photos, camera, selection);
        ++fits;
        std::vector<double> rms(photos.size(), 0.0);
        std::vector<double> used;
        for (size_t k = 0; k < photos.size(); ++k) {
            if (photos[k].use != PhotoUse::Used)
                continue;
            rms[k] = std::sqrt(SquaredError(photos[k], camera, photos[k].pose.data()) /
                               double(photos[k].image.size()));
            used.push_back(rms[k]);
        }
        if (!options.leaveOutByRms)
            break;
        const double limit = std::max(kRmsLimitFactor * Median(used), kRmsFloorPx);
        bool leftOut = false;
        for (size_t k = 0; k < photos.size(); ++k) {
            if (photos[k].use == PhotoUse::Used && rms[k] > limit) {
                photos[k].use = PhotoUse::LeftOutRms;
                leftOut = true;
            }
        }
        if (!leftOut)
            break;
    }

    // The information of the freed parameters, and the photographs' own measuring error:
    // the focal lengths must be fixed by them.
    const cv::Mat information = Information(photos, camera, freed);
    const int p = int(freed.size());
    double squares = 0.0;
    size_t points = 0;
    int used = 0;
    for (const Photo& photo : photos) {
        if (photo.use != PhotoUse::Used)
            continue;
        squares += SquaredError(photo, camera, photo.pose.data());
        points += photo.image.size();
        ++used;
    }
    const double dof = 2.0 * double(points) - double(p) - kPoseSize * double(used);
    if (!(dof > 0.0))
        Fail(QStringLiteral("Слишком мало точек для калибровки камеры."));
    const double variance = Finite(squares / dof);
    cv::Mat scale = cv::Mat::ones(p, 1, CV_64F);
    for (int k = 0; k < p; ++k) {
        const CameraParameter parameter = freed[size_t(k)];
        if (parameter == CameraParameter::Fx || parameter == CameraParameter::Fy)
            scale.at<double>(k) = camera[parameter];
        else if (parameter == CameraParameter::Cx || parameter == CameraParameter::Cy)
            scale.at<double>(k) = std::max(width, height);
    }
    const cv::Mat scaling = cv::Mat::diag(scale);
    const cv::Mat scaled = scaling * information * scaling;
    cv::Mat eigenvalues;
    cv::eigen(scaled, eigenvalues);
    double largest = 0.0, smallest = 0.0;
    cv::minMaxLoc(eigenvalues, &smallest, &largest);
    if (!std::isfinite(smallest) || !std::isfinite(largest) || !(smallest > 1e-14 * largest))
        Fail(FocalsUndetermined());
    cv::Mat unit;
    cv::invert(scaled, unit, cv::DECOMP_CHOLESKY);
    unit = scaling * unit * scaling; // the covariance at one pixel of error
    unit = 0.5 * (unit + unit.t());  // symmetric to the last digit
    const double judged = std::max(variance, kFocalJudgedErrorPx * kFocalJudgedErrorPx);
    for (int k = 0; k < p; ++k) {
        const CameraParameter parameter = freed[size_t(k)];
        if ((parameter == CameraParameter::Fx || parameter == CameraParameter::Fy) &&
            !(std::sqrt(judged * unit.at<double>(k, k)) <
              kFocalUndeterminedShare * camera[parameter]))
            Fail(FocalsUndetermined());
    }

    // The result.
    CameraCalibration result;
    result.fits = fits;
    result.camera = camera;
    result.selection = selection;
    result.used = used;
    result.points = points;
    result.rmsPx = Finite(std::sqrt(squares / double(points)));
    result.sigmaPx = std::sqrt(variance);
    for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b)
            result.covariance(freed[size_t(a)], freed[size_t(b)]) =
                Finite(variance * unit.at<double>(a, b));
    result.ratio = Finite(camera.fy() / camera.fx());
    result.ratioSe = Finite(result.covariance.RatioStandardError(camera));
    result.photos.resize(photos.size());
    for (size_t k = 0; k < photos.size(); ++k) {
        Photo& photo = photos[k];
        PhotoFit& fit = result.photos[k];
        fit.use = photo.use;
        fit.points = photo.image.size();
        if (photo.use == PhotoUse::LeftOutNoPose)
            continue;
        if (photo.use == PhotoUse::LeftOutRms || photo.use == PhotoUse::LeftOutByUser) {
            // Its own pose under the camera found: from where the fit left it, or for one the
            // user left out from OpenCV's first guess.
            if (!OwnPose(photo, camera, photo.use == PhotoUse::LeftOutRms))
                continue;
        }
        fit.rmsPx = std::sqrt(SquaresAt(photo, camera, photo.pose.data()) / double(fit.points));
        fit.pose.rotation = {photo.pose[0], photo.pose[1], photo.pose[2]};
        fit.pose.translation = {photo.pose[3], photo.pose[4], photo.pose[5]};
    }
    return result;
}

} // namespace vrma
