// Whether a calibrated camera can be trusted (calib/CameraAssessment), against known truth:
//   vrma_bench_camera_trust coverage SETS [PHOTOS] [NOISE]
//       SETS sets of PHOTOS (12) point sets through a lens with NOISE (0.05) px of noise:
//       the share of the map's cells seen where the true projection lies within 2 and 3
//       sigma, the median sigma seen, and the cross-validation's model error for the right
//       model and for one without the lens; one line a set, then the totals.
// The Google Benchmark cases: CameraTrust/N, the information, map and cross-validation of
// N views of a 9 x 6 board.
#include "calib/CameraTrust.h"
#include "calib/CrossValidation.h"
#include "calib/ProjectionUncertainty.h"
#include "support/BenchSupport.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/calib3d.hpp>

namespace {

using namespace vrma;

test::PhotoScene Lens() {
    test::PhotoScene scene;
    scene.k1 = -0.21;
    scene.k2 = 0.08;
    scene.p1 = 0.0012;
    scene.p2 = -0.0009;
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

bool ModelError(const std::vector<BoardPhoto>& photos, CameraSelection selection) {
    CameraCalibrationOptions options;
    options.selection = selection;
    const CameraCalibration fit = CalibrateCamera(photos, options);
    const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
    const auto check = CrossValidate(photos, fit, map, options);
    return check && check->modelError;
}

int Coverage(int sets, int count, double noise) {
    int seen = 0, in2 = 0, in3 = 0, rightFlagged = 0, leanFlagged = 0;
    for (int s = 1; s <= sets; ++s) {
        const auto scenes = test::VariedScenes(Lens(), count, unsigned(s));
        const auto photos = test::NoisyPhotos(scenes, noise, unsigned(s + 1000));
        const CameraCalibration fit = CalibrateCamera(photos);
        const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
        int n = 0, a = 0, b = 0;
        for (const UncertaintyCell& cell : map.cells) {
            if (!cell.seen)
                continue;
            const double off = TruthOff(fit, scenes, cell, map.distance);
            ++n;
            a += off <= 2.0 * cell.sigmaPx ? 1 : 0;
            b += off <= 3.0 * cell.sigmaPx ? 1 : 0;
        }
        const bool right = ModelError(photos, CameraSelection::OpenCvDefault());
        const bool lean = ModelError(photos, CameraSelection::NoDistortion());
        std::printf("set %d: seen %d, within 2 sigma %.3f, 3 sigma %.3f, median sigma %.4f px, "
                    "worst frame %.3f px; model error right %d, lean %d\n",
                    s, n, double(a) / n, double(b) / n, map.medianSeenPx, map.worstFramePx,
                    int(right), int(lean));
        seen += n;
        in2 += a;
        in3 += b;
        rightFlagged += right ? 1 : 0;
        leanFlagged += lean ? 1 : 0;
    }
    std::printf("all: %d cells seen, within 2 sigma %.3f, within 3 sigma %.3f; model error "
                "flagged right %d of %d, lean %d of %d\n",
                seen, double(in2) / seen, double(in3) / seen, rightFlagged, sets, leanFlagged,
                sets);
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

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "coverage") == 0)
        return Coverage(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 12,
                        argc > 4 ? std::atof(argv[4]) : 0.05);
    return vrma::bench::RunBenchmarks(argc, argv, "CameraTrust/10");
}
