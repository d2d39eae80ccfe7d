#include "support/BenchSupport.h"

#include "data/TextFile.h"
#include "platform/Locale.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vrma::bench {

namespace {

QTemporaryDir& Folder() {
    static QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("vrma-bench-XXXXXX")));
    return folder;
}

// A value with 15 significant digits (the precision of the general format), the decimal
// separator given.
QString Number(double value, QChar separator) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    QString result = QString::fromLatin1(text, end.ptr - text);
    result.replace(QLatin1Char('.'), separator);
    return result;
}

QString Line(double x, double y, QChar separator) {
    return Number(x, separator) + QStringLiteral(" ; ") + Number(y, separator);
}

} // namespace

QString WorkFolder() {
    return Folder().path();
}

QString PointFile(int lines, QChar separator) {
    static std::map<std::pair<int, char16_t>, QString> made;
    QString& path = made[{lines, separator.unicode()}];
    if (!path.isEmpty())
        return path;
    std::mt19937_64 random(20031);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    QStringList text;
    text.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        const double x = coordinate(random);
        const double y = coordinate(random);
        text << Line(x, y, separator);
    }
    path = QDir(WorkFolder())
               .filePath(QStringLiteral("points-%1-%2.crd")
                             .arg(lines)
                             .arg(separator == QLatin1Char('.') ? "dot" : "comma"));
    WriteTextLines(path, text);
    return path;
}

GridFiles GridFilesFor(int nc, int nr) {
    static std::map<std::pair<int, int>, GridFiles> made;
    GridFiles& files = made[{nc, nr}];
    if (!files.scene.isEmpty())
        return files;
    std::mt19937_64 random(2003);
    std::normal_distribution<double> printing(0.0, 0.001); // mm
    std::normal_distribution<double> measuring(0.0, 0.05); // pixels
    const double step = 2.0;                               // mm
    const double scale = 5.0;                              // pixels per mm across the image
    const double aspect = 1.0023;
    const double half = (std::max(nc, nr) - 1) * step * scale / 2.0;
    QStringList scene;
    QStringList image;
    scene.reserve(qsizetype(nc) * nr);
    image.reserve(qsizetype(nc) * nr);
    for (int i = 0; i < nc; ++i) {
        for (int j = 0; j < nr; ++j) {
            const double x = (i - (nc - 1) / 2.0) * step + printing(random);
            const double y = (j - (nr - 1) / 2.0) * step + printing(random);
            double u = scale * x;
            double v = scale * aspect * y;
            const double factor = 1.0 - 0.002 * (u * u + v * v) / (half * half);
            u = 2.0 * half + u * factor + measuring(random);
            v = 2.0 * half + v * factor + measuring(random);
            scene << Line(x, y, QLatin1Char('.'));
            image << Line(u, v, QLatin1Char('.'));
        }
    }
    const QDir folder(WorkFolder());
    files.scene = folder.filePath(QStringLiteral("scene-%1x%2.crd").arg(nc).arg(nr));
    files.image = folder.filePath(QStringLiteral("image-%1x%2.crd").arg(nc).arg(nr));
    WriteTextLines(files.scene, scene);
    WriteTextLines(files.image, image);
    return files;
}

MemoryStatus ReadMemoryStatus() {
    MemoryStatus status;
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (!file)
        return status;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        long long kb = 0;
        if (std::sscanf(line, "VmRSS: %lld kB", &kb) == 1)
            status.resident = kb * 1024;
        else if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1)
            status.peak = kb * 1024;
    }
    std::fclose(file);
    return status;
}

void ReleaseHeap() {
    malloc_trim(0);
}

PeakMemory::PeakMemory() {
    // Memory freed earlier goes back to the system first, so that what the case takes
    // shows as new resident memory rather than as reuse of the heap.
    ReleaseHeap();
    // "5" resets the high-water mark to the present resident size.
    if (std::FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", file);
        std::fclose(file);
    }
    start_ = ReadMemoryStatus();
}

void PeakMemory::Report(benchmark::State& state) const {
    const MemoryStatus now = ReadMemoryStatus();
    constexpr double kMB = 1024.0 * 1024.0;
    state.counters["peak_MB"] = double(now.peak) / kMB;
    state.counters["peak_added_MB"] = double(now.peak - start_.resident) / kMB;
}

int SilentDialogHost::messageBox(QWidget*, const QString& text, const QString&, unsigned) {
    ++messages;
    lastMessage = text;
    return IDOK;
}

void SilentDialogHost::showMessage(const QString& text) {
    messageBox(nullptr, text, {}, MB_OK);
}

bool SilentDialogHost::execute(FileDialog& dialog) {
    if (saveAs.isEmpty())
        return false;
    dialog.FileName = saveAs;
    dialog.Files = QStringList{saveAs};
    return true;
}

int SilentDialogHost::execModal(QWidget&) {
    return 0;
}

void SilentDialogHost::help(QWidget*, const QString&, unsigned, quintptr) {}

int RunBenchmarks(int argc, char** argv, const char* smokeFilter) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> args(argv, argv + argc);
    std::string filter = std::string("--benchmark_filter=") + smokeFilter;
    std::string minTime = "--benchmark_min_time=0";
    for (auto it = args.begin() + 1; it != args.end(); ++it) {
        if (std::strcmp(*it, "--smoke") == 0) {
            *it = filter.data();
            args.insert(it + 1, minTime.data());
            break;
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    QApplication app(count, args.data());
    SetDecimalSeparator(QLatin1Char('.'));
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    const std::size_t run = benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return run > 0 ? 0 : 1;
}

} // namespace vrma::bench
