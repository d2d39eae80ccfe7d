// The coordinate-file reader on files of 10,000, 100,000 and 1,000,000 lines under both
// decimal separators, beside the practical ceiling for parsing the same bytes: a bare
// std::from_chars loop over them in memory. Bytes per second are those of the file.
//
// Besides the Google Benchmark cases, every read as a user's first one, in processes of
// their own (see bench/README.md):
//   vrma_bench_point_file fresh [ROUNDS [FOLDER [BEFORE]]]
//       ROUNDS rounds (default 7) of fresh processes on a 1000 x 1000 test field (FOLDER's
//       scene.crd and image.crd, made by bench/make-field.py; without FOLDER the program
//       writes one of its own): our read into a new list, the from_chars loop, numpy.loadtxt,
//       pandas.read_csv, the calibration through the window and the numpy script that does
//       the same computation (bench/peers.py on /usr/bin/python3). Prints the medians and
//       ranges of time, CPU time, page faults and the peak memory each added. BEFORE: another
//       build of this program (of the sources before a change), whose read and calibration
//       run in the same rounds.
//   vrma_bench_point_file once read FILE [AGAIN] | once from_chars FILE
//   vrma_bench_point_file once calibrate SCENE IMAGE NC NR
//       one of them in this process: "<case> <wall ms> <CPU ms> <minor faults> <major faults>
//       <peak added MB>", the calibration then "check <md5 of the ratio lines> <mean> <sd>".
#include "app/Alfa_form.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Locale.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

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

// Each read into a list of its own, destroyed after it: the list's memory comes new every
// time, as for a list that a command makes, fills and lets go.
void ReadIntoNewLists(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QString path = PointFile(lines, QLatin1Char('.'));
    const qint64 bytes = ReadFileBytes(path).size();
    SilentDialogHost host;
    DialogHost* previous = SetDialogHost(&host);
    for (auto _ : state) {
        auto points = std::make_unique<VT_Points>(1);
        if (!ReadPointFile(path, points.get()) || points->Count() != lines) {
            state.SkipWithError("the file was not read");
            break;
        }
        state.PauseTiming();
        points.reset();
        state.ResumeTiming();
    }
    SetDialogHost(previous);
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * lines);
}

// Every number of the text with nothing but std::from_chars: the floor for any reader.
// Returns the sum of the numbers and counts them.
double FromCharsLoop(const QByteArray& bytes, std::size_t& count) {
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

void FromCharsCeiling(benchmark::State& state) {
    const int lines = int(state.range(0));
    const QByteArray bytes = ReadFileBytes(PointFile(lines, QLatin1Char('.')));
    for (auto _ : state) {
        std::size_t count = 0;
        benchmark::DoNotOptimize(FromCharsLoop(bytes, count));
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
    Sizes(benchmark::RegisterBenchmark("ReadPointFile/dot_new_list", ReadIntoNewLists));
    Sizes(benchmark::RegisterBenchmark("FromCharsCeiling", FromCharsCeiling));
    Sizes(benchmark::RegisterBenchmark("ReadFileBytes", FileBytes));
    return true;
}();

// ---- One case in this process ----

// Time, CPU time (all threads), page faults and the peak resident size from here on.
class Usage {
public:
    Usage() {
        // "5" resets the high-water mark of the resident size to the present size.
        if (std::FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", file);
            std::fclose(file);
        }
        resident_ = ReadMemoryStatus().resident;
        getrusage(RUSAGE_SELF, &usage_);
        cpu_ = CpuMilliseconds();
        wall_ = std::chrono::steady_clock::now();
    }
    void Print(const char* name) const {
        const auto wall = std::chrono::steady_clock::now() - wall_;
        const double cpu = CpuMilliseconds() - cpu_;
        rusage now{};
        getrusage(RUSAGE_SELF, &now);
        const double peak = double(ReadMemoryStatus().peak - resident_) / 1048576.0;
        std::printf("%s %.3f %.3f %ld %ld %.1f\n", name,
                    std::chrono::duration<double, std::milli>(wall).count(), cpu,
                    now.ru_minflt - usage_.ru_minflt, now.ru_majflt - usage_.ru_majflt, peak);
        std::fflush(stdout);
    }

private:
    static double CpuMilliseconds() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
    }
    std::chrono::steady_clock::time_point wall_;
    double cpu_ = 0;
    rusage usage_{};
    std::int64_t resident_ = 0;
};

// The first read of the process into a new list, then `again` reads each into a new list
// of its own (the previous list destroyed first, untimed).
int OnceRead(const QString& path, int again) {
    for (int run = 0; run <= again; ++run) {
        const Usage usage;
        VT_Points points(1);
        if (!ReadPointFile(path, &points) || points.Count() == 0)
            return 1;
        usage.Print(run == 0 ? "read" : "read_again");
    }
    return 0;
}

int OnceFromChars(const QString& path) {
    const QByteArray bytes = ReadFileBytes(path);
    const Usage usage;
    std::size_t count = 0;
    const double sum = FromCharsLoop(bytes, count);
    usage.Print("from_chars");
    return count == 0 || sum == 0.5 ? 1 : 0; // keeps the sum alive
}

// The calibration command through the shown window, as the user runs it first.
int OnceCalibrate(const QString& scene, const QString& image, int nc, int nr) {
    SilentDialogHost host;
    SetDialogHost(&host);
    const std::unique_ptr<TAlfaKalibr_Form> form = CreateMainWindow();
    form->show();
    QApplication::processEvents();
    form->sceneFileName = scene;
    form->imageFileName = image;
    form->Edit5->setText(QString::number(nc));
    form->Edit3->setText(QString::number(nr));
    const Usage usage;
    form->N4Click(nullptr);
    QApplication::processEvents();
    usage.Print("calibration");
    SetDialogHost(nullptr);
    if (host.messages != 0) {
        std::fprintf(stderr, "message: %s\n", qPrintable(host.lastMessage));
        return 1;
    }
    // The ratio lines, each followed by a line break, as the numpy script hashes its texts.
    const QStringList lines = form->ListBoxLines();
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (qsizetype k = 0; k + 6 < lines.size(); ++k) {
        hash.addData(lines[k].toLatin1());
        hash.addData("\n");
    }
    std::printf("check %s %s %s\n", hash.result().toHex().constData(),
                qPrintable(form->Edit8->text()), qPrintable(form->Edit9->text()));
    return 0;
}

int Once(const QStringList& args) {
    const QString what = args.value(0);
    if (what == QLatin1String("read") && args.size() >= 2)
        return OnceRead(args[1], args.value(2, QStringLiteral("0")).toInt());
    if (what == QLatin1String("from_chars") && args.size() == 2)
        return OnceFromChars(args[1]);
    if (what == QLatin1String("calibrate") && args.size() == 5)
        return OnceCalibrate(args[1], args[2], args[3].toInt(), args[4].toInt());
    std::fprintf(stderr, "usage: once read FILE [AGAIN] | once from_chars FILE | "
                         "once calibrate SCENE IMAGE NC NR\n");
    return 2;
}

// ---- Rounds of fresh processes ----

struct Sample {
    double wall = 0;
    double cpu = 0;
    double minflt = 0;
    double majflt = 0;
    double peak = 0;
};
// The samples of each case, one a round in the order of the rounds.
using Samples = std::map<std::string, std::vector<Sample>>;

struct Child {
    const char* name; // as the table shows it
    QString program;
    QStringList args;
    const char* prefix = ""; // put before the names of its cases
};

// Runs a child process and takes its lines: samples (the peers' "first_" dropped) and its
// check line. False when it failed.
bool RunChild(const Child& child, Samples& samples, std::map<std::string, QString>& checks) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Where this machine sets them, they hold back a current numpy.
    environment.remove(QStringLiteral("OPENBLAS_CORETYPE"));
    environment.remove(QStringLiteral("OPENBLAS_L2_SIZE"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(child.program, child.args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && fields[0] == "check") {
            checks[child.name] = QString::fromLatin1(line.simplified().mid(6));
        } else if (fields.size() >= 6) {
            std::string name = fields[0].toStdString();
            if (name.rfind("first_", 0) == 0)
                name = name.substr(6);
            name = child.prefix + name;
            samples[name].push_back(Sample{fields[1].toDouble(), fields[2].toDouble(),
                                           fields[3].toDouble(), fields[4].toDouble(),
                                           fields[5].toDouble()});
        }
    }
    return true;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template <class Field> std::vector<double> Column(const std::vector<Sample>& s, Field field) {
    std::vector<double> v;
    for (const Sample& sample : s)
        v.push_back(sample.*field);
    return v;
}

void PrintTable(const Samples& samples) {
    const std::pair<const char*, const char*> rows[] = {
        {"read", "ours: ReadPointFile into a new list, first read"},
        {"read_again", "ours: again, each into a new list"},
        {"before_read", "before: ReadPointFile, first read"},
        {"before_read_again", "before: again, each into a new list"},
        {"from_chars", "ceiling: from_chars loop, one thread"},
        {"numpy.loadtxt", "numpy.loadtxt(f, delimiter=';')"},
        {"pandas.read_csv", "pandas.read_csv(f, sep=';', header=None)"},
        {"calibration", "ours: calibration through the window"},
        {"before_calibration", "before: calibration through the window"},
        {"numpy_calibration", "numpy script (read, ratios, stats, texts)"},
    };
    std::printf("%-46s %9s %17s %8s %9s %7s %8s\n", "case (fresh processes, medians)", "wall ms",
                "range", "CPU ms", "minflt", "majflt", "peak MB");
    for (const auto& [key, label] : rows) {
        const auto found = samples.find(key);
        if (found == samples.end())
            continue;
        const std::vector<double> wall = Column(found->second, &Sample::wall);
        const auto [low, high] = std::minmax_element(wall.begin(), wall.end());
        std::printf("%-46s %9.1f %8.1f..%-8.1f %8.1f %9.0f %7.0f %8.1f\n", label, Median(wall),
                    *low, *high, Median(Column(found->second, &Sample::cpu)),
                    Median(Column(found->second, &Sample::minflt)),
                    Median(Column(found->second, &Sample::majflt)),
                    Median(Column(found->second, &Sample::peak)));
    }
}

// The ratios of wall times, round by round (the two sides ran minutes apart at most).
void PrintRatios(const Samples& samples) {
    const std::pair<const char*, const char*> pairs[] = {
        {"read", "from_chars"},
        {"before_read", "from_chars"},
        {"numpy.loadtxt", "read"},
        {"pandas.read_csv", "read"},
        {"numpy_calibration", "calibration"},
        {"before_calibration", "calibration"},
    };
    std::printf("\n%-46s %9s %17s\n", "ratio of wall times, round by round", "median", "range");
    for (const auto& [a, b] : pairs) {
        if (!samples.count(a) || !samples.count(b))
            continue;
        const std::vector<Sample>& x = samples.at(a);
        const std::vector<Sample>& y = samples.at(b);
        std::vector<double> ratios;
        for (std::size_t k = 0; k < std::min(x.size(), y.size()); ++k)
            ratios.push_back(x[k].wall / y[k].wall);
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%-46s %9.2f %8.2f..%-8.2f\n", (std::string(a) + " / " + b).c_str(),
                    Median(ratios), *low, *high);
    }
}

// bench/<name> beside the sources that this program was built from.
QString BenchScript(const QString& name) {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& up :
         {QStringLiteral("../../bench/"), QStringLiteral("../bench/"), QStringLiteral("bench/")}) {
        const QString path = here.filePath(up + name);
        if (QFileInfo::exists(path))
            return QFileInfo(path).canonicalFilePath();
    }
    return QDir::current().filePath(QStringLiteral("bench/") + name);
}

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

int Fresh(const QStringList& args) {
    const int rounds = std::max(1, args.value(0, QStringLiteral("7")).toInt());
    const QString folder = args.value(1, WorkFolder());
    const QString python = QStringLiteral("/usr/bin/python3");
    const QString scene = QDir(folder).filePath(QStringLiteral("scene.crd"));
    const QString image = QDir(folder).filePath(QStringLiteral("image.crd"));
    if (!QFileInfo::exists(scene) || !QFileInfo::exists(image)) {
        std::printf("Making the 1000 x 1000 test field in %s ...\n", qPrintable(folder));
        std::fflush(stdout);
        if (QProcess::execute(python, {BenchScript(QStringLiteral("make-field.py")), folder,
                                       QStringLiteral("1000"), QStringLiteral("1000")}) != 0)
            return 1;
    }
    const QString self = QCoreApplication::applicationFilePath();
    const QString peers = BenchScript(QStringLiteral("peers.py"));
    const QString n = QStringLiteral("1000");
    std::vector<Child> children = {
        {"read", self, {"once", "read", scene, "2"}},
        {"from_chars", self, {"once", "from_chars", scene}},
        {"numpy.loadtxt", python, {peers, "loadtxt", scene, "0"}},
        {"pandas.read_csv", python, {peers, "read_csv", scene, "0"}},
        {"calibration", self, {"once", "calibrate", scene, image, n, n}},
        {"numpy_calibration", python, {peers, "calibrate", scene, image, n, n, "0"}},
    };
    if (const QString before = args.value(2); !before.isEmpty()) {
        // Another build of this program (the one before a change), side by side.
        children.insert(children.begin() + 1,
                        {"before_read", before, {"once", "read", scene, "2"}, "before_"});
        children.push_back(
            {"before_calibration", before, {"once", "calibrate", scene, image, n, n}, "before_"});
    }
    std::printf("Load average before: %.2f\nRounds:", LoadAverage());
    Samples samples;
    std::map<std::string, QString> checks;
    std::map<std::string, bool> failed;
    for (int round = 0; round < rounds; ++round) {
        std::printf(" %d", round + 1);
        std::fflush(stdout);
        for (std::size_t k = 0; k < children.size(); ++k) {
            // The order is turned round every other round.
            const Child& child = children[round % 2 ? children.size() - 1 - k : k];
            if (!failed[child.name] && !RunChild(child, samples, checks)) {
                failed[child.name] = true;
                std::printf(" (%s failed: left out)", child.name);
            }
        }
    }
    std::printf("\nLoad average after: %.2f\n\n", LoadAverage());
    PrintTable(samples);
    PrintRatios(samples);
    const bool same =
        checks.count("calibration") && checks["calibration"] == checks["numpy_calibration"];
    std::printf("\nratio texts (md5), mean and sd: %s\n",
                same ? "the same on both sides" : "DIFFER");
    if (checks.count("before_calibration"))
        std::printf("before and now: %s\n",
                    checks["before_calibration"] == checks["calibration"] ? "the same" : "DIFFER");
    return same ? 0 : 1;
}

} // namespace

} // namespace vrma::bench

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "once") == 0 || std::strcmp(argv[1], "fresh") == 0)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        vrma::SetDecimalSeparator(QLatin1Char('.'));
        QStringList args = QApplication::arguments().mid(2);
        return std::strcmp(argv[1], "once") == 0 ? vrma::bench::Once(args)
                                                 : vrma::bench::Fresh(args);
    }
    return vrma::bench::RunBenchmarks(argc, argv, "/10000/");
}
