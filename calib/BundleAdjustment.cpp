#include "calib/BundleAdjustment.h"

#include "calib/CameraFitError.h"

#include <algorithm>
#include <ceres/ceres.h>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace vrma {

namespace {

// The most targets in one residual block of the solver.
constexpr size_t kTargetsPerBlock = 4096;

// The residuals of targets first .. first + count - 1 of a view (projected minus found, x and
// y of each) as a function of the camera's parameters and the view's pose.
class Reprojection final : public ceres::CostFunction {
public:
    Reprojection(CameraModel model, const FitView& view, size_t first, size_t count)
        : model_(model), board_(view.board.rowRange(int(first), int(first + count))),
          image_(view.image.data() + first), count_(count) {
        set_num_residuals(int(2 * count));
        mutable_parameter_block_sizes()->push_back(kCameraParameterCount);
        mutable_parameter_block_sizes()->push_back(kPoseParameterCount);
    }

    bool Evaluate(double const* const* parameters, double* residuals,
                  double** jacobians) const override {
        const bool derivatives = jacobians && (jacobians[0] || jacobians[1]);
        std::vector<cv::Point2d> projected;
        cv::Mat jacobian;
        ProjectBoard(model_, parameters[0], parameters[1], board_, projected,
                     derivatives ? &jacobian : nullptr);
        const size_t n = count_;
        for (size_t k = 0; k < n; ++k) {
            residuals[2 * k] = projected[k].x - image_[k].x;
            residuals[2 * k + 1] = projected[k].y - image_[k].y;
            if (!std::isfinite(residuals[2 * k]) || !std::isfinite(residuals[2 * k + 1]))
                return false;
        }
        if (!derivatives)
            return true;
        if (jacobian.cols != kProjectionColumns || jacobian.rows != int(2 * n))
            return false;
        for (int row = 0; row < int(2 * n); ++row) {
            const double* d = jacobian.ptr<double>(row);
            if (jacobians[0])
                for (int c = 0; c < kCameraParameterCount; ++c)
                    jacobians[0][row * kCameraParameterCount + c] = d[kPoseParameterCount + c];
            if (jacobians[1])
                for (int c = 0; c < kPoseParameterCount; ++c)
                    jacobians[1][row * kPoseParameterCount + c] = d[c];
        }
        return true;
    }

private:
    CameraModel model_;
    cv::Mat board_;
    const cv::Point2d* image_;
    size_t count_;
};

// The prior's residual, weight * (parameter - value), on the camera's parameter vector.
class PriorResidual final : public ceres::SizedCostFunction<1, kCameraParameterCount> {
public:
    explicit PriorResidual(const ParameterPrior& prior) : prior_(prior) {}

    bool Evaluate(double const* const* parameters, double* residuals,
                  double** jacobians) const override {
        const int at = int(prior_.parameter);
        residuals[0] = prior_.weight * (parameters[0][at] - prior_.value);
        if (jacobians && jacobians[0]) {
            std::fill(jacobians[0], jacobians[0] + kCameraParameterCount, 0.0);
            jacobians[0][at] = prior_.weight;
        }
        return std::isfinite(residuals[0]);
    }

private:
    ParameterPrior prior_;
};

bool Positive(double value) {
    return std::isfinite(value) && value > 0.0;
}

} // namespace

void SolverOptions::Check() const {
    if (maxIterations < 1)
        throw std::invalid_argument("SolverOptions: at least one iteration");
    if (!Positive(functionTolerance) || !Positive(gradientTolerance) ||
        !Positive(parameterTolerance))
        throw std::invalid_argument("SolverOptions: a tolerance is not a positive number");
}

FitView FitView::Of(std::span<const PlanePoint> board, std::span<const PlanePoint> image) {
    FitView view;
    view.board = BoardObject(board);
    view.image.reserve(image.size());
    for (const PlanePoint& p : image)
        view.image.emplace_back(p.x, p.y);
    return view;
}

void AdjustCamera(std::span<FitView> views, Camera& camera, CameraSelection selection,
                  const SolverOptions& options, const std::optional<ParameterPrior>& prior) {
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
    for (FitView& view : views) {
        if (!view.used)
            continue;
        // A view of many targets in blocks of kTargetsPerBlock: the solver's work on each
        // stays in the processor's caches.
        for (size_t first = 0; first < view.points(); first += kTargetsPerBlock)
            problem.AddResidualBlock(
                new Reprojection(camera.model, view, first,
                                 std::min(kTargetsPerBlock, view.points() - first)),
                nullptr, c, view.pose.data());
        ordering->AddElementToGroup(view.pose.data(), 0);
    }
    if (prior)
        problem.AddResidualBlock(new PriorResidual(*prior), nullptr, c);
    ordering->AddElementToGroup(c, 1);

    ceres::Solver::Options solver;
    solver.linear_solver_type = ceres::DENSE_SCHUR;
    solver.linear_solver_ordering = ordering;
    solver.max_num_iterations = options.maxIterations;
    solver.function_tolerance = options.functionTolerance;
    solver.gradient_tolerance = options.gradientTolerance;
    solver.parameter_tolerance = options.parameterTolerance;
    solver.logging_type = ceres::SILENT;
    solver.minimizer_progress_to_stdout = false;
    ceres::Solver::Summary summary;
    ceres::Solve(solver, &problem, &summary);
    if (!summary.IsSolutionUsable())
        throw CameraFitError(CameraFitError::Code::NotConverged);
    for (double v : camera.values)
        if (!std::isfinite(v))
            throw CameraFitError(CameraFitError::Code::NotConverged);
    // The mirror image of the board at a negative focal length explains the targets as well:
    // the photographs have not fixed the focal lengths.
    if (!(camera.fx() > 0.0) || !(camera.fy() > 0.0))
        throw CameraFitError(CameraFitError::Code::FocalsUndetermined);
}

double SquaredError(const FitView& view, const Camera& camera) {
    return SquaredError(view, camera, view.pose);
}

double SquaredError(const FitView& view, const Camera& camera, const PoseVector& pose) {
    std::vector<cv::Point2d> projected;
    try {
        ProjectBoard(camera.model, camera.values.data(), pose.data(), view.board, projected,
                     nullptr);
    } catch (const cv::Exception&) {
        return std::numeric_limits<double>::infinity();
    }
    double sum = 0.0;
    for (size_t k = 0; k < projected.size(); ++k) {
        const double dx = projected[k].x - view.image[k].x;
        const double dy = projected[k].y - view.image[k].y;
        sum += dx * dx + dy * dy;
    }
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
}

NormalEquations CameraNormalEquations(std::span<const FitView> views, const Camera& camera,
                                      const std::vector<CameraParameter>& freed,
                                      const std::optional<ParameterPrior>& prior) {
    const int p = int(freed.size());
    NormalEquations normal{cv::Mat::zeros(p, p, CV_64F), cv::Mat::zeros(p, p, CV_64F)};
    std::vector<cv::Point2d> projected;
    cv::Mat jacobian;
    cv::Mat ji;
    for (const FitView& view : views) {
        if (!view.used)
            continue;
        // The view's blocks of the normal matrix: pose-pose, pose-camera, camera-camera,
        // summed over its targets kTargetsPerBlock at a time.
        cv::Mat a = cv::Mat::zeros(kPoseParameterCount, kPoseParameterCount, CV_64F);
        cv::Mat b = cv::Mat::zeros(kPoseParameterCount, p, CV_64F);
        cv::Mat own = cv::Mat::zeros(p, p, CV_64F);
        for (size_t first = 0; first < view.points(); first += kTargetsPerBlock) {
            const size_t count = std::min(kTargetsPerBlock, view.points() - first);
            ProjectBoard(camera.model, camera.values.data(), view.pose.data(),
                         view.board.rowRange(int(first), int(first + count)), projected, &jacobian);
            const cv::Mat jp = jacobian.colRange(0, kPoseParameterCount);
            ji.create(jacobian.rows, p, CV_64F);
            for (int k = 0; k < p; ++k)
                jacobian.col(ProjectionColumn(freed[size_t(k)])).copyTo(ji.col(k));
            a += jp.t() * jp;
            b += jp.t() * ji;
            own += ji.t() * ji;
        }
        cv::Mat x;
        if (!cv::solve(a, b, x, cv::DECOMP_CHOLESKY))
            throw CameraFitError(CameraFitError::Code::NotConverged);
        normal.camera += own;
        normal.reduced += own - b.t() * x;
    }
    if (prior && prior->weight > 0.0) {
        const auto at = std::find(freed.begin(), freed.end(), prior->parameter);
        if (at != freed.end()) {
            const int k = int(at - freed.begin());
            normal.camera.at<double>(k, k) += prior->weight * prior->weight;
            normal.reduced.at<double>(k, k) += prior->weight * prior->weight;
        }
    }
    return normal;
}

} // namespace vrma
