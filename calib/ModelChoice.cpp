#include "calib/ModelChoice.h"

#include <cmath>
#include <future>

namespace vrma {

namespace {

// One offered model's outcome: its calibration and whether its halves agree.
struct Tried {
    CameraSelection model;
    std::optional<CameraCalibration> fit;
    bool agrees = false;
    std::optional<CameraFitError> error;
};

// Whether the calibration finds some term beyond `lean` significant.
bool FindsMoreThan(const CameraCalibration& richer, CameraSelection lean) {
    for (CameraParameter p : richer.selection.Parameters()) {
        if (lean.Frees(p))
            continue;
        const double se = richer.covariance.StandardError(p);
        if (se > 0.0 && std::abs(richer.camera[p]) > kSignificantSe * se)
            return true;
    }
    return false;
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
    const auto pinhole = [](const Tried& t) { return t.model.Model() == CameraModel::Pinhole; };
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
    // The pinhole models are nested, leanest first: the leanest whose halves agree and that
    // holds no term a richer one finds significant.
    for (size_t k = 0; k < tried.size(); ++k) {
        if (!tried[k].agrees || !pinhole(tried[k]))
            continue;
        bool enough = true;
        for (size_t j = k + 1; j < tried.size(); ++j)
            if (pinhole(tried[j]) && tried[j].fit && tried[j].fit->unfounded.Count() == 0 &&
                FindsMoreThan(*tried[j].fit, tried[k].model))
                enough = false;
        if (enough)
            return tried[k].model;
    }
    tryAll(CameraModel::Fisheye, tried);
    std::optional<CameraFitError> last;
    for (const Tried& t : tried)
        if (t.error)
            last = t.error;
    // A lens no pinhole model describes (a fisheye's field): the fisheye when its halves agree.
    for (const Tried& t : tried)
        if (!pinhole(t) && t.agrees)
            return t.model;
    // None supported: the one that leaves the least error, the richer of two that leave the same.
    const Tried* best = nullptr;
    for (const Tried& t : tried)
        if (t.fit && (!best || t.fit->rmsPx <= best->fit->rmsPx))
            best = &t;
    if (best)
        return best->model;
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
