// Our side of bench/compare.sh: times the program's own work on the files that the script
// made, one line "<case> <wall milliseconds> <CPU milliseconds of the process>" per run.
// The first run of a fresh process is the case "first_..."; the RUNS runs after it are
// the repeated case.
//   vrma_bench_compare read FILE RUNS
//       ReadPointFile into the list of the previous read, which it empties first, as the
//       calibration window reads its files again at every run; alternating with a bare
//       std::from_chars loop over the same bytes in memory (cases "ReadPointFile" and
//       "from_chars"; the first run "first_read" and "first_from_chars").
//   vrma_bench_compare calibrate SCENE IMAGE NC NR RUNS
//       the calibration command through the shown calibration window, offscreen, until
//       its results are shown (case "calibration", the first "first_calibration"); then
//       "check <md5 of the ratio lines> <mean> <sd>" for the script to compare with the
//       peer's results.
//   vrma_bench_compare first FILE
//       one ReadPointFile in the fresh process (case "first_read"), then "peak_MB <highest
//       resident size> <resident size before the read>".
//   vrma_bench_compare stages SCENE IMAGE NC NR RUNS
//       the stages of that command one after the other on the same window: reading both
//       files (after taking the previous run's photograph for the field check out of the
//       lists, as the command does), the ratios (read from the lists, as the command reads
//       them), the list box taking them (with its layout and painting of the lines in
//       view), the plot (painted and shown), what the window keeps of the run (the ratios,
//       the report, the photograph's place): cases "stage_<name>".
#include "app/Alfa_form.h"
#include "calib/FieldCheck.h"
#include "calib/NodeAnalysis.h"
#include "calib/ScaleRatio.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "drawing/ScaleRatioLines.h"
#include "drawing/ScaleRatioPlot.h"
#include "drawing/ScaleRatioReport.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"
#include "platform/ListBoxModel.h"
#include "platform/Locale.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QLineEdit>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

// Under callgrind every stopwatch also marks its span in the profile: a dump named
// "gap" when it starts and one named after its case when it is printed, so that
// `callgrind_annotate` (or the dumps' "totals:" lines) gives the instructions of each case.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define VRMA_PROFILE_MARK(name) CALLGRIND_DUMP_STATS_AT(name)
#else
#define VRMA_PROFILE_MARK(name) ((void)(name))
#endif

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Wall-clock and CPU time since it was made.
struct Stopwatch {
    Clock::time_point wall;
    double cpu;

    Stopwatch() {
        VRMA_PROFILE_MARK("gap");
        wall = Clock::now();
        cpu = ProcessCpuMilliseconds();
    }

    void Print(const char* prefix, const char* name) const {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - wall).count();
        const double cpuMs = ProcessCpuMilliseconds() - cpu;
        char mark[64];
        std::snprintf(mark, sizeof mark, "%s%s", prefix, name);
        VRMA_PROFILE_MARK(mark);
        std::printf("%s %.3f %.3f\n", mark, ms, cpuMs);
    }
};

const char* FirstOr(int run) {
    return run < 0 ? "first_" : "";
}

double FromChars(const QByteArray& bytes, std::size_t& count) {
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    double sum = 0;
    count = 0;
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
        ++count;
        p = r.ptr;
    }
    return sum;
}

int Read(const QString& path, int runs) {
    const QByteArray bytes = vrma::ReadFileBytes(path);
    vrma::VT_Points points(1);
    double sink = 0;
    for (int run = -1; run < runs; ++run) {
        const Stopwatch ours;
        if (!vrma::ReadPointFile(path, &points))
            return 1;
        ours.Print("", run < 0 ? "first_read" : "ReadPointFile");
        std::size_t count = 0;
        const Stopwatch ceiling;
        sink += FromChars(bytes, count);
        ceiling.Print(FirstOr(run), "from_chars");
        if (count != 2 * std::size_t(points.Count()))
            return 1;
    }
    std::printf("bytes %lld\n", static_cast<long long>(bytes.size()));
    return sink == 0.5 ? 2 : 0; // keeps the sum alive
}

void PrintPeak(const vrma::bench::MemoryStatus& before) {
    std::printf("peak_MB %.1f %.1f\n", double(vrma::bench::ReadMemoryStatus().peak) / 1048576.0,
                double(before.resident) / 1048576.0);
}

int First(const QString& path) {
    const vrma::bench::MemoryStatus before = vrma::bench::ReadMemoryStatus();
    vrma::VT_Points points(1);
    const Stopwatch ours;
    if (!vrma::ReadPointFile(path, &points))
        return 1;
    ours.Print("", "first_read");
    PrintPeak(before);
    return 0;
}

int Calibrate(const QString& scene, const QString& image, int nc, int nr, int runs) {
    vrma::bench::SilentDialogHost host;
    vrma::SetDialogHost(&host);
    const std::unique_ptr<vrma::TAlfaKalibr_Form> form = vrma::CreateMainWindow();
    form->show();
    QApplication::processEvents();
    form->sceneFileName = scene;
    form->imageFileName = image;
    form->Edit5->setText(QString::number(nc));
    form->Edit3->setText(QString::number(nr));
    const vrma::bench::MemoryStatus before = vrma::bench::ReadMemoryStatus();
    for (int run = -1; run < runs; ++run) {
        const Stopwatch command;
        form->N4Click(nullptr);
        QApplication::processEvents();
        command.Print(FirstOr(run), "calibration");
        if (host.messages != 0) {
            std::fprintf(stderr, "message: %s\n", qPrintable(host.lastMessage));
            return 1;
        }
    }
    // The ratio lines, each followed by a line break, as the peer hashes its texts.
    const QStringList lines = form->ListBoxLines();
    const qsizetype ratios = lines.size() - 6;
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (qsizetype k = 0; k < ratios; ++k) {
        hash.addData(lines[k].toLatin1());
        hash.addData("\n");
    }
    std::printf("check %s %s %s\n", hash.result().toHex().constData(),
                qPrintable(form->Edit8->text()), qPrintable(form->Edit9->text()));
    PrintPeak(before);
    vrma::SetDialogHost(nullptr);
    return 0;
}

int Stages(const QString& scene, const QString& image, int nc, int nr, int runs) {
    vrma::bench::SilentDialogHost host;
    vrma::SetDialogHost(&host);
    const std::unique_ptr<vrma::TAlfaKalibr_Form> form = vrma::CreateMainWindow();
    form->show();
    QApplication::processEvents();
    form->sceneFileName = scene;
    form->imageFileName = image;
    for (int run = -1; run < runs; ++run) {
        const char* first = FirstOr(run);
        const Stopwatch read;
        if (!form->LoadPointLists())
            return 1;
        read.Print(first, "stage_read");

        // The ratios, read from the window's lists as the command reads them.
        const Stopwatch ratios;
        const vrma::PlottedScaleRatio plotted =
            vrma::RunPlottedScaleRatio(nc, nr, *form->scenePoints, *form->imagePoints);
        const vrma::ScaleRatioRun& result = plotted.run;
        ratios.Print(first, "stage_ratios");
        if (!result.complete())
            return 1;

        // The list box keeps the ratios and makes the texts of the lines it shows.
        const Stopwatch model;
        form->ratioListModel->setFixed4Lines(result.ratios, vrma::ScaleRatioSummaryLines(result));
        QApplication::processEvents();
        model.Print(first, "stage_list_model");

        const Stopwatch plot;
        form->Image1->Picture().fill(Qt::white);
        vrma::DrawScaleRatioPlot(form->Image1->Picture(), plotted.plot);
        form->Image1->update();
        QApplication::processEvents();
        plot.Print(first, "stage_plot");

        // What the window keeps of a completed run: the ratios for the node analysis, the
        // report (its nodes are analysed when it is printed) and where the photograph for
        // the field check is (in the lists, until they are read again).
        const Stopwatch kept;
        form->SetLastRatios(vrma::NodeRatios{nc, nr, result.ratios});
        form->SetLastReport(vrma::MakeScaleRatioReport(scene, image, nc, nr, form->Edit6->text(),
                                                       form->Edit7->text(), result,
                                                       QDateTime::currentDateTime()));
        form->KeepGeometryOfLists(form->Edit6->text(), form->Edit7->text());
        kept.Print(first, "stage_kept");
    }
    vrma::SetDialogHost(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    if (argc == 4 && std::strcmp(argv[1], "read") == 0)
        return Read(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc == 7 && std::strcmp(argv[1], "calibrate") == 0)
        return Calibrate(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    if (argc == 3 && std::strcmp(argv[1], "first") == 0)
        return First(QString::fromLocal8Bit(argv[2]));
    if (argc == 7 && std::strcmp(argv[1], "stages") == 0)
        return Stages(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                      std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    std::fprintf(
        stderr, "usage: %s read FILE RUNS | first FILE | calibrate|stages SCENE IMAGE NC NR RUNS\n",
        argv[0]);
    return 2;
}
