// The field check: how long it takes on an 11 x 9 field (one photograph with a focal
// length; three photographs together), and our side of bench/field-compare.sh:
//   vrma_bench_field_check views NC NR WIDTH HEIGHT FOCAL SCENE IMAGE [IMAGE...]
//       the calibration of SCENE and the first IMAGE, then the field check of it with every
//       further IMAGE as another photograph of the same grid (FOCAL 0: no focal length);
//       prints "plain <c> corrected <c|-> multiview <ratio|-> se <se|->".
#include "calib/FieldCheck.h"
#include "data/Locale.h"
#include "data/PlanePoint.h"
#include "data/Procedures.h"
#include "support/BenchSupport.h"
#include "tests/support/TiltedField.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

using namespace vrma;

std::vector<PlanePoint> Load(const char* file) {
    VT_Points list(1);
    LoadPointFile(QString::fromLocal8Bit(file), &list);
    return PlanePoints(list);
}

int Views(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(QLatin1Char('.'));
    if (argc < 9) {
        std::fprintf(stderr, "views NC NR WIDTH HEIGHT FOCAL SCENE IMAGE [IMAGE...]\n");
        return 1;
    }
    try {
        const int nc = std::atoi(argv[2]);
        const int nr = std::atoi(argv[3]);
        const std::vector<PlanePoint> scene = Load(argv[7]);
        const std::vector<PlanePoint> image = Load(argv[8]);
        const ScaleRatioRun run = RunScaleRatio(nc, nr, scene, image);
        if (!run.complete())
            throw std::runtime_error("the calibration did not complete");
        FieldCheckInput input;
        input.scene = scene;
        input.image = image;
        input.width = std::atof(argv[4]);
        input.height = std::atof(argv[5]);
        if (std::atof(argv[6]) > 0.0)
            input.focal = std::atof(argv[6]);
        input.coefficient = run.coefficient;
        input.sd = run.sd;
        input.n = qint64(run.ratios.size());
        for (int a = 9; a < argc; ++a)
            input.views.push_back(FieldView{scene, Load(argv[a])});
        const FieldCheck check = CheckField(input);
        auto text = [](const std::optional<double>& v) {
            return v ? QString::number(*v, 'f', 10).toStdString() : std::string("-");
        };
        std::printf("plain %.10f corrected %s multiview %s se %s\n", check.coefficient,
                    text(check.correctedCoefficient).c_str(), text(check.multiviewRatio).c_str(),
                    text(check.multiviewRatioSe).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

FieldCheckInput Input(const test::TiltedField& field, const test::PinholeCamera& camera,
                      const ScaleRatioRun& run) {
    return test::CheckInput(field, camera, run);
}

void FieldCheckFocal(benchmark::State& state) {
    const test::PinholeCamera camera;
    const test::TiltedField field = test::MakeField(camera, {10.0, 5.0}, 11, 9, 0.05, 1);
    const ScaleRatioRun run = field.run();
    FieldCheckInput input = Input(field, camera, run);
    input.focal = camera.fx;
    for (auto _ : state)
        benchmark::DoNotOptimize(CheckField(input));
}
BENCHMARK(FieldCheckFocal)->Name("FieldCheck/focal")->Unit(benchmark::kMillisecond)->UseRealTime();

void FieldCheckViews(benchmark::State& state) {
    const test::PinholeCamera camera;
    const test::TiltedField a = test::MakeField(camera, {15.0, 5.0, 1.0}, 11, 9, 0.05, 1);
    const test::TiltedField b = test::MakeField(camera, {-5.0, 18.0, -2.0}, 11, 9, 0.05, 2);
    const test::TiltedField c = test::MakeField(camera, {-12.0, -12.0, 4.0}, 11, 9, 0.05, 3);
    const ScaleRatioRun run = a.run();
    FieldCheckInput input = Input(a, camera, run);
    input.views = {b.view(), c.view()};
    for (auto _ : state)
        benchmark::DoNotOptimize(CheckField(input));
}
BENCHMARK(FieldCheckViews)->Name("FieldCheck/views3")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "views") == 0)
        return Views(argc, argv);
    return vrma::bench::RunBenchmarks(argc, argv, "FieldCheck/");
}
