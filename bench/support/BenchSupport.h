#pragma once
// What the benchmark programs share: deterministic input files, peak memory counters, a
// dialog host that answers without a person, and the main() that starts Qt offscreen.
#include "platform/Dialogs.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <cstdint>

namespace vrma::bench {

// A folder for the input files of this run, removed when the program ends.
QString WorkFolder();

// A planar coordinate file of `lines` random points ("x ; y", the 15-digit general format,
// the separator given), made once per program run and kept for the cases that follow.
QString PointFile(int lines, QChar separator);

// The scene and image files of an nc x nr test field ("." separator), listed column by
// column: targets 2 mm apart with a little printing error, seen by a camera whose pixel
// aspect ratio is 1.0023, with a little radial distortion and measurement noise. Made
// once per program run.
struct GridFiles {
    QString scene;
    QString image;
};
GridFiles GridFilesFor(int nc, int nr);

// Memory of the process, in bytes, from /proc/self/status (0 where it cannot be read).
struct MemoryStatus {
    std::int64_t resident = 0; // VmRSS
    std::int64_t peak = 0;     // VmHWM
};
MemoryStatus ReadMemoryStatus();

// Measures the peak resident memory of a case: the kernel's high-water mark is reset at
// the start, and Report() adds the counters
//   peak_MB       the highest resident size of the process while the case ran;
//   peak_added_MB how far that lies above the resident size at the start.
class PeakMemory {
public:
    PeakMemory();
    void Report(benchmark::State& state) const;
    std::int64_t StartResident() const { return start_.resident; }

private:
    MemoryStatus start_;
};

// Hands the memory freed so far back to the system, as in a process that has not yet
// freed anything: what follows pays for fresh pages, as a program's first read does. A
// case that frees a large structure untimed calls it before timing again.
void ReleaseHeap();

// Answers every interaction without a person: message boxes with OK (they are counted, a
// benchmark expects none), file dialogs with the name given in saveAs (cancelled while it
// is empty), modal windows are not shown.
class SilentDialogHost : public DialogHost {
public:
    int messages = 0;
    QString lastMessage;
    QString saveAs;

    int messageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override;
    void showMessage(const QString& text) override;
    bool execute(FileDialog& dialog) override;
    int execModal(QWidget& window) override;
    void help(QWidget* window, const QString& helpFile, unsigned command, quintptr data) override;
};

// The benchmark programs' main(): a QApplication on the offscreen platform (unless
// QT_QPA_PLATFORM says otherwise), "." as the decimal separator, then Google Benchmark.
// "--smoke" runs only the cases that smokeFilter matches, once each: the quick check
// that ctest runs.
int RunBenchmarks(int argc, char** argv, const char* smokeFilter);

} // namespace vrma::bench

#define VRMA_BENCHMARK_MAIN(smokeFilter)                                                           \
    int main(int argc, char** argv) {                                                              \
        return vrma::bench::RunBenchmarks(argc, argv, smokeFilter);                                \
    }
