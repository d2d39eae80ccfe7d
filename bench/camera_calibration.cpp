// The calibration of a camera from several photographs (calib/CameraCalibration): how long
// it takes and how much memory it needs as the photographs grow in number, beside OpenCV's
// calibrateCamera; and our side of bench/camera-calibration.sh:
//   vrma_bench_camera_calibration write DIR [PHOTOS]
//       renders the benchmark's sets of PHOTOS photographs (12) through a lens into
//       DIR/SET/NN.jpg, the
//       boards turned 0, 90, 180, 270, 0, ... degrees besides their tilt, with
//       DIR/SET/truth.txt ("fx fy cx cy k1 k2 p1 p2 k3" of the camera), DIR/SET/NN.truth
//       (the true position of every target, "x y" a line, in the board's own order) and
//       DIR/sets.txt ("SET COLUMNS ROWS" a line);
//   vrma_bench_camera_calibration measure DIR NC NR [PATTERN]
//       finds the chessboard of NC x NR inner corners in every photograph of DIR (all, or
//       those whose names match PATTERN) with calib/PhotoCalibration, one after the other,
//       and calibrates the camera from those found; prints one JSON object with the keys of
//       bench/calib_peer.py, and the RMS of the targets found against NN.truth where the
//       folder has them (vrma-calib with several --photo does the same, its photographs on
//       threads);
//   vrma_bench_camera_calibration scale ceres|opencv N...
//       for each N, in a process of its own: N views of synthetic points (no rendering),
//       then one calibration; prints "solver N seconds peak_MB added_MB ratio_error" with the
//       process's peak resident size (getrusage) after the calibration and how far it rose
//       during it.
// The Google Benchmark cases: CameraCalibration/ceres/N (ours) and /opencv/N
// (cv::calibrateCamera alone), N views of a 9 x 6 board with 0.02 px of noise.
#include "calib/CameraCalibration.h"
#include "calib/PhotoCalibration.h"
#include "calib/TargetDetection.h"
#include "support/BenchSupport.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <opencv2/calib3d.hpp>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vrma;
using vrma::test::PhotoScene;

// ---- the rendered sets ------------------------------------------------------------------

struct Set {
    const char* name;
    PhotoScene camera;
    test::Variation variation;
};

PhotoScene Lens(double k1, double k2, double k3, double dx, double dy) {
    PhotoScene scene;
    scene.fx = 2000.0;
    scene.fy = 2007.0;
    scene.k1 = k1;
    scene.k2 = k2;
    scene.k3 = k3;
    scene.p1 = 0.0006;
    scene.p2 = -0.0004;
    scene.cx = 0.5 * (scene.width - 1) + dx;
    scene.cy = 0.5 * (scene.height - 1) + dy;
    // A photograph as a camera writes it: a little blur and sensor noise, JPEG.
    scene.blur = 1.0;
    scene.noise = 2.0;
    scene.jpegQuality = 92;
    return scene;
}

std::vector<Set> Sets() {
    // Boards turned every way, whole in the frame (their outer squares too).
    test::Variation turned;
    turned.quarterTurns = true;
    turned.room = 1.0;
    test::Variation steep = turned;
    steep.minTilt = 30.0;
    steep.maxTilt = 50.0;
    // And photographs as a hurried user takes them: tilted 35 to 55 degrees, blurred,
    // noisy, unevenly lit, compressed harder.
    test::Variation hard = turned;
    hard.minTilt = 35.0;
    hard.maxTilt = 55.0;
    PhotoScene rough = Lens(-0.25, 0.1, -0.02, -20.0, 15.0);
    rough.blur = 1.4;
    rough.noise = 3.0;
    rough.lighting = 0.3;
    rough.jpegQuality = 85;
    return {
        {"barrel", Lens(-0.21, 0.08, -0.015, 12.0, -9.0), turned},
        {"pincushion", Lens(0.18, -0.05, 0.0, -15.0, 10.0), turned},
        {"off_centre", Lens(-0.05, 0.0, 0.0, 40.0, -30.0), turned},
        {"steep", Lens(-0.12, 0.03, 0.0, 8.0, 6.0), steep},
        {"hard", rough, hard},
    };
}

int Write(const QString& dir, int photosPerSet) {
    QDir().mkpath(dir);
    QFile list(QDir(dir).filePath(QStringLiteral("sets.txt")));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    QTextStream sets(&list);
    unsigned seed = 1;
    for (const Set& set : Sets()) {
        const QString folder = QDir(dir).filePath(QLatin1String(set.name));
        QDir().mkpath(folder);
        int k = 0;
        for (const PhotoScene& scene :
             test::VariedScenes(set.camera, photosPerSet, seed++, set.variation)) {
            const QString name = QStringLiteral("%1").arg(++k, 2, 10, QLatin1Char('0'));
            const test::RenderedPhoto photo = test::RenderPhoto(scene);
            test::WritePhoto(photo, QDir(folder).filePath(name + QStringLiteral(".jpg")));
            QFile truth(QDir(folder).filePath(name + QStringLiteral(".truth")));
            if (!truth.open(QIODevice::WriteOnly | QIODevice::Text))
                return 1;
            QTextStream out(&truth);
            out.setRealNumberPrecision(12);
            for (const PlanePoint& p : photo.boardTruth)
                out << p.x << ' ' << p.y << '\n';
        }
        QFile truth(QDir(folder).filePath(QStringLiteral("truth.txt")));
        if (!truth.open(QIODevice::WriteOnly | QIODevice::Text))
            return 1;
        QTextStream out(&truth);
        out.setRealNumberPrecision(12);
        const Camera camera = test::TrueTargets(set.camera).camera;
        for (CameraParameter p : kPinholeParameters)
            out << camera[p] << (p == CameraParameter::K3 ? '\n' : ' ');
        sets << set.name << ' ' << set.camera.columns << ' ' << set.camera.rows << '\n';
    }
    return 0;
}

// ---- ours on a folder of photographs --------------------------------------------------

int Measure(const QString& dir, int columns, int rows, const QString& pattern) {
    const QStringList files = QDir(dir).entryList(
        {pattern.isEmpty() ? QStringLiteral("*") : pattern}, QDir::Files, QDir::Name);
    QElapsedTimer timer;
    timer.start();
    // Any pitch gives the same fy/fx.
    const Board board{TargetKind::Chessboard, columns, rows, 1.0, 1.0};
    std::vector<PhotoDetection> photos;
    int found = 0;
    double detectionSquares = 0.0;
    size_t detectionPoints = 0;
    for (const QString& name : files) {
        const QString lower = name.toLower();
        if (!lower.endsWith(QLatin1String(".jpg")) && !lower.endsWith(QLatin1String(".png")) &&
            !lower.endsWith(QLatin1String(".jpeg")))
            continue;
        photos.push_back(DetectBoardInPhoto(QDir(dir).filePath(name), board));
        const PhotoDetection& photo = photos.back();
        if (!photo.found)
            continue;
        ++found;
        // Against the true positions, where the folder has them (rendered sets).
        QFile truth(
            QDir(dir).filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".truth")));
        if (truth.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&truth);
            for (const PlanePoint& p : photo.image) {
                double x = 0.0, y = 0.0;
                in >> x >> y;
                detectionSquares += (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
                ++detectionPoints;
            }
        }
    }
    const double detectionSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("{\"photos\": %zu, \"found\": %d", photos.size(), found);
    try {
        const CameraCalibration fit = CalibrateFromPhotos(photos);
        for (CameraParameter p : kPinholeParameters)
            std::printf(", \"%s\": %.10g", CameraParameterName(p), fit.camera[p]);
        std::printf(", \"ratio\": %.10g, \"ratio_se\": %.4g, \"rms_px\": %.6g, \"used\": %d",
                    fit.ratio, fit.ratioSe, fit.rmsPx, fit.used);
    } catch (const std::exception& error) {
        std::printf(", \"error\": \"%s\"", error.what());
    }
    if (detectionPoints > 0)
        std::printf(", \"detection_rms_px\": %.5f",
                    std::sqrt(detectionSquares / double(detectionPoints)));
    std::printf(", \"detection_s\": %.6f, \"seconds\": %.6f}\n", detectionSeconds,
                double(timer.nsecsElapsed()) / 1e9);
    return 0;
}

// ---- views at scale ---------------------------------------------------------------------

PhotoScene ScaleCamera() {
    PhotoScene scene = Lens(-0.21, 0.08, -0.015, 12.0, -9.0);
    scene.jpegQuality = 0;
    return scene;
}

std::vector<BoardPhoto> Views(int count) {
    return test::NoisyPhotos(test::VariedScenes(ScaleCamera(), count, 77), 0.02, 78);
}

// OpenCV's calibrateCamera with its default model on the same points; fy/fx.
double OpenCvRatio(const std::vector<BoardPhoto>& photos) {
    std::vector<std::vector<cv::Point3f>> object;
    std::vector<std::vector<cv::Point2f>> image;
    for (const BoardPhoto& photo : photos) {
        object.emplace_back();
        image.emplace_back();
        for (size_t k = 0; k < photo.board.size(); ++k) {
            object.back().emplace_back(float(photo.board[k].x), float(photo.board[k].y), 0.0f);
            image.back().emplace_back(float(photo.image[k].x), float(photo.image[k].y));
        }
    }
    cv::Mat matrix, lens;
    std::vector<cv::Mat> rotations, translations;
    cv::calibrateCamera(object, image, cv::Size(photos[0].width, photos[0].height), matrix, lens,
                        rotations, translations);
    return matrix.at<double>(1, 1) / matrix.at<double>(0, 0);
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

int Scale(const char* solver, const std::vector<int>& counts) {
    const bool opencv = std::strcmp(solver, "opencv") == 0;
    const Camera truth = test::TrueTargets(ScaleCamera()).camera;
    for (const int count : counts) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child < 0)
            return 1;
        if (child == 0) {
            const std::vector<BoardPhoto> photos = Views(count);
            const double before = PeakMegabytes();
            QElapsedTimer timer;
            timer.start();
            const double ratio = opencv ? OpenCvRatio(photos) : CalibrateCamera(photos).ratio;
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            const double peak = PeakMegabytes();
            std::printf("%s %d %.3f %.1f %.1f %.2e\n", solver, count, seconds, peak, peak - before,
                        ratio - truth.fy() / truth.fx());
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
    }
    return 0;
}

// ---- Google Benchmark cases -------------------------------------------------------------

const std::vector<BoardPhoto>& CachedViews(int count) {
    static std::map<int, std::vector<BoardPhoto>> views;
    auto& v = views[count];
    if (v.empty())
        v = Views(count);
    return v;
}

void Ceres(benchmark::State& state) {
    const std::vector<BoardPhoto>& photos = CachedViews(int(state.range(0)));
    bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(CalibrateCamera(photos));
    memory.Report(state);
}

void OpenCv(benchmark::State& state) {
    const std::vector<BoardPhoto>& photos = CachedViews(int(state.range(0)));
    bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenCvRatio(photos));
    memory.Report(state);
}

BENCHMARK(Ceres)
    ->Name("CameraCalibration/ceres")
    ->Arg(10)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(OpenCv)
    ->Name("CameraCalibration/opencv")
    ->Arg(10)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "write") == 0)
        return Write(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 12);
    if (argc > 4 && std::strcmp(argv[1], "measure") == 0)
        return Measure(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString());
    if (argc > 3 && std::strcmp(argv[1], "scale") == 0) {
        std::vector<int> counts;
        for (int k = 3; k < argc; ++k)
            counts.push_back(std::atoi(argv[k]));
        return Scale(argv[2], counts);
    }
    return vrma::bench::RunBenchmarks(argc, argv, "CameraCalibration/ceres/10/");
}
