#include "calib/CameraCalibration.h"

#include "calib/CameraTrust.h"
#include "calib/FisheyeStart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <opencv2/calib3d.hpp>
#include <stdexcept>
#include <utility>

namespace vrma {

void CameraCalibrationOptions::Check() const {
    if (selection.Count() == 0)
        throw std::invalid_argument("CalibrateCamera: the selection frees nothing");
    if (minimumPhotos < 2)
        throw std::invalid_argument("CalibrateCamera: fewer than two photographs fix nothing");
    solver.Check();
}

namespace {

using Code = CameraFitError::Code;

double Finite(double value) {
    if (!std::isfinite(value))
        throw CameraFitError(Code::NotConverged);
    return value;
}

// The photographs as the phases see them: each as a view of the fit, with its use.
struct PhotoSet {
    std::vector<FitView> views;
    std::vector<PhotoUse> uses;
    int width = 0;
    int height = 0;

    void SetUse(size_t k, PhotoUse use) {
        uses[k] = use;
        views[k].used = use == PhotoUse::Used;
    }
    int Used() const { return int(std::count(uses.begin(), uses.end(), PhotoUse::Used)); }
};

// --- The check ---------------------------------------------------------------------------

void CheckPoints(std::span<const BoardPhoto> input) {
    for (const BoardPhoto& photo : input) {
        if (photo.board.size() != photo.image.size())
            throw std::invalid_argument("CalibrateCamera: board and image points differ in count");
        for (size_t k = 0; k < photo.board.size(); ++k)
            if (!std::isfinite(photo.board[k].x) || !std::isfinite(photo.board[k].y) ||
                !std::isfinite(photo.image[k].x) || !std::isfinite(photo.image[k].y))
                throw std::invalid_argument("CalibrateCamera: a point is not a number");
    }
}

// Whether a photograph takes part in the choice of the set's size: the user has not left it
// out and it has targets.
bool TakesPart(const BoardPhoto& photo) {
    return !photo.leftOut && !photo.board.empty();
}

// The size most photographs taking part share; on a tie, that of the first of them.
std::pair<int, int> SetSize(std::span<const BoardPhoto> input, int minimum) {
    std::map<std::pair<int, int>, int> counts;
    for (const BoardPhoto& photo : input)
        if (TakesPart(photo))
            ++counts[{photo.width, photo.height}];
    if (counts.empty())
        throw CameraFitError(Code::TooFewPhotos, minimum);
    std::pair<int, int> size;
    int best = 0;
    for (const BoardPhoto& photo : input) {
        if (!TakesPart(photo))
            continue;
        const int count = counts[{photo.width, photo.height}];
        if (count > best) {
            best = count;
            size = {photo.width, photo.height};
        }
    }
    if (size.first <= 0 || size.second <= 0)
        throw CameraFitError(Code::SizeNotPositive);
    return size;
}

PhotoSet Check(std::span<const BoardPhoto> input, const CameraCalibrationOptions& options) {
    options.Check();
    CheckPoints(input);
    PhotoSet set;
    std::tie(set.width, set.height) = SetSize(input, options.minimumPhotos);
    set.views.resize(input.size());
    set.uses.resize(input.size(), PhotoUse::Used);
    for (size_t k = 0; k < input.size(); ++k) {
        const BoardPhoto& photo = input[k];
        set.views[k] = FitView::Of(photo.board, photo.image);
        if (photo.board.size() < 4)
            set.SetUse(k, PhotoUse::LeftOutNoPose);
        else if (photo.leftOut)
            set.SetUse(k, PhotoUse::LeftOutByUser);
        else if (photo.width != set.width || photo.height != set.height)
            set.SetUse(k, PhotoUse::LeftOutSize);
    }
    if (set.Used() < options.minimumPhotos)
        throw CameraFitError(Code::TooFewUsable, options.minimumPhotos, set.Used(), input.size());
    return set;
}

// --- The start ---------------------------------------------------------------------------

// The fisheye's start: the focal lengths freed from the equidistant projection around the
// principal point as held (calib/FisheyeStart), the lens terms as held.
Camera FisheyeStartCamera(std::span<const BoardPhoto> input, const PhotoSet& set,
                          const CameraCalibrationOptions& options, Camera camera) {
    std::vector<BoardPhoto> used;
    for (size_t k = 0; k < input.size(); ++k)
        if (set.uses[k] == PhotoUse::Used)
            used.push_back(input[k]);
    const std::optional<double> f = EquidistantFocalLength(used, camera.cx(), camera.cy(),
                                                           double(std::max(set.width, set.height)));
    if (!f)
        throw CameraFitError(Code::FocalsUndetermined);
    for (CameraParameter p : {CameraParameter::Fx, CameraParameter::Fy})
        if (options.selection.Frees(p) || !(camera[p] > 0.0))
            camera[p] = *f;
    return camera;
}

// The focal lengths (and what else is freed of the principal point) from OpenCV's estimate;
// the held values as the options give them.
Camera StartCamera(std::span<const BoardPhoto> input, const PhotoSet& set,
                   const CameraCalibrationOptions& options) {
    std::vector<std::vector<cv::Point3f>> objects;
    std::vector<std::vector<cv::Point2f>> images;
    for (size_t k = 0; k < input.size(); ++k) {
        if (set.uses[k] != PhotoUse::Used)
            continue;
        std::vector<cv::Point3f> object;
        std::vector<cv::Point2f> image;
        for (size_t j = 0; j < input[k].board.size(); ++j) {
            object.emplace_back(float(input[k].board[j].x), float(input[k].board[j].y), 0.0f);
            image.emplace_back(float(input[k].image[j].x), float(input[k].image[j].y));
        }
        objects.push_back(std::move(object));
        images.push_back(std::move(image));
    }
    Camera camera = options.held.value_or(Camera{});
    camera.width = set.width;
    camera.height = set.height;
    camera.model = options.selection.Model();
    if (!options.held) {
        camera[CameraParameter::Cx] = 0.5 * (set.width - 1);
        camera[CameraParameter::Cy] = 0.5 * (set.height - 1);
    }
    if (camera.Fisheye())
        return FisheyeStartCamera(input, set, options, camera);
    cv::Mat start;
    try {
        start = cv::initCameraMatrix2D(objects, images, cv::Size(set.width, set.height), 0.0);
    } catch (const cv::Exception&) {
        throw CameraFitError(Code::FocalsUndetermined);
    }
    Camera estimate;
    estimate[CameraParameter::Fx] = start.at<double>(0, 0);
    estimate[CameraParameter::Fy] = start.at<double>(1, 1);
    estimate[CameraParameter::Cx] = start.at<double>(0, 2);
    estimate[CameraParameter::Cy] = start.at<double>(1, 2);
    for (CameraParameter p : options.selection.Parameters())
        camera[p] = estimate[p];
    for (CameraParameter p : {CameraParameter::Fx, CameraParameter::Fy})
        if (!std::isfinite(camera[p]) || !(camera[p] > 0.0))
            throw CameraFitError(Code::FocalsUndetermined);
    for (double v : camera.values)
        Finite(v);
    return camera;
}

// Every photograph's pose under the starting camera; one without is left out.
void StartPoses(PhotoSet& set, const Camera& camera) {
    for (size_t k = 0; k < set.views.size(); ++k) {
        if (set.uses[k] != PhotoUse::Used)
            continue;
        FitView& view = set.views[k];
        Pose pose;
        bool found = false;
        try {
            found = SolveBoardPose(camera, view.board, view.image, pose, false, cv::SOLVEPNP_IPPE);
        } catch (const cv::Exception&) {
            found = false;
        }
        for (int c = 0; c < 3; ++c)
            found = found && std::isfinite(pose.rotation[c]) && std::isfinite(pose.translation[c]);
        if (!found) {
            set.SetUse(k, PhotoUse::LeftOutNoPose);
            continue;
        }
        view.pose = ToVector(pose);
    }
}

// --- The fit with rejection ----------------------------------------------------------------

double Median(std::vector<double> values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    return 0.5 *
           (upper + *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(middle)));
}

// The fits run: the camera fitted, and again without the photographs whose RMS is over the
// limit.
int FitWithRejection(PhotoSet& set, Camera& camera, const CameraCalibrationOptions& options) {
    const size_t n = set.views.size();
    for (int fits = 1;; ++fits) {
        if (set.Used() < options.minimumPhotos)
            throw CameraFitError(Code::TooFewUsable, options.minimumPhotos, set.Used(), n);
        AdjustCamera(set.views, camera, options.selection, options.solver);
        if (!options.leaveOutByRms)
            return fits;
        std::vector<double> rms(n, 0.0);
        std::vector<double> used;
        for (size_t k = 0; k < n; ++k) {
            if (set.uses[k] != PhotoUse::Used)
                continue;
            rms[k] = std::sqrt(Finite(SquaredError(set.views[k], camera)) /
                               double(set.views[k].points()));
            used.push_back(rms[k]);
        }
        const double limit = std::max(kRmsLimitFactor * Median(used), kRmsFloorPx);
        bool leftOut = false;
        for (size_t k = 0; k < n; ++k) {
            if (set.uses[k] == PhotoUse::Used && rms[k] > limit) {
                set.SetUse(k, PhotoUse::LeftOutRms);
                leftOut = true;
            }
        }
        if (!leftOut)
            return fits;
    }
}

// --- The covariance ------------------------------------------------------------------------

struct Uncertainty {
    double squares = 0.0;  // of all targets used
    size_t points = 0;     // targets used
    int used = 0;          // photographs used
    double variance = 0.0; // of one coordinate
    cv::Mat unit;          // the covariance of the freed parameters at one pixel of error
};

// The freed parameters' information and the photographs' own measuring error: the focal
// lengths must be fixed by them.
Uncertainty Covariance(const PhotoSet& set, const Camera& camera,
                       const std::vector<CameraParameter>& freed) {
    const cv::Mat information = CameraNormalEquations(set.views, camera, freed).reduced;
    const int p = int(freed.size());
    Uncertainty u;
    for (const FitView& view : set.views) {
        if (!view.used)
            continue;
        u.squares += Finite(SquaredError(view, camera));
        u.points += view.points();
        ++u.used;
    }
    const double dof = 2.0 * double(u.points) - double(p) - kPoseParameterCount * double(u.used);
    if (!(dof > 0.0))
        throw CameraFitError(Code::TooFewPoints);
    u.variance = Finite(u.squares / dof);
    // The focal lengths relative to their value, the principal point to the frame's size,
    // and each lens term in the unit that gives it the information of the largest of those
    // (the rational model's terms differ by orders of magnitude in their own units).
    cv::Mat scale = cv::Mat::ones(p, 1, CV_64F);
    double reference = 0.0;
    for (int k = 0; k < p; ++k) {
        const CameraParameter parameter = freed[size_t(k)];
        if (parameter == CameraParameter::Fx || parameter == CameraParameter::Fy)
            scale.at<double>(k) = camera[parameter];
        else if (parameter == CameraParameter::Cx || parameter == CameraParameter::Cy)
            scale.at<double>(k) = std::max(set.width, set.height);
        else
            continue;
        reference = std::max(reference, information.at<double>(k, k) * scale.at<double>(k) *
                                            scale.at<double>(k));
    }
    for (int k = 0; k < p; ++k) {
        const double own = information.at<double>(k, k);
        if (CameraSelection::AnyLens().Frees(freed[size_t(k)]) && reference > 0.0 && own > 0.0)
            scale.at<double>(k) = std::sqrt(reference / own);
    }
    const cv::Mat scaling = cv::Mat::diag(scale);
    const cv::Mat scaled = scaling * information * scaling;
    cv::Mat eigenvalues;
    cv::eigen(scaled, eigenvalues);
    double largest = 0.0, smallest = 0.0;
    cv::minMaxLoc(eigenvalues, &smallest, &largest);
    if (!std::isfinite(smallest) || !std::isfinite(largest) || !(smallest > 1e-14 * largest))
        throw CameraFitError(Code::FocalsUndetermined);
    cv::invert(scaled, u.unit, cv::DECOMP_CHOLESKY);
    u.unit = scaling * u.unit * scaling;  // the covariance at one pixel of error
    u.unit = 0.5 * (u.unit + u.unit.t()); // symmetric to the last digit
    const double judged = std::max(u.variance, kFocalJudgedErrorPx * kFocalJudgedErrorPx);
    for (int k = 0; k < p; ++k) {
        const CameraParameter parameter = freed[size_t(k)];
        if ((parameter == CameraParameter::Fx || parameter == CameraParameter::Fy) &&
            !(std::sqrt(judged * u.unit.at<double>(k, k)) <
              kFocalUndeterminedShare * camera[parameter]))
            throw CameraFitError(Code::FocalsUndetermined);
    }
    return u;
}

// --- The result ----------------------------------------------------------------------------

// A photograph's own pose under a camera, where OpenCV finds a better one than it has
// (`posed`: it has one; otherwise OpenCV's first guess is taken). False when it has none.
bool OwnPose(FitView& view, const Camera& camera, bool posed) {
    double best = posed ? SquaredError(view, camera) : std::numeric_limits<double>::infinity();
    Pose pose = FromVector(view.pose);
    try {
        if (!posed &&
            !SolveBoardPose(camera, view.board, view.image, pose, false, cv::SOLVEPNP_IPPE))
            return false;
        SolveBoardPose(camera, view.board, view.image, pose, true, cv::SOLVEPNP_ITERATIVE);
    } catch (const cv::Exception&) {
        return std::isfinite(best);
    }
    const double after = SquaredError(view, camera, ToVector(pose));
    if (after < best) { // false for a pose that is not a number
        view.pose = ToVector(pose);
        best = after;
    }
    return std::isfinite(best);
}

PhotoFit PhotoResult(FitView& view, PhotoUse use, const Camera& camera) {
    PhotoFit fit;
    fit.use = use;
    fit.points = view.points();
    if (use == PhotoUse::LeftOutNoPose || use == PhotoUse::LeftOutSize)
        return fit;
    // One left out by its RMS or by the user: its own pose under the camera found, from where
    // the fit left it, or for one the user left out from OpenCV's first guess.
    if ((use == PhotoUse::LeftOutRms || use == PhotoUse::LeftOutByUser) &&
        !OwnPose(view, camera, use == PhotoUse::LeftOutRms))
        return fit;
    fit.rmsPx = std::sqrt(SquaredError(view, camera) / double(fit.points));
    fit.pose = FromVector(view.pose);
    return fit;
}

CameraCalibration Result(PhotoSet& set, const Camera& camera, CameraSelection selection,
                         const std::vector<CameraParameter>& freed, const Uncertainty& u,
                         int fits) {
    CameraCalibration result;
    result.fits = fits;
    result.camera = camera;
    result.selection = selection;
    result.used = u.used;
    result.points = u.points;
    result.rmsPx = Finite(std::sqrt(u.squares / double(u.points)));
    result.sigmaPx = std::sqrt(u.variance);
    const int p = int(freed.size());
    for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b)
            result.covariance(freed[size_t(a)], freed[size_t(b)]) =
                Finite(u.variance * u.unit.at<double>(a, b));
    result.ratio = Finite(camera.fy() / camera.fx());
    result.ratioSe = Finite(result.covariance.RatioStandardError(camera));
    result.photos.reserve(set.views.size());
    for (size_t k = 0; k < set.views.size(); ++k)
        result.photos.push_back(PhotoResult(set.views[k], set.uses[k], camera));
    return result;
}

} // namespace

namespace {

CameraCalibration CalibrateAsAsked(std::span<const BoardPhoto> input,
                                   const CameraCalibrationOptions& options) {
    PhotoSet set = Check(input, options);
    Camera camera = StartCamera(input, set, options);
    StartPoses(set, camera);
    // A fisheye's lens terms freed once its focal lengths and principal point have come
    // near.
    const CameraSelection plain =
        options.selection & (CameraSelection::FocalLengths() | CameraSelection::PrincipalPoint());
    if (camera.Fisheye() && plain.Count() > 0 && plain.Count() < options.selection.Count())
        AdjustCamera(set.views, camera, plain, options.solver);
    const int fits = FitWithRejection(set, camera, options);
    const std::vector<CameraParameter> freed = options.selection.Parameters();
    const Uncertainty uncertainty = Covariance(set, camera, freed);
    return Result(set, camera, options.selection, freed, uncertainty, fits);
}

// The parameter the photographs cannot tell from the others, when there is one.
std::optional<CameraParameter> Inseparable(std::span<const BoardPhoto> input,
                                           const CameraCalibration& calibration) {
    const CameraTrust trust = JudgeTrust(InformationOf(input, calibration, false));
    if (trust.Degenerate())
        return trust.inflated;
    return std::nullopt;
}

} // namespace

CameraCalibration CalibrateCamera(std::span<const BoardPhoto> input,
                                  const CameraCalibrationOptions& options) {
    // The lens terms that the photographs do not tell apart are held in steps: the rational
    // model's denominator first (on boards that keep near the axis it trades against k1-k3
    // until the information cannot be inverted), then every lens term.
    const auto lean = [&options](CameraSelection held) {
        CameraCalibrationOptions fewer = options;
        fewer.selection = options.selection.Without(held);
        return fewer;
    };
    const CameraSelection rational = options.selection.Model() == CameraModel::Pinhole
                                         ? options.selection & CameraSelection::RationalTerms()
                                         : CameraSelection();
    CameraSelection held;
    CameraCalibration result;
    try {
        result = CalibrateAsAsked(input, options);
    } catch (const CameraFitError& error) {
        if (!options.judgeFounded || error.code() != Code::FocalsUndetermined ||
            rational.Count() == 0)
            throw;
        held = rational;
        result = CalibrateAsAsked(input, lean(held));
    }
    if (!options.judgeFounded)
        return result;
    std::optional<CameraParameter> inseparable = Inseparable(input, result);
    if (inseparable && held.Count() == 0 && rational.Count() > 0) {
        held = rational;
        result = CalibrateAsAsked(input, lean(held));
        inseparable = Inseparable(input, result);
    }
    if (inseparable) {
        held = options.selection & CameraSelection::AnyLens();
        if (held.Count() == 0 || held == options.selection)
            throw CameraFitError(Code::Inseparable, int(*inseparable));
        result = CalibrateAsAsked(input, lean(held));
        if (const std::optional<CameraParameter> still = Inseparable(input, result))
            throw CameraFitError(Code::Inseparable, int(*still));
    }
    result.unfounded = held;
    return result;
}

} // namespace vrma
