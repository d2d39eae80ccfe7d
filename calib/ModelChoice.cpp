#include "calib/ModelChoice.h"

#include <cmath>

namespace vrma {

namespace {

// One offered model's outcome: its calibration and whether its halves agree.
struct Tried {
    CameraSelection model;
    std::optional<CameraCalibration> fit;
    bool agrees = false;
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

} // namespace

std::vector<CameraSelection> OfferedModels() {
    return {CameraSelection::NoDistortion(), CameraSelection::RadialOnly(),
            CameraSelection::OpenCvDefault(), CameraSelection::Rational()};
}

CameraSelection ChooseModel(std::span<const BoardPhoto> photos,
                            const CameraCalibrationOptions& options) {
    std::vector<Tried> tried;
    std::optional<CameraFitError> last;
    for (CameraSelection model : OfferedModels()) {
        Tried t{model, std::nullopt, false};
        CameraCalibrationOptions own = options;
        own.selection = model;
        try {
            t.fit = CalibrateCamera(photos, own);
            const ProjectionUncertainty map =
                UncertaintyOf(photos, *t.fit, InformationOf(photos, *t.fit));
            const std::optional<CrossValidation> check = CrossValidate(photos, *t.fit, map, own);
            t.agrees = t.fit->unfounded.Count() == 0 && check && !check->modelError;
        } catch (const CameraFitError& error) {
            last = error;
        }
        tried.push_back(std::move(t));
    }
    for (size_t k = 0; k < tried.size(); ++k) {
        if (!tried[k].agrees)
            continue;
        bool enough = true;
        for (size_t j = k + 1; j < tried.size(); ++j)
            if (tried[j].fit && tried[j].fit->unfounded.Count() == 0 &&
                FindsMoreThan(*tried[j].fit, tried[k].model))
                enough = false;
        if (enough)
            return tried[k].model;
    }
    for (auto t = tried.rbegin(); t != tried.rend(); ++t)
        if (t->fit)
            return t->model;
    if (last)
        throw *last;
    return options.selection;
}

} // namespace vrma
