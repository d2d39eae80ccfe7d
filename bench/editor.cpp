// The data editor on a planar coordinate file (document kind 2): opening it in a new editor
// window until the window has shown it, saving it (checking every cell, the lines built and
// the file written; the saved file must be the same size as the one opened), and scrolling
// through it. Peak memory is reported for the large document, and for opening
// also the memory that the open document holds.
#include "editor/Edit.h"
#include "platform/StringGrid.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>

namespace vrma::bench {
namespace {

constexpr int kLargeDocument = 1000000;
constexpr int kPlanarPoints = 2; // the document kind of the calibration's coordinate files

struct Host {
    SilentDialogHost host;
    DialogHost* previous = SetDialogHost(&host);
    ~Host() { SetDialogHost(previous); }
};

TRedForm* OpenShown(const QString& path) {
    TRedForm* window = CreateEditorWindow();
    if (window->OpenDocument(path, kPlanarPoints) != 1)
        return nullptr;
    window->show();
    QApplication::processEvents();
    return window;
}

void Open(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QString path = PointFile(lines, QLatin1Char('.'));
    Host host;
    const PeakMemory memory;
    double held = 0;
    for (auto _ : state) {
        const std::int64_t before = ReadMemoryStatus().resident;
        if (!OpenShown(path) || host.host.messages != 0) {
            state.SkipWithError("the document did not open");
            break;
        }
        state.PauseTiming();
        held = double(ReadMemoryStatus().resident - before);
        DestroyEditorWindows();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    if (lines >= kLargeDocument) {
        memory.Report(state);
        state.counters["held_MB"] = held / (1024.0 * 1024.0);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

void Save(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QString path = PointFile(lines, QLatin1Char('.'));
    Host host;
    host.host.saveAs = QDir(WorkFolder()).filePath(QStringLiteral("saved.crd"));
    TRedForm* window = OpenShown(path);
    if (!window) {
        state.SkipWithError("the document did not open");
        return;
    }
    const PeakMemory memory;
    for (auto _ : state) {
        if (!window->SaveDocument() || host.host.messages != 0) {
            state.SkipWithError("the document was not saved");
            break;
        }
    }
    if (lines >= kLargeDocument)
        memory.Report(state);
    if (QFile(host.host.saveAs).size() != QFile(path).size())
        state.SkipWithError("the document did not save unchanged");
    DestroyEditorWindows();
    state.SetItemsProcessed(state.iterations() * lines);
}

// One step of the vertical scroll bar through the open document, with the repaint.
void Scroll(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QString path = PointFile(lines, QLatin1Char('.'));
    Host host;
    TRedForm* window = OpenShown(path);
    if (!window) {
        state.SkipWithError("the document did not open");
        return;
    }
    QScrollBar* bar = window->StringGrid1->verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        bar->setValue(bar->maximum() / 100 * (step++ % 100));
        QApplication::processEvents();
    }
    DestroyEditorWindows();
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(kLargeDocument)->Unit(benchmark::kMillisecond)->UseRealTime();
}

const bool registered = [] {
    Sizes(benchmark::RegisterBenchmark("EditorOpen/kind2", Open));
    Sizes(benchmark::RegisterBenchmark("EditorSave/kind2", Save));
    benchmark::RegisterBenchmark("EditorScroll/kind2", Scroll)
        ->Arg(kLargeDocument)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

} // namespace
} // namespace vrma::bench

VRMA_BENCHMARK_MAIN("/10000/")
