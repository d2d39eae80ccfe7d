// The two number formats, per value: FormatGeneral15 (what the editor shows and writes) and
// FormatFixed4 (every ratio of a calibration in the list box, the results, the export).
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "support/BenchSupport.h"

#include <random>
#include <vector>

namespace vrma::bench {
namespace {

constexpr std::size_t kValues = 4096; // a power of two

// Coordinates like those of the files; ratios like those of a calibration.
std::vector<double> Values(bool ratios) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    std::normal_distribution<double> ratio(1.0023, 0.002);
    std::vector<double> values(kValues);
    for (double& v : values)
        v = ratios ? ratio(random) : coordinate(random);
    return values;
}

template <class Format> void PerValue(benchmark::State& state, bool ratios, Format format) {
    const std::vector<double> values = Values(ratios);
    std::size_t k = 0;
    for (auto _ : state) {
        QString text = format(values[k]);
        benchmark::DoNotOptimize(text.constData());
        k = (k + 1) & (kValues - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

const bool registered = [] {
    benchmark::RegisterBenchmark("FormatGeneral15/coordinates", [](benchmark::State& state) {
        PerValue(state, false, [](double v) { return FormatGeneral15(v); });
    });
    benchmark::RegisterBenchmark("FormatFixed4/ratios", [](benchmark::State& state) {
        PerValue(state, true, [](double v) { return FormatFixed4(v); });
    });
    benchmark::RegisterBenchmark("FormatFixed4/coordinates", [](benchmark::State& state) {
        PerValue(state, false, [](double v) { return FormatFixed4(v); });
    });
    return true;
}();

} // namespace
} // namespace vrma::bench

VRMA_BENCHMARK_MAIN("Format")
