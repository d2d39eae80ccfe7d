// Opening and saving a point document of a million lines in the data editor (kind 2), and
// the memory the open document takes. Runs on Qt's offscreen platform unless another is
// set. Usage: vrma_bench_editor_document [lines] [separator] [folder]
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "platform/StringGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// CPU time of the process in ms: on a machine shared with other work it tells what the
// program itself spent better than the wall clock.
double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A field of /proc/self/status in MB (VmRSS: resident now, VmHWM: resident at most).
double StatusMB(const char* field) {
    FILE* file = std::fopen("/proc/self/status", "r");
    if (!file)
        return -1;
    char line[256];
    double kb = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file))
        if (std::strncmp(line, field, length) == 0)
            kb = std::atof(line + length);
    std::fclose(file);
    return kb / 1024.0;
}

// Answers every save dialog with one path; nothing else is expected.
class SaveTo : public vrma::DialogHost {
public:
    explicit SaveTo(QString path) : path_(std::move(path)) {}
    int messageBox(QWidget*, const QString& text, const QString&, unsigned) override {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        std::exit(1);
    }
    void showMessage(const QString& text) override { messageBox(nullptr, text, {}, 0); }
    bool execute(vrma::FileDialog& dialog) override {
        dialog.FileName = path_;
        return true;
    }
    int execModal(QWidget&) override { return 0; }
    void help(QWidget*, const QString&, unsigned, quintptr) override {}

private:
    QString path_;
};

// Starts a new measure of the peak: VmHWM falls back to the present resident size.
void ResetPeak() {
    if (FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", file);
        std::fclose(file);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const char separator = argc > 2 ? argv[2][0] : ',';
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    const QString input = QDir(folder).filePath(QStringLiteral("vrma_bench_editor.crd"));
    const QString output = QDir(folder).filePath(QStringLiteral("vrma_bench_editor_out.crd"));
    vrma::SetDecimalSeparator(QLatin1Char(separator));

    {
        // Pixel coordinates of a 1000-column field with 15 significant digits.
        std::mt19937_64 random(1);
        std::uniform_real_distribution<double> noise(-0.5, 0.5);
        QStringList text;
        text.reserve(lines);
        for (int i = 0; i < lines; ++i)
            text << vrma::FormatGeneral15(40 + (i % 1000) * 7.123 + noise(random)) +
                        QStringLiteral(" ; ") +
                        vrma::FormatGeneral15(30 + (i / 1000) * 5.321 + noise(random));
        vrma::WriteTextLines(input, text);
    }
    malloc_trim(0); // what making the file took goes back to the system
    std::printf("%d lines, %.1f MB, separator '%c'\n", lines, QFile(input).size() / 1e6, separator);

    SaveTo host(output);
    vrma::SetDialogHost(&host);
    constexpr int kRuns = 7;
    std::vector<double> open, shown, save, scroll, openCpu, saveCpu;
    double baseMB = 0, documentMB = 0, openPeakMB = 0, savePeakMB = 0;
    for (int run = 0; run < kRuns; ++run) {
        const double before = StatusMB("VmRSS:");
        ResetPeak();
        auto start = Clock::now();
        double cpu = CpuMilliseconds();
        vrma::TRedForm* editor = vrma::CreateEditorWindow();
        if (editor->OpenDocument(input, 2) != 1)
            return 1;
        open.push_back(Milliseconds(start));
        openCpu.push_back(CpuMilliseconds() - cpu);
        editor->show();
        QApplication::processEvents();
        shown.push_back(Milliseconds(start));
        if (run == 0) {
            baseMB = before;
            documentMB = StatusMB("VmRSS:") - before;
            openPeakMB = StatusMB("VmHWM:");
        }

        start = Clock::now();
        QScrollBar* bar = editor->StringGrid1->verticalScrollBar();
        for (int step = 0; step < 100; ++step) {
            bar->setValue(bar->maximum() / 100 * step);
            QApplication::processEvents();
        }
        scroll.push_back(Milliseconds(start) / 100);

        ResetPeak();
        start = Clock::now();
        cpu = CpuMilliseconds();
        editor->N3Click();
        save.push_back(Milliseconds(start));
        saveCpu.push_back(CpuMilliseconds() - cpu);
        if (run == 0)
            savePeakMB = StatusMB("VmHWM:");
        if (editor->modified || QFile(output).size() != QFile(input).size())
            return 1; // the document saves unchanged
        vrma::DestroyEditorWindows();
    }
    vrma::SetDialogHost(nullptr);

    std::printf("open (median of %d):       %7.1f ms (CPU %.1f ms)\n", kRuns, Median(open),
                Median(openCpu));
    std::printf("open and first paint:      %7.1f ms\n", Median(shown));
    std::printf("save:                      %7.1f ms (CPU %.1f ms)\n", Median(save),
                Median(saveCpu));
    std::printf("scroll step with repaint:  %7.2f ms\n", Median(scroll));
    std::printf("process before opening:    %7.1f MB resident\n", baseMB);
    std::printf("the open document:         %7.1f MB more\n", documentMB);
    std::printf("process peak, opening:     %7.1f MB\n", openPeakMB);
    std::printf("process peak, saving:      %7.1f MB\n", savePeakMB);
    QFile::remove(input);
    QFile::remove(output);
    return 0;
}
