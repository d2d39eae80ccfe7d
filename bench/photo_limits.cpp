// The photograph path under hostile input and at scale: how long reading a photograph takes
// and how much memory it needs for files that are small but decode to large images (the
// "bombs"), and how long the search for the targets takes on large dot grids, large
// chessboards and textured pictures.
//
//   vrma_bench_photo_limits                        Google Benchmark cases (below)
//   vrma_bench_photo_limits write DIR              the files of every case into DIR (kept:
//                                                  rendering the large grids takes minutes)
//   vrma_bench_photo_limits measure DIR [LIMIT_S] [NAME...]
//       every case (or those named) in a fresh process of its own, under a time limit
//       (LIMIT_S, default 120 s) and a memory limit of 8 GB; one line a case:
//       "NAME  RESULT  ms  peak_MB  tmp_copies" with the process's peak resident memory
//       (ru_maxrss, the program's own base included: see the case "base") and the number of
//       files the case left in the temporary folder (OpenCV's __opencv_temp.*).
#include "calib/TargetDetection.h"
#include "support/BenchSupport.h"
#include "support/ImageFiles.h"
#include "support/PhotoRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vrma;
using vrma::test::ImageShape;

constexpr qint64 kMemoryLimit = qint64{8} << 30;

// ---- the files ----------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    const char* file;
    std::function<void(const QString&)> write;
};

void Bytes(const QString& file, const QByteArray& bytes) {
    test::WriteBytes(file, bytes);
}

// A picture of a field as a progressive JPEG cut at 60 % of its bytes, an end marker added.
QByteArray CutProgressiveJpeg() {
    test::PhotoScene scene;
    scene.colour = true;
    scene.blur = 1.0;
    const test::RenderedPhoto photo = test::RenderPhoto(scene);
    test::JpegOptions options;
    options.progressive = true;
    QByteArray bytes =
        test::JpegFile({scene.width, scene.height, 3, CV_8U}, test::RowsOf(photo.image), options);
    bytes.truncate(bytes.size() * 6 / 10);
    return bytes + QByteArray("\xff\xd9", 2);
}

std::vector<DecodeCase> DecodeCases() {
    const auto png = [](ImageShape shape, bool interlaced) {
        return [shape, interlaced](const QString& file) {
            test::PngOptions options;
            options.interlaced = interlaced;
            Bytes(file, test::PngFile(shape, test::Bands(shape), options));
        };
    };
    const auto tiff = [](ImageShape shape, bool tiled) {
        return [shape, tiled](const QString& file) {
            test::TiffOptions options;
            options.tiled = tiled;
            test::WriteTiff(file, shape, test::Bands(shape), options);
        };
    };
    const auto jpeg = [](ImageShape shape, bool progressive) {
        return [shape, progressive](const QString& file) {
            test::JpegOptions options;
            options.progressive = progressive;
            Bytes(file, test::JpegFile(shape, test::Bands(shape), options));
        };
    };
    return {
        {"base", "base.png", png({16, 16, 1, CV_8U}, false)},
        {"png_header_100000", "header.png",
         [](const QString& file) { Bytes(file, test::PngHeaderOnly(100000, 100000, 8, 2)); }},
        {"png16_rgb_8000", "rgb16.png", png({8000, 8000, 3, CV_16U}, false)},
        {"png16_grey_interlaced_8000", "grey16i.png", png({8000, 8000, 1, CV_16U}, true)},
        {"png8_grey_8000", "grey8.png", png({8000, 8000, 1, CV_8U}, false)},
        {"tiff_float32_grey_10000", "f32.tif", tiff({10000, 10000, 1, CV_32F}, false)},
        {"tiff_float64_rgb_5000", "f64.tif", tiff({5000, 5000, 3, CV_64F}, false)},
        {"tiff16_rgb_tiled_8000", "rgb16t.tif", tiff({8000, 8000, 3, CV_16U}, true)},
        {"jpeg_baseline_rgb_24MP", "baseline.jpg", jpeg({6000, 4000, 3, CV_8U}, false)},
        {"jpeg_progressive_rgb_8000", "progressive.jpg", jpeg({8000, 8000, 3, CV_8U}, true)},
        {"jpeg_progressive_cut60", "cut.jpg",
         [](const QString& file) { Bytes(file, CutProgressiveJpeg()); }},
        {"bmp_rle8_15000", "rle.bmp",
         [](const QString& file) { Bytes(file, test::BmpRleBomb(15000, 15000)); }},
        {"hdr_40000", "big.hdr",
         [](const QString& file) {
             Bytes(file, test::OtherFormatFile("hdr", 40000, 40000, 1 << 20));
         }},
        {"pfm_40000", "big.pfm",
         [](const QString& file) {
             Bytes(file, test::OtherFormatFile("pfm", 40000, 40000, 1 << 20));
         }},
    };
}

struct DetectCase {
    std::string name;
    TargetKind kind;
    int columns;
    int rows;
    test::PhotoScene scene;
    bool noise = false; // a picture of noise alone, of the scene's size
};

// Every pixel its own grey: the hardest picture for a search, with no grid in it.
cv::Mat Noise(int width, int height) {
    cv::Mat noise(height, width, CV_8U);
    cv::RNG rng(5);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    return noise;
}

cv::Mat Picture(const DetectCase& c) {
    return c.noise ? Noise(c.scene.width, c.scene.height) : test::RenderPhoto(c.scene).image;
}

test::PhotoScene Camera24(test::PhotoScene scene) {
    scene.width = 6000;
    scene.height = 4000;
    scene.fx = 7000.0;
    scene.fy = 7000.0 * 1.0035;
    scene.blur = 1.5;
    scene.noise = 2.0;
    return scene;
}

std::vector<DetectCase> DetectCases() {
    std::vector<DetectCase> cases;
    for (const int n : {30, 50, 100, 150, 200}) {
        test::PhotoScene scene;
        scene.kind = TargetKind::Dots;
        scene.columns = scene.rows = n;
        cases.push_back({"dots_" + std::to_string(n) + "x" + std::to_string(n) + "_24MP",
                         TargetKind::Dots, n, n, Camera24(scene)});
    }
    for (const int n : {100, 200}) {
        test::PhotoScene scene;
        scene.columns = scene.rows = n;
        cases.push_back({"chess_" + std::to_string(n) + "x" + std::to_string(n) + "_24MP",
                         TargetKind::Chessboard, n, n, Camera24(scene)});
    }
    // 1800 x 1200, a 9 x 6 field on a table of speckle: every pixel its own grey, or discs.
    test::PhotoScene textured;
    textured.width = 1800;
    textured.height = 1200;
    textured.fill = 0.5;
    textured.speckle = 0.5;
    cases.push_back({"textured_chess_9x6", TargetKind::Chessboard, 9, 6, textured});
    test::PhotoScene discs = textured;
    discs.speckle = 6.0;
    discs.fill = 0.05; // the field all but gone: a picture of speckle
    cases.push_back({"speckle_chess_9x6", TargetKind::Chessboard, 9, 6, discs});
    textured.kind = TargetKind::Dots;
    cases.push_back({"textured_dots_9x6", TargetKind::Dots, 9, 6, textured});
    discs.kind = TargetKind::Dots;
    cases.push_back({"speckle_dots_9x6", TargetKind::Dots, 9, 6, discs});
    // 24 megapixels of noise, searched for small and large grids of either kind.
    const test::PhotoScene noise = Camera24(test::PhotoScene());
    for (const TargetKind kind : {TargetKind::Chessboard, TargetKind::Dots}) {
        const std::string word = kind == TargetKind::Chessboard ? "chess" : "dots";
        cases.push_back({"noise_24MP_" + word + "_9x6", kind, 9, 6, noise, true});
        cases.push_back({"noise_24MP_" + word + "_200x200", kind, 200, 200, noise, true});
    }
    return cases;
}

int Write(const QString& dir) {
    QDir().mkpath(dir);
    for (const DecodeCase& c : DecodeCases()) {
        const QString file = QDir(dir).filePath(QLatin1String(c.file));
        if (!QFileInfo::exists(file))
            c.write(file);
    }
    for (const DetectCase& c : DetectCases()) {
        const QString file =
            QDir(dir).filePath(QString::fromStdString(c.name) + QStringLiteral(".png"));
        if (QFileInfo::exists(file))
            continue;
        std::printf("rendering %s\n", c.name.c_str());
        std::fflush(stdout);
        test::RenderedPhoto photo;
        photo.image = Picture(c);
        test::WritePhoto(photo, file);
    }
    return 0;
}

// ---- one case in a process of its own ------------------------------------------------

int RunOne(const QString& dir, const std::string& name) {
    for (const DecodeCase& c : DecodeCases()) {
        if (name != c.name)
            continue;
        QElapsedTimer timer;
        timer.start();
        std::string result;
        try {
            const cv::Mat grey = ReadPhotograph(QDir(dir).filePath(QLatin1String(c.file)));
            result = "read " + std::to_string(grey.cols) + "x" + std::to_string(grey.rows);
        } catch (const std::exception& error) {
            result = std::string("refused: ") + error.what();
        }
        std::printf("%.1f\t%s\n", double(timer.nsecsElapsed()) / 1e6, result.c_str());
        return 0;
    }
    for (const DetectCase& c : DetectCases()) {
        if (name != c.name)
            continue;
        const QString file =
            QDir(dir).filePath(QString::fromStdString(c.name) + QStringLiteral(".png"));
        const cv::Mat grey =
            cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_GRAYSCALE);
        QElapsedTimer timer;
        timer.start();
        std::string result = "found";
        try {
            DetectTargets(grey, c.kind, c.columns, c.rows);
        } catch (const std::exception&) {
            result = "not found";
        }
        std::printf("%.1f\t%s\n", double(timer.nsecsElapsed()) / 1e6, result.c_str());
        return 0;
    }
    std::fprintf(stderr, "no case %s\n", name.c_str());
    return 1;
}

int CountTemporaryCopies() {
    const char* folder = std::getenv("OPENCV_TEMP_PATH");
    return int(QDir(QString::fromLocal8Bit(folder ? folder : "/tmp"))
                   .entryList({QStringLiteral("__opencv_temp.*")}, QDir::Files)
                   .size());
}

int Measure(const QString& dir, int limit, const std::vector<std::string>& only) {
    std::vector<std::string> names;
    for (const DecodeCase& c : DecodeCases())
        names.emplace_back(c.name);
    for (const DetectCase& c : DetectCases())
        names.emplace_back(c.name);
    const std::string self =
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    const std::string folder = QFile::encodeName(dir).toStdString();
    for (const std::string& name : names) {
        if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end())
            continue;
        const int copiesBefore = CountTemporaryCopies();
        int pipe[2];
        if (::pipe(pipe) != 0)
            return 1;
        QElapsedTimer timer;
        timer.start();
        const pid_t child = fork();
        if (child == 0) {
            ::dup2(pipe[1], STDOUT_FILENO);
            ::close(pipe[0]);
            const rlimit memory{rlim_t(kMemoryLimit), rlim_t(kMemoryLimit)};
            setrlimit(RLIMIT_AS, &memory);
            alarm(unsigned(limit));
            execl(self.c_str(), self.c_str(), "run", folder.c_str(), name.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(pipe[1]);
        std::string out;
        char buffer[512];
        for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
            out.append(buffer, size_t(got));
        ::close(pipe[0]);
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        const double wall = double(timer.nsecsElapsed()) / 1e6;
        const double peak = double(usage.ru_maxrss) / 1024.0;
        std::string result;
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
            result = "ended by the time limit\t> " + std::to_string(limit * 1000);
        else if (WIFSIGNALED(status))
            result = "killed by signal " + std::to_string(WTERMSIG(status)) + "\t" +
                     std::to_string(int(wall));
        else
            result = out.empty() ? "no answer\t-" : out.substr(out.find('\t') + 1);
        if (!result.empty() && result.back() == '\n')
            result.pop_back();
        const std::string ms =
            out.empty() || WIFSIGNALED(status) ? "" : out.substr(0, out.find('\t'));
        std::printf("%-28s %-60s %10s %9.0f %3d\n", name.c_str(), result.c_str(), ms.c_str(), peak,
                    CountTemporaryCopies() - copiesBefore);
        std::fflush(stdout);
    }
    return 0;
}

// ---- Google Benchmark cases -----------------------------------------------------------

QString CaseFile(const DecodeCase& c) {
    const QString file = QDir(bench::WorkFolder()).filePath(QLatin1String(c.file));
    if (!QFileInfo::exists(file))
        c.write(file);
    return file;
}

void Decode(benchmark::State& state, const DecodeCase& c) {
    const QString file = CaseFile(c);
    bench::ReleaseHeap();
    const bench::PeakMemory peak;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(ReadPhotograph(file));
        } catch (const PhotoReadError&) {
        }
    }
    peak.Report(state);
}

void Detect(benchmark::State& state, const DetectCase& c) {
    static std::map<std::string, cv::Mat> rendered;
    cv::Mat& grey = rendered[c.name];
    if (grey.empty())
        grey = Picture(c);
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(DetectTargets(grey, c.kind, c.columns, c.rows));
        } catch (const GridNotFound&) {
        }
    }
}

void Register() {
    for (const DecodeCase& c : DecodeCases())
        benchmark::RegisterBenchmark((std::string("PhotoDecode/") + c.name).c_str(),
                                     [c](benchmark::State& state) { Decode(state, c); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    for (const DetectCase& c : DetectCases())
        benchmark::RegisterBenchmark(("PhotoDetect/" + c.name).c_str(),
                                     [c](benchmark::State& state) { Detect(state, c); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "write") == 0) {
        QCoreApplication app(argc, argv);
        return Write(QString::fromLocal8Bit(argv[2]));
    }
    if (argc > 3 && std::strcmp(argv[1], "run") == 0) {
        QCoreApplication app(argc, argv);
        return RunOne(QString::fromLocal8Bit(argv[2]), argv[3]);
    }
    if (argc > 2 && std::strcmp(argv[1], "measure") == 0) {
        QCoreApplication app(argc, argv);
        std::vector<std::string> only;
        for (int k = 4; k < argc; ++k)
            only.emplace_back(argv[k]);
        return Measure(QString::fromLocal8Bit(argv[2]),
                       argc > 3 ? std::max(1, std::atoi(argv[3])) : 120, only);
    }
    Register();
    return bench::RunBenchmarks(argc, argv, "PhotoDecode/png_header_100000");
}
