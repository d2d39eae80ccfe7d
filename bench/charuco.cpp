// ChArUco boards seen in part, into the frame's corners, through a barrel lens: the corners
// found and the camera recovered, ours (calib/PhotoCalibration: the markers, the corners
// between them measured by our own step, the camera by calib/CameraCalibration) beside
// OpenCV's (detectMarkers, interpolateCornersCharuco, calibrateCameraCharuco, as its
// tutorial runs them):
//   vrma_bench_charuco write DIR
//       renders the benchmark's sets into DIR/SET/NN.png, with DIR/SET/NN.truth (the true
//       position of every inner corner, "x y" a line, in the board's order k = i * rows + j),
//       DIR/SET/truth.txt ("fx fy cx cy k1 k2 p1 p2 k3" of the camera) and DIR/sets.txt
//       ("SET COLUMNS ROWS" a line);
//   vrma_bench_charuco measure DIR [SET...]
//       for every set (or those named): per side, the photographs used, the corners found
//       (and how many of the true corners lie in the frame), their RMS and largest distance
//       to the truth, the time of the search, and the camera's errors against the truth:
//       fy/fx, cx, cy, k1, k2, and the RMS of the fit.
// The Google Benchmark case Charuco/search: one render of the corner set searched.
#include "calib/CharucoBoard.h"
#include "calib/PhotoCalibration.h"
#include "calib/TargetDetection.h"
#include "support/BenchSupport.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <opencv2/aruco/charuco.hpp>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <random>
#include <vector>

namespace {

using namespace vrma;
using vrma::test::PhotoScene;

constexpr double kPitch = 20.0;

// A camera of 1600 x 1200 pixels (or `scale` times as many a side) with a barrel lens,
// looking at a board of 11 x 8 inner corners (12 x 9 squares), its markers 3/4 of a square
// from DICT_5X5_1000.
PhotoScene Camera(double k1, double k2, double blur, double noise, int jpeg, int scale = 1) {
    PhotoScene scene;
    scene.kind = TargetKind::Charuco;
    scene.columns = 11;
    scene.rows = 8;
    scene.pitch = kPitch;
    scene.margin = 0.5;
    scene.width = 1600 * scale;
    scene.height = 1200 * scale;
    scene.fx = 1250.0 * scale;
    scene.fy = 1250.0 * scale * 1.0025;
    scene.cx = 0.5 * (scene.width - 1) + 14.0 * scale;
    scene.cy = 0.5 * (scene.height - 1) - 10.0 * scale;
    scene.k1 = k1;
    scene.k2 = k2;
    scene.p1 = 0.0004;
    scene.p2 = -0.0003;
    scene.blur = blur;
    scene.noise = noise;
    scene.jpegQuality = jpeg;
    return scene;
}

struct Set {
    const char* name;
    PhotoScene camera;
};

// A board of columns x rows inner corners, its markers `share` of a square from the
// dictionary.
PhotoScene WithBoard(PhotoScene scene, int columns, int rows, double share, int dictionary) {
    scene.columns = columns;
    scene.rows = rows;
    scene.markerShare = share;
    scene.dictionary = dictionary;
    return scene;
}

std::vector<Set> Sets() {
    return {
        {"corners", Camera(-0.28, 0.09, 0.8, 2.0, 0)},
        {"corners_hard", Camera(-0.34, 0.12, 1.3, 3.0, 90)},
        {"blurred", Camera(-0.28, 0.09, 2.2, 5.0, 80)},
        {"small_markers",
         WithBoard(Camera(-0.28, 0.09, 0.8, 2.0, 0), 15, 10, 0.5, cv::aruco::DICT_4X4_250)},
        {"large",
         WithBoard(Camera(-0.22, 0.06, 1.5, 3.0, 92, 3), 17, 12, 0.8, cv::aruco::DICT_6X6_250)},
    };
}

// The views of a set: three into each corner of the frame, the board larger than the
// frame's quarter and running past its edges; one onto each side; six of the whole board.
std::vector<PhotoScene> Views(const PhotoScene& camera, unsigned seed) {
    std::mt19937 random(seed);
    const auto uniform = [&](double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(random);
    };
    const auto tilted = [&](PhotoScene scene, double least, double most) {
        const double tilt = uniform(least, most);
        const double direction = uniform(0.0, 2.0 * M_PI);
        scene.tiltX = tilt * std::cos(direction);
        scene.tiltY = tilt * std::sin(direction);
        scene.roll = uniform(0.0, 360.0);
        return scene;
    };
    std::vector<PhotoScene> views;
    for (const auto& [sx, sy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        for (int n = 0; n < 3; ++n) {
            PhotoScene scene = tilted(camera, 10.0, 35.0);
            scene.fill = uniform(0.8, 1.1);
            scene.shiftX = sx * uniform(0.3, 0.42);
            scene.shiftY = sy * uniform(0.3, 0.42);
            views.push_back(scene);
        }
    }
    for (const auto& [sx, sy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
        PhotoScene scene = tilted(camera, 15.0, 35.0);
        scene.fill = uniform(0.8, 1.0);
        scene.shiftX = sx * uniform(0.3, 0.4);
        scene.shiftY = sy * uniform(0.3, 0.4);
        views.push_back(scene);
    }
    for (int n = 0; n < 6; ++n) {
        PhotoScene scene = tilted(camera, 20.0, 40.0);
        scene.fill = uniform(0.5, 0.65);
        scene.shiftX = uniform(-0.08, 0.08);
        scene.shiftY = uniform(-0.08, 0.08);
        views.push_back(scene);
    }
    return views;
}

bool WriteLines(const QString& file, const std::vector<QString>& lines) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream stream(&out);
    for (const QString& line : lines)
        stream << line << '\n';
    return true;
}

int Write(const QString& dir) {
    QDir().mkpath(dir);
    std::vector<QString> sets;
    unsigned seed = 11;
    for (const Set& set : Sets()) {
        const QString folder = QDir(dir).filePath(QLatin1String(set.name));
        QDir().mkpath(folder);
        int k = 0;
        for (const PhotoScene& scene : Views(set.camera, seed++)) {
            const QString name = QStringLiteral("%1").arg(++k, 2, 10, QLatin1Char('0'));
            const test::RenderedPhoto photo = test::RenderPhoto(scene);
            test::WritePhoto(photo, QDir(folder).filePath(name + QStringLiteral(".png")));
            std::vector<QString> truth;
            for (const PlanePoint& p : photo.boardTruth)
                truth.push_back(QStringLiteral("%1 %2").arg(p.x, 0, 'g', 12).arg(p.y, 0, 'g', 12));
            if (!WriteLines(QDir(folder).filePath(name + QStringLiteral(".truth")), truth))
                return 1;
        }
        const vrma::Camera camera = test::TrueTargets(set.camera).camera;
        QString values;
        for (CameraParameter p : kPinholeParameters)
            values += QStringLiteral("%1 ").arg(camera[p], 0, 'g', 12);
        if (!WriteLines(QDir(folder).filePath(QStringLiteral("truth.txt")), {values.trimmed()}))
            return 1;
        sets.push_back(QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(QLatin1String(set.name))
                           .arg(set.camera.columns)
                           .arg(set.camera.rows)
                           .arg(set.camera.markerShare)
                           .arg(set.camera.dictionary));
    }
    return WriteLines(QDir(dir).filePath(QStringLiteral("sets.txt")), sets) ? 0 : 1;
}

// ---- measuring ----------------------------------------------------------------------------

// The numbers of a text file, in order.
std::vector<double> ReadNumbers(const QString& file) {
    std::vector<double> numbers;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return numbers;
    for (const QString& word :
         QString::fromUtf8(in.readAll())
             .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        numbers.push_back(word.toDouble());
    return numbers;
}

std::vector<PlanePoint> ReadTruth(const QString& file) {
    const std::vector<double> numbers = ReadNumbers(file);
    std::vector<PlanePoint> points;
    for (size_t k = 0; k + 1 < numbers.size(); k += 2)
        points.push_back({numbers[k], numbers[k + 1]});
    return points;
}

// What one side found in a set.
struct Side {
    int photos = 0;
    int used = 0;
    size_t corners = 0;
    double squares = 0.0;
    double worst = 0.0;
    double seconds = 0.0;
    std::optional<vrma::Camera> camera;
    double rms = 0.0;
    QString error;

    void Corner(const PlanePoint& found, const PlanePoint& truth) {
        const double d = std::hypot(found.x - truth.x, found.y - truth.y);
        squares += d * d;
        worst = std::max(worst, d);
        ++corners;
    }
};

Side Ours(const Board& board, const QStringList& files,
          const std::vector<std::vector<PlanePoint>>& truths) {
    Side side;
    std::vector<PhotoDetection> photos;
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files)
        photos.push_back(DetectBoardInPhoto(file, board));
    side.seconds = double(timer.nsecsElapsed()) / 1e9;
    for (size_t n = 0; n < photos.size(); ++n) {
        ++side.photos;
        Side one;
        for (size_t k = 0; k < photos[n].image.size(); ++k) {
            side.Corner(photos[n].image[k], truths[n][size_t(photos[n].indices[k])]);
            one.Corner(photos[n].image[k], truths[n][size_t(photos[n].indices[k])]);
            if (std::getenv("CHPHOTO") &&
                std::hypot(photos[n].image[k].x - truths[n][size_t(photos[n].indices[k])].x,
                           photos[n].image[k].y - truths[n][size_t(photos[n].indices[k])].y) > 0.1)
                std::printf(
                    "      photo %zu corner %d at %.1f %.1f off %.3f\n", n + 1,
                    photos[n].indices[k], photos[n].image[k].x, photos[n].image[k].y,
                    std::hypot(photos[n].image[k].x - truths[n][size_t(photos[n].indices[k])].x,
                               photos[n].image[k].y - truths[n][size_t(photos[n].indices[k])].y));
        }
        if (std::getenv("CHPHOTO"))
            std::printf("    photo %zu: %zu corners, RMS %.3f, largest %.3f\n", n + 1, one.corners,
                        one.corners ? std::sqrt(one.squares / one.corners) : 0.0, one.worst);
    }
    try {
        const CameraCalibration fit = CalibrateFromPhotos(photos);
        side.camera = fit.camera;
        side.used = fit.used;
        side.rms = fit.rmsPx;
    } catch (const std::exception& error) {
        side.error = QString::fromUtf8(error.what());
    }
    return side;
}

Side OpenCv(const Board& ours, const QStringList& files,
            const std::vector<std::vector<PlanePoint>>& truths) {
    Side side;
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(ours.dictionary);
    const cv::Ptr<cv::aruco::CharucoBoard> board = cv::aruco::CharucoBoard::create(
        ours.columns + 1, ours.rows + 1, float(ours.pitch), float(ours.marker), dictionary);
    std::vector<cv::Mat> corners;
    std::vector<cv::Mat> ids;
    cv::Size size;
    QElapsedTimer timer;
    for (size_t n = 0; n < size_t(files.size()); ++n) {
        const cv::Mat image = cv::imread(files[qsizetype(n)].toStdString(), cv::IMREAD_GRAYSCALE);
        size = image.size();
        ++side.photos;
        timer.start();
        std::vector<std::vector<cv::Point2f>> markers;
        std::vector<int> markerIds;
        cv::aruco::detectMarkers(image, dictionary, markers, markerIds);
        cv::Mat found;
        cv::Mat foundIds;
        if (!markerIds.empty())
            cv::aruco::interpolateCornersCharuco(markers, markerIds, image, board, found, foundIds);
        side.seconds += double(timer.nsecsElapsed()) / 1e9;
        if (found.rows < kFewestCorners)
            continue;
        for (int k = 0; k < found.rows; ++k) {
            const int id = foundIds.at<int>(k);
            const int i = id % ours.columns;
            const int j = id / ours.columns;
            const cv::Point2f p = found.at<cv::Point2f>(k);
            side.Corner({p.x, p.y}, truths[n][size_t(i * ours.rows + j)]);
        }
        corners.push_back(found);
        ids.push_back(foundIds);
    }
    try {
        cv::Mat matrix;
        cv::Mat lens;
        side.rms = cv::aruco::calibrateCameraCharuco(corners, ids, board, size, matrix, lens);
        vrma::Camera camera;
        camera.width = size.width;
        camera.height = size.height;
        camera[CameraParameter::Fx] = matrix.at<double>(0, 0);
        camera[CameraParameter::Fy] = matrix.at<double>(1, 1);
        camera[CameraParameter::Cx] = matrix.at<double>(0, 2);
        camera[CameraParameter::Cy] = matrix.at<double>(1, 2);
        for (int k = 0; k < 5; ++k)
            camera.values[size_t(int(CameraParameter::K1) + k)] = lens.at<double>(k);
        side.camera = camera;
        side.used = int(corners.size());
    } catch (const cv::Exception& error) {
        side.error = QString::fromStdString(error.what());
    }
    return side;
}

void Print(const char* name, const Side& side, const vrma::Camera& truth, size_t inFrame) {
    std::printf("  %-7s photos %d used %d, corners %zu of %zu in the frame, RMS %.3f px, largest "
                "%.3f px, search %.2f s\n",
                name, side.photos, side.used, side.corners, inFrame,
                side.corners > 0 ? std::sqrt(side.squares / double(side.corners)) : 0.0, side.worst,
                side.seconds);
    if (!side.camera) {
        std::printf("          no camera: %s\n", side.error.toUtf8().constData());
        return;
    }
    const vrma::Camera& c = *side.camera;
    std::printf("          fy/fx %+.2e, cx %+.3f px, cy %+.3f px, k1 %+.5f, k2 %+.5f, fit RMS "
                "%.3f px\n",
                c.fy() / c.fx() - truth.fy() / truth.fx(), c.cx() - truth.cx(), c.cy() - truth.cy(),
                c[CameraParameter::K1] - truth[CameraParameter::K1],
                c[CameraParameter::K2] - truth[CameraParameter::K2], side.rms);
}

int Measure(const QString& dir, const QStringList& only) {
    QFile list(QDir(dir).filePath(QStringLiteral("sets.txt")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    while (!list.atEnd()) {
        const QStringList words =
            QString::fromUtf8(list.readLine()).simplified().split(QLatin1Char(' '));
        const QString name = words.value(0);
        if (words.size() < 5 || (!only.isEmpty() && !only.contains(name)))
            continue;
        Board board;
        board.kind = TargetKind::Charuco;
        board.columns = words[1].toInt();
        board.rows = words[2].toInt();
        board.pitch = board.pitchY = kPitch;
        board.marker = words[3].toDouble() * kPitch;
        board.dictionary = words[4].toInt();
        const QDir folder(QDir(dir).filePath(name));
        QStringList files;
        std::vector<std::vector<PlanePoint>> truths;
        size_t inFrame = 0;
        for (const QString& file :
             folder.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name)) {
            files << folder.filePath(file);
            truths.push_back(
                ReadTruth(folder.filePath(file.chopped(4) + QStringLiteral(".truth"))));
        }
        const std::vector<double> numbers =
            ReadNumbers(folder.filePath(QStringLiteral("truth.txt")));
        vrma::Camera truth;
        for (size_t k = 0; k < kCameraParameterCount && k < numbers.size(); ++k)
            truth.values[k] = numbers[k];
        const cv::Mat first = cv::imread(files.value(0).toStdString(), cv::IMREAD_GRAYSCALE);
        for (const auto& photo : truths)
            for (const PlanePoint& p : photo)
                if (p.x >= 0.0 && p.y >= 0.0 && p.x <= first.cols - 1.0 && p.y <= first.rows - 1.0)
                    ++inFrame;
        std::printf("%s: %lld photographs %d x %d\n", name.toUtf8().constData(),
                    qlonglong(files.size()), first.cols, first.rows);
        Print("ours", Ours(board, files, truths), truth, inFrame);
        Print("OpenCV", OpenCv(board, files, truths), truth, inFrame);
        std::fflush(stdout);
    }
    return 0;
}

// ---- Google Benchmark case ----------------------------------------------------------------

void Search(benchmark::State& state) {
    const PhotoScene camera = Sets()[0].camera;
    static const test::RenderedPhoto photo = test::RenderPhoto(Views(camera, 11)[0]);
    DetectionTuning tuning;
    for (auto _ : state)
        benchmark::DoNotOptimize(FindBoardTargets(photo.image, TargetKind::Charuco, camera.columns,
                                                  camera.rows, tuning));
}

BENCHMARK(Search)->Name("Charuco/search")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "write") == 0)
        return Write(QString::fromLocal8Bit(argv[2]));
    if (argc > 2 && std::strcmp(argv[1], "measure") == 0) {
        QStringList only;
        for (int k = 3; k < argc; ++k)
            only << QString::fromLocal8Bit(argv[k]);
        return Measure(QString::fromLocal8Bit(argv[2]), only);
    }
    return vrma::bench::RunBenchmarks(argc, argv, "Charuco/search");
}
