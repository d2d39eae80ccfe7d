// Whether a calibrated camera can be trusted (calib/CameraAssessment), against known truth:
//   vrma_bench_camera_trust coverage SETS [PHOTOS] [NOISE] [TANGENTIAL]
//       SETS sets of PHOTOS (12) point sets through a lens with NOISE (0.05) px of noise
//       (its tangential terms TANGENTIAL (1) times the usual): the share of the map's cells
//       seen where the true projection lies within 2 and 3 sigma, the median sigma seen, and
//       the cross-validation's ratio and model error for the right model, for one without the
//       lens and for one with radial terms only, beside how far the radial model's projection
//       truly is from the truth (the median over the cells seen, in its sigma); one line a set,
//       then the totals.
// The Google Benchmark cases: CameraTrust/N, the information, map and cross-validation of
// N views of a 9 x 6 board; ModelChoice/N, the automatic model of the same views.
#include "calib/CameraTrust.h"
#include "calib/CrossValidation.h"
#include "calib/ModelChoice.h"
#include "calib/ProjectionUncertainty.h"
#include "support/BenchSupport.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/calib3d.hpp>

namespace {

using namespace vrma;

test::PhotoScene Lens(double tangential = 1.0) {
    test::PhotoScene scene;
    scene.k1 = -0.21;
    scene.k2 = 0.08;
    scene.p1 = 0.0012 * tangential;
    scene.p2 = -0.0009 * tangential;
    scene.k3 = -0.015;
    scene.cx = 0.5 * (scene.width - 1) + 12.0;
    scene.cy = 0.5 * (scene.height - 1) - 9.0;
    return scene;
}

// Where the true camera and poses put the point the map projects at a cell.
double TruthOff(const CameraCalibration& fit, const std::vector<test::PhotoScene>& scenes,
                const UncertaintyCell& cell, double distance) {
    const cv::Vec3d point = PointAtPixel(fit.camera, cell.x, cell.y, distance);
    cv::Vec3d mean(0, 0, 0);
    int n = 0;
    Camera truth;
    for (size_t k = 0; k < scenes.size(); ++k) {
        if (fit.photos[k].use != PhotoUse::Used)
            continue;
        const test::SceneTargets t = test::TrueTargets(scenes[k]);
        truth = t.camera;
        cv::Matx33d r, rt;
        cv::Rodrigues(fit.photos[k].pose.rotation, r);
        cv::Rodrigues(t.pose.rotation, rt);
        mean += rt * (r.t() * (point - fit.photos[k].pose.translation)) + t.pose.translation;
        ++n;
    }
    mean *= 1.0 / n;
    std::vector<cv::Point2d> projected;
    cv::projectPoints(std::vector<cv::Point3d>{cv::Point3d(mean)}, cv::Vec3d(0, 0, 0),
                      cv::Vec3d(0, 0, 0), truth.Matrix(), truth.Distortion(), projected);
    return std::hypot(projected[0].x - cell.x, projected[0].y - cell.y);
}

struct Flag {
    double ratio = 0.0;
    bool error = false;
};

// The fit of a model, its map and its cross-validation.
struct Tried {
    CameraCalibration fit;
    ProjectionUncertainty map;
    Flag flag;
};

Tried Try(const std::vector<BoardPhoto>& photos, CameraSelection selection) {
    CameraCalibrationOptions options;
    options.selection = selection;
    Tried t;
    t.fit = CalibrateCamera(photos, options);
    t.map = UncertaintyOf(photos, t.fit, InformationOf(photos, t.fit));
    if (const auto check = CrossValidate(photos, t.fit, t.map, options))
        t.flag = {check->ratio, check->modelError};
    return t;
}

// The median over the cells seen of how far the truth is from the fit, in the cell's sigma.
double TruthInSigma(const Tried& t, const std::vector<test::PhotoScene>& scenes) {
    std::vector<double> off;
    for (const UncertaintyCell& cell : t.map.cells)
        if (cell.seen)
            off.push_back(TruthOff(t.fit, scenes, cell, t.map.distance) / cell.sigmaPx);
    std::sort(off.begin(), off.end());
    return off.empty() ? 0.0 : off[off.size() / 2];
}

int Coverage(int sets, int count, double noise, double tangential) {
    int seen = 0, in2 = 0, in3 = 0, rightFlagged = 0, leanFlagged = 0, radialFlagged = 0;
    for (int s = 1; s <= sets; ++s) {
        const auto scenes = test::VariedScenes(Lens(tangential), count, unsigned(s));
        const auto photos = test::NoisyPhotos(scenes, noise, unsigned(s + 1000));
        const Tried right = Try(photos, CameraSelection::OpenCvDefault());
        const ProjectionUncertainty& map = right.map;
        int n = 0, a = 0, b = 0;
        for (const UncertaintyCell& cell : map.cells) {
            if (!cell.seen)
                continue;
            const double off = TruthOff(right.fit, scenes, cell, map.distance);
            ++n;
            a += off <= 2.0 * cell.sigmaPx ? 1 : 0;
            b += off <= 3.0 * cell.sigmaPx ? 1 : 0;
        }
        const Flag lean = Try(photos, CameraSelection::NoDistortion()).flag;
        const Tried radial = Try(photos, CameraSelection::RadialOnly());
        std::printf("set %d: seen %d, within 2 sigma %.3f, 3 sigma %.3f, median sigma %.4f px, "
                    "worst frame %.3f px; halves differ right %.2f (%d), no lens %.2f (%d), "
                    "radial %.2f (%d); radial off the truth %.2f sigma\n",
                    s, n, double(a) / n, double(b) / n, map.medianSeenPx, map.worstFramePx,
                    right.flag.ratio, int(right.flag.error), lean.ratio, int(lean.error),
                    radial.flag.ratio, int(radial.flag.error), TruthInSigma(radial, scenes));
        seen += n;
        in2 += a;
        in3 += b;
        rightFlagged += right.flag.error ? 1 : 0;
        leanFlagged += lean.error ? 1 : 0;
        radialFlagged += radial.flag.error ? 1 : 0;
    }
    std::printf("all: %d cells seen, within 2 sigma %.3f, within 3 sigma %.3f; model error "
                "flagged right %d of %d, no lens %d of %d, radial %d of %d\n",
                seen, double(in2) / seen, double(in3) / seen, rightFlagged, sets, leanFlagged, sets,
                radialFlagged, sets);
    return 0;
}

void CameraTrustCase(benchmark::State& state) {
    const auto photos =
        test::NoisyPhotos(test::VariedScenes(Lens(), int(state.range(0)), 3), 0.05, 4);
    const CameraCalibration fit = CalibrateCamera(photos);
    for (auto _ : state) {
        const CameraInformation info = InformationOf(photos, fit);
        const ProjectionUncertainty map = UncertaintyOf(photos, fit, info);
        benchmark::DoNotOptimize(JudgeTrust(info));
        benchmark::DoNotOptimize(CrossValidate(photos, fit, map));
    }
}
BENCHMARK(CameraTrustCase)->Name("CameraTrust")->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);

// The automatic model: every offered model fitted, mapped and cross-validated.
void ModelChoiceCase(benchmark::State& state) {
    const auto photos =
        test::NoisyPhotos(test::VariedScenes(Lens(), int(state.range(0)), 3), 0.05, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(ChooseModel(photos));
}
BENCHMARK(ModelChoiceCase)->Name("ModelChoice")->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "coverage") == 0)
        return Coverage(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 12,
                        argc > 4 ? std::atof(argv[4]) : 0.05, argc > 5 ? std::atof(argv[5]) : 1.0);
    return vrma::bench::RunBenchmarks(argc, argv, "CameraTrust/10");
}
