// Target detection: how long it takes on photographs of 2 and 24 megapixels, and our side
// of bench/detection.sh:
//   vrma_bench_detection write DIR
//       renders the benchmark's photographs into DIR: NAME.png or NAME.jpg, NAME.truth (the
//       true image position of every target, "x y" a line, in the calibration's order) and
//       cases.txt ("NAME KIND COLUMNS ROWS FILE" a line);
//   vrma_bench_detection measure DIR [REPEAT] [saddle|quads]
//       detects the targets of every case from its file REPEAT times (3) and prints
//       "NAME rms_px median_ms" a line ("NAME - median_ms" when not found), the chessboard
//       first found by the finder named (the default otherwise);
//   vrma_bench_detection measure DIR REPEAT saddle-alone
//       the chessboards only, by OpenCV's saddle-point finder on the whole photograph with
//       its own accuracy step and nothing after it (each corner taken against the nearest
//       true one), for the choice of finder.
#include "calib/TargetDetection.h"
#include "support/BenchSupport.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <opencv2/calib3d.hpp>
#include <vector>

namespace {

using namespace vrma;
using vrma::test::PhotoScene;

struct Case {
    const char* name;
    PhotoScene scene;
    const char* extension;
};

PhotoScene Camera24(PhotoScene scene) {
    scene.width = 6000;
    scene.height = 4000;
    scene.fx = 7000.0;
    scene.fy = 7000.0 * 1.0035;
    return scene;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const TargetKind kind : {TargetKind::Chessboard, TargetKind::Dots}) {
        const bool chess = kind == TargetKind::Chessboard;
        PhotoScene sharp;
        sharp.kind = kind;
        PhotoScene degraded = sharp;
        degraded.blur = 1.6;
        degraded.lighting = 0.35;
        degraded.noise = 3.0;
        degraded.jpegQuality = 80;
        PhotoScene tilted = sharp;
        tilted.tiltX = 15.0;
        tilted.tiltY = -20.0;
        tilted.blur = 0.8;
        PhotoScene big = Camera24(degraded);
        big.blur = 2.5;
        big.noise = 2.0;
        big.jpegQuality = 90;
        cases.push_back({chess ? "chess_sharp" : "dots_sharp", sharp, "png"});
        cases.push_back({chess ? "chess_degraded" : "dots_degraded", degraded, "jpg"});
        cases.push_back({chess ? "chess_tilted" : "dots_tilted", tilted, "png"});
        cases.push_back({chess ? "chess_24MP" : "dots_24MP", big, "jpg"});
    }
    PhotoScene light;
    light.kind = TargetKind::Dots;
    light.lightOnDark = true;
    light.blur = 1.6;
    light.lighting = 0.35;
    light.noise = 3.0;
    light.jpegQuality = 80;
    cases.push_back({"dots_light_degraded", light, "jpg"});
    PhotoScene deep;
    deep.blur = 1.0;
    deep.sixteenBit = true;
    deep.colour = true;
    cases.push_back({"chess_16bit_colour", deep, "png"});
    return cases;
}

const char* KindWord(TargetKind kind) {
    return kind == TargetKind::Chessboard ? "chessboard" : "dots";
}

int Write(const QString& dir) {
    QDir().mkpath(dir);
    QFile list(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    QTextStream cases(&list);
    for (const Case& c : Cases()) {
        const test::RenderedPhoto photo = test::RenderPhoto(c.scene);
        const QString file = QDir(dir).filePath(
            QStringLiteral("%1.%2").arg(QLatin1String(c.name), QLatin1String(c.extension)));
        test::WritePhoto(photo, file);
        QFile truth(QDir(dir).filePath(QStringLiteral("%1.truth").arg(QLatin1String(c.name))));
        if (!truth.open(QIODevice::WriteOnly | QIODevice::Text))
            return 1;
        QTextStream out(&truth);
        out.setRealNumberPrecision(10);
        for (const cv::Point2d& p : photo.truth)
            out << p.x << ' ' << p.y << '\n';
        cases << c.name << ' ' << KindWord(c.scene.kind) << ' ' << c.scene.columns << ' '
              << c.scene.rows << ' ' << file << '\n';
    }
    return 0;
}

std::vector<cv::Point2d> ReadTruth(const QString& file) {
    std::vector<cv::Point2d> truth;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return truth;
    QTextStream stream(&in);
    while (!stream.atEnd()) {
        const QStringList xy = stream.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (xy.size() == 2)
            truth.emplace_back(xy[0].toDouble(), xy[1].toDouble());
    }
    return truth;
}

// OpenCV's saddle-point finder alone on the whole photograph; the RMS distance of each
// corner to the nearest true corner, or -1.
double SaddleAlone(const QString& file, int columns, int rows,
                   const std::vector<cv::Point2d>& truth) {
    std::vector<cv::Point2f> corners;
    if (!cv::findChessboardCornersSB(ReadPhotograph(file), cv::Size(columns, rows), corners,
                                     cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_EXHAUSTIVE |
                                         cv::CALIB_CB_ACCURACY))
        return -1.0;
    double sum = 0.0;
    for (const cv::Point2f& corner : corners) {
        double nearest = 1e300;
        for (const cv::Point2d& t : truth)
            nearest = std::min(nearest, cv::norm(cv::Point2d(corner) - t));
        sum += nearest * nearest;
    }
    return std::sqrt(sum / double(corners.size()));
}

int Measure(const QString& dir, int repeat, const char* finder) {
    const bool alone = finder && std::strcmp(finder, "saddle-alone") == 0;
    DetectionTuning tuning;
    if (finder && std::strcmp(finder, "saddle") == 0)
        tuning.sources = GridSources::Saddles;
    else if (finder && std::strcmp(finder, "quads") == 0)
        tuning.sources = GridSources::Quads;
    else if (finder && std::strcmp(finder, "walk") == 0)
        tuning.sources = GridSources::Walk;
    QFile list(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    QTextStream cases(&list);
    while (!cases.atEnd()) {
        const QStringList fields = cases.readLine().split(QLatin1Char(' '));
        if (fields.size() != 5)
            continue;
        TargetKind kind = TargetKind::Chessboard;
        ParseTargetKind(fields[1], kind);
        const int columns = fields[2].toInt();
        const int rows = fields[3].toInt();
        const std::vector<cv::Point2d> truth =
            ReadTruth(QDir(dir).filePath(fields[0] + QStringLiteral(".truth")));
        if (alone && kind != TargetKind::Chessboard)
            continue;
        std::vector<double> times;
        double rms = -1.0;
        for (int n = 0; n < repeat; ++n) {
            QElapsedTimer timer;
            timer.start();
            try {
                if (alone) {
                    rms = SaddleAlone(fields[4], columns, rows, truth);
                    times.push_back(double(timer.nsecsElapsed()) / 1e6);
                    continue;
                }
                const DetectedTargets found =
                    DetectTargetsTuned(ReadPhotograph(fields[4]), kind, columns, rows, tuning);
                rms = test::RmsError(found.points, truth);
            } catch (const std::exception&) {
                rms = -1.0;
            }
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        if (rms < 0.0)
            std::printf("%s - %.1f\n", qPrintable(fields[0]), median);
        else
            std::printf("%s %.4f %.1f\n", qPrintable(fields[0]), rms, median);
        std::fflush(stdout);
    }
    return 0;
}

// ---- Google Benchmark cases -----------------------------------------------------------

// A photograph written once per process, detected from its file in every iteration.
class PhotoFile {
public:
    explicit PhotoFile(const PhotoScene& scene) : scene_(scene) {
        file_ = dir_.filePath(QStringLiteral("photo.jpg"));
        test::WritePhoto(test::RenderPhoto(scene), file_);
    }
    void Detect() const {
        benchmark::DoNotOptimize(
            DetectTargetsInFile(file_, scene_.kind, scene_.columns, scene_.rows));
    }

private:
    PhotoScene scene_;
    QTemporaryDir dir_;
    QString file_;
};

PhotoScene BenchScene(TargetKind kind, bool big) {
    PhotoScene scene;
    scene.kind = kind;
    scene.blur = big ? 2.5 : 1.2;
    scene.noise = 2.0;
    scene.jpegQuality = 90;
    return big ? Camera24(scene) : scene;
}

void DetectFromFile(benchmark::State& state, TargetKind kind, bool big) {
    static std::vector<std::unique_ptr<PhotoFile>> files(4);
    auto& file = files[size_t(kind == TargetKind::Dots) * 2 + size_t(big)];
    if (!file)
        file = std::make_unique<PhotoFile>(BenchScene(kind, big));
    for (auto _ : state)
        file->Detect();
}

void Chessboard2MP(benchmark::State& state) {
    DetectFromFile(state, TargetKind::Chessboard, false);
}
void Dots2MP(benchmark::State& state) {
    DetectFromFile(state, TargetKind::Dots, false);
}
void Chessboard24MP(benchmark::State& state) {
    DetectFromFile(state, TargetKind::Chessboard, true);
}
void Dots24MP(benchmark::State& state) {
    DetectFromFile(state, TargetKind::Dots, true);
}
BENCHMARK(Chessboard2MP)
    ->Name("Detection/chessboard/2MP")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Dots2MP)->Name("Detection/dots/2MP")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Chessboard24MP)
    ->Name("Detection/chessboard/24MP")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Dots24MP)->Name("Detection/dots/24MP")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "write") == 0)
        return Write(QString::fromLocal8Bit(argv[2]));
    if (argc > 2 && std::strcmp(argv[1], "measure") == 0)
        return Measure(QString::fromLocal8Bit(argv[2]),
                       argc > 3 ? std::max(1, std::atoi(argv[3])) : 3,
                       argc > 4 ? argv[4] : nullptr);
    return vrma::bench::RunBenchmarks(argc, argv, "Detection/.*/2MP");
}
