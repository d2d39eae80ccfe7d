#include "calib/ModelChoice.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <future>
#include <limits>

namespace vrma {

namespace {

// One offered model's outcome: its calibration and whether its halves agree.
struct Tried {
    CameraSelection model;
    std::optional<CameraCalibration> fit;
    bool agrees = false;
    std::optional<CameraFitError> error;
};

// The chi-square with k degrees of freedom that is passed as rarely as a normal deviate is
// beyond kSignificantSe standard errors (both sides: 5.7e-7), for k = 1 ... 12.
constexpr double kWaldBound[] = {25.00, 28.74, 31.81, 34.56, 37.09, 39.49,
                                 41.78, 43.98, 46.12, 48.19, 50.21, 52.19};

// Whether the calibration finds the terms it frees beyond `lean` significant, together: their
// Wald statistic (the terms against their joint covariance) beyond kWaldBound. Terms of a
// lens correlate, so that each alone may stay within its standard errors while together they
// are plainly there.
bool FindsMoreThan(const CameraCalibration& richer, CameraSelection lean) {
    std::vector<CameraParameter> extra;
    for (CameraParameter p : richer.selection.Parameters())
        if (!lean.Frees(p) && richer.covariance.StandardError(p) > 0.0)
            extra.push_back(p);
    if (extra.empty())
        return false;
    const int k = int(extra.size());
    cv::Mat covariance(k, k, CV_64F), terms(k, 1, CV_64F);
    for (int a = 0; a < k; ++a) {
        terms.at<double>(a) = richer.camera[extra[size_t(a)]];
        for (int b = 0; b < k; ++b)
            covariance.at<double>(a, b) = richer.covariance(extra[size_t(a)], extra[size_t(b)]);
    }
    cv::Mat solved;
    if (!cv::solve(covariance, terms, solved, cv::DECOMP_SVD))
        return false;
    const double wald = terms.dot(solved);
    static_assert(kSignificantSe == 5.0, "the bounds are those of five standard errors");
    return std::isfinite(wald) && wald > kWaldBound[std::min<size_t>(extra.size(), 12) - 1];
}

// The model fitted, its halves compared.
Tried Try(std::span<const BoardPhoto> photos, const CameraCalibrationOptions& options,
          CameraSelection model) {
    Tried t{model, std::nullopt, false, std::nullopt};
    CameraCalibrationOptions own = options;
    own.selection = model;
    try {
        t.fit = CalibrateCamera(photos, own);
        const ProjectionUncertainty map =
            UncertaintyOf(photos, *t.fit, InformationOf(photos, *t.fit));
        const std::optional<CrossValidation> check = CrossValidate(photos, *t.fit, map, own);
        t.agrees = t.fit->unfounded.Count() == 0 && check && !check->modelError;
    } catch (const CameraFitError& error) {
        t.error = error;
    }
    return t;
}

bool Pinhole(const Tried& t) {
    return t.model.Model() == CameraModel::Pinhole;
}

// The pinhole models are nested, leanest first: the leanest of those calibrated (with
// `supported`, only those whose halves agree, their terms founded) that holds no term a richer
// one of them finds significant (terms a fit held have no standard error and count for none).
const Tried* Leanest(const std::vector<Tried>& tried, bool supported) {
    const auto counts = [supported](const Tried& t) {
        return Pinhole(t) && t.fit && (!supported || t.agrees);
    };
    for (size_t k = 0; k < tried.size(); ++k) {
        if (!counts(tried[k]))
            continue;
        bool enough = true;
        for (size_t j = k + 1; j < tried.size(); ++j)
            if (counts(tried[j]) && FindsMoreThan(*tried[j].fit, tried[k].model))
                enough = false;
        if (enough)
            return &tried[k];
    }
    return nullptr;
}

} // namespace

std::vector<CameraSelection> OfferedModels() {
    return {CameraSelection::NoDistortion(), CameraSelection::RadialOnly(),
            CameraSelection::OpenCvDefault(), CameraSelection::Rational(),
            CameraSelection::Fisheye()};
}

CameraSelection ChooseModel(std::span<const BoardPhoto> photos,
                            const CameraCalibrationOptions& options) {
    // The pinhole models are tried side by side (each fit reads the photographs only); the
    // models of another projection only when none of them is supported.
    const auto tryAll = [&](CameraModel kind, std::vector<Tried>& tried) {
        std::vector<std::future<Tried>> trials;
        for (CameraSelection model : OfferedModels())
            if (model.Model() == kind)
                trials.push_back(std::async(std::launch::async, [&photos, &options, model] {
                    return Try(photos, options, model);
                }));
        for (std::future<Tried>& trial : trials)
            tried.push_back(trial.get());
    };
    std::vector<Tried> tried;
    tryAll(CameraModel::Pinhole, tried);
    if (const Tried* leanest = Leanest(tried, true))
        return leanest->model;
    // A lens no pinhole model describes (a fisheye's field): the fisheye when its halves agree.
    tryAll(CameraModel::Fisheye, tried);
    for (const Tried& t : tried)
        if (!Pinhole(t) && t.agrees)
            return t.model;
    // None supported: the same choice among the pinhole models, their halves aside, unless the
    // fisheye leaves less error than every pinhole model; failing that, the richest that
    // calibrates.
    double pinholeRms = std::numeric_limits<double>::infinity();
    for (const Tried& t : tried)
        if (Pinhole(t) && t.fit)
            pinholeRms = std::min(pinholeRms, t.fit->rmsPx);
    for (const Tried& t : tried)
        if (!Pinhole(t) && t.fit && t.fit->rmsPx < pinholeRms)
            return t.model;
    if (const Tried* leanest = Leanest(tried, false))
        return leanest->model;
    std::optional<CameraFitError> last;
    for (auto t = tried.rbegin(); t != tried.rend(); ++t) {
        if (t->fit)
            return t->model;
        if (t->error && !last)
            last = t->error;
    }
    if (last)
        throw *last;
    return options.selection;
}

CameraCalibration CalibrateWithModel(std::span<const PhotoDetection> photos,
                                     const std::vector<bool>& leftOut,
                                     std::optional<CameraSelection> model) {
    if (!model)
        model = ChooseModel(BoardPhotosOf(photos, leftOut));
    return CalibrateFromPhotos(photos, leftOut, *model);
}

} // namespace vrma
