// The editor's documents and their memory: a kind 1 document (three coordinates a line)
// opened in a new window until shown, then saved, as one round; and the open of hostile
// files that must cost no more than their text: 100 MB of CR bytes as a point document
// (which fails at its first line) and as a camera document (which reads its 8 lines).
// Peak memory is that of the whole process (VmHWM), and, for the kind 1 document, the
// memory the open document holds per line. Run each case in a process of its own for
// the peak of the process:  vrma_bench_documents --benchmark_filter=<case>
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <random>

namespace vrma::bench {
namespace {

struct Host {
    SilentDialogHost host;
    DialogHost* previous = SetDialogHost(&host);
    ~Host() { SetDialogHost(previous); }
};

QString SpatialFile(int lines) {
    const QString path = QDir(WorkFolder()).filePath(QStringLiteral("spatial-%1.crd").arg(lines));
    if (QFile::exists(path))
        return path;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    QByteArray text;
    text.reserve(qsizetype(lines) * 64);
    for (int i = 0; i < lines; ++i) {
        for (int c = 0; c < 3; ++c) {
            if (c > 0)
                text += " ; ";
            text += QByteArray::number(coordinate(random), 'g', 15);
        }
        text += "\r\n";
    }
    WriteFileAtomically(path, text);
    return path;
}

QString BreaksFile() {
    const QString path = QDir(WorkFolder()).filePath(QStringLiteral("breaks.crd"));
    if (!QFile::exists(path))
        WriteFileAtomically(path, QByteArray(100 * 1000 * 1000, '\r'));
    return path;
}

// Opens the kind 1 document, shows it and saves it under another name; with a second
// argument of 1 only the open is timed, of 2 only the save.
void OpenAndSave(benchmark::State& state) {
    const int lines = int(state.range(0));
    const int part = int(state.range(1));
    const QString path = SpatialFile(lines);
    Host host;
    host.host.saveAs = QDir(WorkFolder()).filePath(QStringLiteral("saved.crd"));
    const PeakMemory memory;
    double held = 0;
    for (auto _ : state) {
        const std::int64_t before = ReadMemoryStatus().resident;
        if (part == 2)
            state.PauseTiming();
        TRedForm* window = CreateEditorWindow();
        if (window->OpenDocument(path, 1) != 1) {
            state.SkipWithError("the document did not open");
            break;
        }
        window->show();
        QApplication::processEvents();
        if (part != 2)
            state.PauseTiming();
        held = double(ReadMemoryStatus().resident - before);
        if (part != 1)
            state.ResumeTiming();
        if (!window->SaveDocument() || host.host.messages != 0) {
            state.SkipWithError("the document was not saved");
            break;
        }
        if (part != 1)
            state.PauseTiming();
        DestroyEditorWindows();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    memory.Report(state);
    state.counters["held_bytes_per_line"] = held / lines;
    if (QFile(host.host.saveAs).size() <= 0)
        state.SkipWithError("nothing was saved");
    state.SetItemsProcessed(state.iterations() * lines);
}

// The open of 100 MB of line breaks as the given kind; expected to fail (point kinds)
// or to open (geometry kinds).
void OpenBreaks(benchmark::State& state) {
    const int kind = int(state.range(0));
    const QString path = BreaksFile();
    Host host;
    const PeakMemory memory;
    for (auto _ : state) {
        TRedForm* window = CreateEditorWindow();
        const int opened = window->OpenDocument(path, kind);
        if (opened != (kind >= 5 && kind <= 8 ? 1 : 0)) {
            state.SkipWithError("unexpected outcome of the open");
            break;
        }
        state.PauseTiming();
        DestroyEditorWindows();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    memory.Report(state);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("DocumentOpenSave/kind1", OpenAndSave)
        ->ArgNames({"lines", "part"})
        ->Args({10000, 0})
        ->Args({1000000, 0})
        ->Args({1000000, 1})
        ->Args({1000000, 2})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DocumentOpen/breaks100MB/kind", OpenBreaks)
        ->Arg(1)
        ->Arg(4)
        ->Arg(5)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    return true;
}();

} // namespace
} // namespace vrma::bench

VRMA_BENCHMARK_MAIN("DocumentOpenSave/kind1/lines:10000/")
