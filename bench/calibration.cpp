// The scale-ratio calibration on 100 x 100 and 1000 x 1000 grids: the computation alone,
// then the whole command through the calibration window (offscreen, shown, its pending
// events - list layout, painting - processed), then the parts of the command one by one.
#include "app/Alfa_form.h"
#include "calib/ScaleRatio.h"
#include "data/PlanePoint.h"
#include "data/Procedures.h"
#include "drawing/ScaleRatioLines.h"
#include "drawing/ScaleRatioPlot.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <memory>
#include <vector>

namespace vrma::bench {
namespace {

constexpr int kLargeGrid = 1000;

struct Points {
    VT_Points scene{1};
    VT_Points image{1};
};

void Load(int n, Points& points) {
    const GridFiles files = GridFilesFor(n, n);
    if (!ReadPointFile(files.scene, &points.scene) || !ReadPointFile(files.image, &points.image))
        std::abort();
}

// The computation with its plot's pixels on the point lists, as the window calls it.
void ComputeOnLists(benchmark::State& state) {
    const int n = int(state.range(0));
    Points points;
    Load(n, points);
    for (auto _ : state) {
        const ScaleRatioRun run = RunPlottedScaleRatio(n, n, points.scene, points.image).run;
        if (!run.complete())
            state.SkipWithError("the calibration did not complete");
        benchmark::DoNotOptimize(run.coefficient);
    }
    state.SetItemsProcessed(state.iterations() * (n - 2) * (n - 2));
}

// The same on grid tables already laid out.
void ComputeOnTables(benchmark::State& state) {
    const int n = int(state.range(0));
    Points points;
    Load(n, points);
    const std::vector<PlanePoint> scene = PlanePoints(points.scene);
    const std::vector<PlanePoint> image = PlanePoints(points.image);
    for (auto _ : state) {
        const ScaleRatioRun run = RunPlottedScaleRatio(n, n, scene, image).run;
        if (!run.complete())
            state.SkipWithError("the calibration did not complete");
        benchmark::DoNotOptimize(run.coefficient);
    }
    state.SetItemsProcessed(state.iterations() * (n - 2) * (n - 2));
}

// A shown calibration window with the field's files named and its grid size typed in.
struct Window {
    SilentDialogHost host;
    DialogHost* previous;
    std::unique_ptr<TAlfaKalibr_Form> form;

    explicit Window(int n) : previous(SetDialogHost(&host)), form(CreateMainWindow()) {
        const GridFiles files = GridFilesFor(n, n);
        form->show();
        QApplication::processEvents();
        form->sceneFileName = files.scene;
        form->imageFileName = files.image;
        form->Edit5->setText(QString::number(n));
        form->Edit3->setText(QString::number(n));
    }
    ~Window() {
        form.reset();
        SetDialogHost(previous);
    }
    // The command as the user runs it, until the window has shown its results.
    bool Calibrate() {
        form->N4Click(nullptr);
        QApplication::processEvents();
        return host.messages == 0;
    }
};

// The whole command. "repeated": the window shows the results of the same calibration
// run before, as when the user presses "Счет" again (the reader and the list box first
// free what they held). "first": the window holds nothing yet.
void CalibrateInWindow(benchmark::State& state, bool repeated) {
    const int n = int(state.range(0));
    Window window(n);
    if (!window.Calibrate()) {
        state.SkipWithError("the calibration showed a message");
        return;
    }
    const PeakMemory memory;
    for (auto _ : state) {
        if (!repeated) {
            state.PauseTiming();
            window.form->scenePoints->Clear();
            window.form->imagePoints->Clear();
            window.form->SetListBoxLines({});
            QApplication::processEvents();
            ReleaseHeap();
            state.ResumeTiming();
        }
        if (!window.Calibrate()) {
            state.SkipWithError("the calibration showed a message");
            break;
        }
    }
    if (n >= kLargeGrid)
        memory.Report(state);
    state.SetItemsProcessed(state.iterations() * n * n);
}

// The parts of the command on the large grid, each on its own.
void PartReadFiles(benchmark::State& state) {
    Window window(kLargeGrid);
    for (auto _ : state) {
        state.PauseTiming();
        window.form->scenePoints->Clear();
        window.form->imagePoints->Clear();
        ReleaseHeap();
        state.ResumeTiming();
        if (!window.form->LoadPointLists())
            state.SkipWithError("a file was not read");
    }
}

// The same when the lists still hold the points of the previous run, which the reader
// frees first, as in a repeated calibration.
void PartReadFilesAgain(benchmark::State& state) {
    Window window(kLargeGrid);
    for (auto _ : state) {
        if (!window.form->LoadPointLists())
            state.SkipWithError("a file was not read");
    }
}

void PartListLines(benchmark::State& state) {
    Points points;
    Load(kLargeGrid, points);
    const ScaleRatioRun run = RunScaleRatio(kLargeGrid, kLargeGrid, points.scene, points.image);
    for (auto _ : state) {
        QStringList lines = ScaleRatioListLines(run);
        benchmark::DoNotOptimize(lines.constData());
        state.PauseTiming();
        lines = QStringList();
        state.ResumeTiming();
    }
}

void PartListBox(benchmark::State& state) {
    Window window(kLargeGrid);
    Points points;
    Load(kLargeGrid, points);
    const QStringList lines =
        ScaleRatioListLines(RunScaleRatio(kLargeGrid, kLargeGrid, points.scene, points.image));
    for (auto _ : state) {
        window.form->SetListBoxLines({});
        window.form->SetListBoxLines(lines);
        QApplication::processEvents();
    }
}

void PartPlot(benchmark::State& state) {
    Points points;
    Load(kLargeGrid, points);
    const ScaleRatioPlot plot =
        RunPlottedScaleRatio(kLargeGrid, kLargeGrid, points.scene, points.image).plot;
    QImage bitmap(700, 500, QImage::Format_RGB32);
    for (auto _ : state) {
        bitmap.fill(Qt::white);
        DrawScaleRatioPlot(bitmap, plot);
    }
}

void Grids(benchmark::internal::Benchmark* b) {
    b->Arg(100)->Arg(kLargeGrid)->Unit(benchmark::kMillisecond)->UseRealTime();
}

const bool registered = [] {
    Grids(benchmark::RegisterBenchmark("RunScaleRatio/tables", ComputeOnTables));
    Grids(benchmark::RegisterBenchmark("RunScaleRatio/lists", ComputeOnLists));
    Grids(benchmark::RegisterBenchmark("CalibrationWindow/repeated", CalibrateInWindow, true));
    Grids(benchmark::RegisterBenchmark("CalibrationWindow/first", CalibrateInWindow, false));
    using Part = void (*)(benchmark::State&);
    const std::pair<const char*, Part> parts[] = {
        {"CalibrationPart/read_both_files", PartReadFiles},
        {"CalibrationPart/read_both_files_again", PartReadFilesAgain},
        {"CalibrationPart/list_lines", PartListLines},
        {"CalibrationPart/list_box", PartListBox},
        {"CalibrationPart/plot", PartPlot}};
    for (const auto& [name, part] : parts)
        benchmark::RegisterBenchmark(name, part)->Unit(benchmark::kMillisecond)->UseRealTime();
    return true;
}();

} // namespace
} // namespace vrma::bench

VRMA_BENCHMARK_MAIN("/100/")
