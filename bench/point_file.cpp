// The coordinate-file reader on files of 10,000, 100,000 and 1,000,000 lines under both
// decimal separators, beside the practical ceiling for parsing the same bytes: a bare
// std::from_chars loop over them in memory. Bytes per second are those of the file.
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Locale.h"
#include "support/BenchSupport.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace vrma::bench {
namespace {

constexpr int kLargeFile = 1000000;

// "fresh": each read goes into an empty list in memory that the process has not used
// before, as the program's first read does. Otherwise each read goes into the list of the
// previous one, which the reader empties first, as when the calibration window reads its
// files again.
void ReadPoints(benchmark::State& state, char separator, bool fresh) {
    const int lines = int(state.range(0));
    const QString path = PointFile(lines, QLatin1Char(separator));
    const qint64 bytes = ReadFileBytes(path).size();
    SetDecimalSeparator(QLatin1Char(separator));
    SilentDialogHost host;
    DialogHost* previous = SetDialogHost(&host);
    VT_Points points(1);
    const PeakMemory memory;
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            points.Clear();
            ReleaseHeap();
            state.ResumeTiming();
        }
        if (!ReadPointFile(path, &points) || points.Count() != lines) {
            state.SkipWithError("the file was not read");
            break;
        }
    }
    if (lines >= kLargeFile)
        memory.Report(state);
    points.Clear();
    SetDialogHost(previous);
    SetDecimalSeparator(QLatin1Char('.'));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * lines);
}

// Every number of the text with nothing but std::from_chars: the floor for any reader.
void FromCharsCeiling(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QByteArray bytes = ReadFileBytes(PointFile(lines, QLatin1Char('.')));
    for (auto _ : state) {
        const char* p = bytes.constData();
        const char* const end = p + bytes.size();
        double sum = 0;
        while (p < end) {
            while (p < end && (*p == ' ' || *p == ';' || *p == '\r' || *p == '\n'))
                ++p;
            if (p == end)
                break;
            double v = 0;
            const auto r = std::from_chars(p, end, v);
            if (r.ec != std::errc())
                std::abort();
            sum += v;
            p = r.ptr;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.SetItemsProcessed(state.iterations() * lines);
}

// The bytes of the file from the page cache into memory: the part of reading that is
// neither parsing nor building the list.
void FileBytes(benchmark::State& state) {
    const QString path = PointFile(int(state.range(0)), QLatin1Char('.'));
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray data = ReadFileBytes(path);
        bytes = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Arg(kLargeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
}

const bool registered = [] {
    Sizes(benchmark::RegisterBenchmark("ReadPointFile/dot", ReadPoints, '.', false));
    Sizes(benchmark::RegisterBenchmark("ReadPointFile/comma", ReadPoints, ',', false));
    Sizes(benchmark::RegisterBenchmark("ReadPointFile/dot_fresh", ReadPoints, '.', true));
    Sizes(benchmark::RegisterBenchmark("FromCharsCeiling", FromCharsCeiling));
    Sizes(benchmark::RegisterBenchmark("ReadFileBytes", FileBytes));
    return true;
}();

} // namespace
} // namespace vrma::bench

VRMA_BENCHMARK_MAIN("/10000/")
