// How many photographs of a set the search finds the board in, and how long a photograph
// takes, beside OpenCV's finders (bench/detect_peer.py sets), on rendered sets of every
// kind of trouble a user's photographs bring and on folders of real photographs:
//   vrma_bench_detection_sets write DIR [SET...]
//       renders the sets (all, or those named) into DIR/SET/: NNN.png or NNN.jpg and
//       NNN.truth (the true image position of every target, "x y" a line), and appends
//       "SET NAME KIND COLUMNS ROWS FILE" a photograph to DIR/cases.txt;
//   vrma_bench_detection_sets real DIR FOLDER SET KIND COLUMNS ROWS
//       appends the photographs of a folder of real ones (*.jpg, *.png) to DIR/cases.txt;
//   vrma_bench_detection_sets measure DIR [THREADS [SOURCES [SET...]]]
//       searches every photograph as the windows and vrma-calib do (the file read, the
//       board found and measured) on THREADS of OpenCV's threads (0: as many as there are
//       processors), by all the grid sources or one (SOURCES: all, walk, quads, saddles,
//       blobs), and prints "SET NAME RESULT MS RMS SOURCE" a line: RESULT "found" or
//       "not_found:" and the fault's code, MS the time from the file to the targets, RMS the
//       distance of each target found to the nearest true one, pixels ("-" without a
//       truth), SOURCE the grid source that found it.
#include "calib/TargetDetection.h"
#include "support/BenchSupport.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace vrma;
using vrma::test::PhotoScene;

// The k-th number of the van der Corput sequence in the given base, in [0, 1).
double Halton(int k, int base) {
    double result = 0.0;
    double f = 1.0;
    for (int i = k + 1; i > 0; i /= base) {
        f /= base;
        result += f * (i % base);
    }
    return result;
}

// From a to b by the k-th number of the base.
double Spread(int k, int base, double a, double b) {
    return a + (b - a) * Halton(k, base);
}

using Keep = std::function<bool(const PhotoScene&, const test::SceneTargets&)>;

struct Set {
    Set(std::string name_, int count_, std::function<PhotoScene(int k)> scene_,
        const char* extension_ = "png", Keep keep_ = {})
        : name(std::move(name_)), count(count_), scene(std::move(scene_)), extension(extension_),
          keep(std::move(keep_)) {}
    std::string name;
    int count = 0;
    std::function<PhotoScene(int k)> scene;
    const char* extension = "png";
    // A pose is kept only when this holds for its true targets (none: every pose).
    Keep keep;
};

// A board turned and tilted by the k-th pose of a set: up to `tilt` degrees about both
// axes, turned by up to `roll` about the line of sight (and by a quarter every fourth
// photograph), shifted by up to `shift` of the frame.
PhotoScene Posed(PhotoScene scene, int k, double tilt, double roll, double shift) {
    scene.tiltX = Spread(k, 2, -tilt, tilt);
    scene.tiltY = Spread(k, 3, -tilt, tilt);
    scene.roll = Spread(k, 5, -roll, roll) + (k % 4 == 3 ? 90.0 : 0.0);
    scene.shiftX = Spread(k, 7, -shift, shift);
    scene.shiftY = Spread(k, 11, -shift, shift);
    scene.seed = unsigned(k + 1);
    return scene;
}

// A 9 x 6 chessboard of squares about 46 pixels across in an 800 x 600 photograph.
PhotoScene Squares46(TargetKind kind) {
    PhotoScene scene;
    scene.kind = kind;
    scene.width = 800;
    scene.height = 600;
    scene.fx = 1000.0;
    scene.fy = 1003.5;
    scene.fill = 0.69;
    return scene;
}

// Every target at least `inside` pixels within the frame.
bool TargetsInside(const PhotoScene& scene, const test::SceneTargets& targets, double inside) {
    return std::all_of(targets.boardTruth.begin(), targets.boardTruth.end(), [&](const auto& p) {
        return p.x >= inside && p.y >= inside && p.x <= scene.width - 1 - inside &&
               p.y <= scene.height - 1 - inside;
    });
}

// The outer squares of a chessboard run past the frame's edge.
bool SquaresCut(const PhotoScene& scene) {
    const double w = scene.pitch;
    const double h = scene.pitchY > 0.0 ? scene.pitchY : scene.pitch;
    std::vector<PlanePoint> outline;
    for (int n = 0; n <= 20; ++n) {
        const double x = -w + (scene.columns + 1) * w * n / 20.0;
        const double y = -h + (scene.rows + 1) * h * n / 20.0;
        outline.push_back({x, -h});
        outline.push_back({x, scene.rows * h});
        outline.push_back({-w, y});
        outline.push_back({scene.columns * w, y});
    }
    const std::vector<PlanePoint> image = test::ProjectBoardPoints(scene, outline);
    return std::any_of(image.begin(), image.end(), [&](const PlanePoint& p) {
        return p.x < 0.0 || p.y < 0.0 || p.x > scene.width - 1 || p.y > scene.height - 1;
    });
}

void Degradations(std::vector<Set>& sets, TargetKind kind) {
    const bool chess = kind == TargetKind::Chessboard;
    const std::string prefix = chess ? "" : "dots_";
    for (const int blur : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12}) {
        if (!chess && blur % 2 == 1)
            continue;
        sets.push_back({prefix + "blur" + std::to_string(blur), 5, [kind, blur](int k) {
                            PhotoScene scene = Posed(Squares46(kind), k, 25.0, 15.0, 0.08);
                            scene.blur = blur;
                            scene.noise = 2.0;
                            return scene;
                        }});
    }
    for (const int noise : {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 55, 65}) {
        if (!chess && noise % 15 != 0 && noise < 55)
            continue;
        sets.push_back({prefix + "noise" + std::to_string(noise), 5, [kind, noise](int k) {
                            PhotoScene scene = Posed(Squares46(kind), k, 25.0, 15.0, 0.08);
                            scene.blur = 1.0;
                            scene.noise = noise;
                            return scene;
                        }});
    }
}

// Lenses that bend the rows and columns: a wide angle, barrel, strong distortion, a fisheye.
void Lenses(std::vector<Set>& sets) {
    // A wide-angle lens, 640 x 640, boards filling much of the frame.
    sets.push_back({"wide640", 15,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 35.0, 15.0, 0.12);
                        scene.width = scene.height = 640;
                        scene.fx = 330.0;
                        scene.fy = 331.0;
                        scene.k1 = -0.31;
                        scene.k2 = 0.09;
                        scene.k3 = -0.008;
                        scene.fill = Spread(k, 13, 0.55, 0.9);
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
    // Barrel k1 -0.35 on a 1280 x 720 dash camera, boards large in the frame.
    sets.push_back({"barrel035", 12,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 10.0, 0.1);
                        scene.width = 1280;
                        scene.height = 720;
                        scene.fx = scene.fy = 640.0;
                        scene.k1 = -0.35;
                        scene.k2 = 0.12;
                        scene.fill = Spread(k, 13, 0.6, 1.0);
                        scene.blur = 1.2;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg",
                    [](const PhotoScene& s, const test::SceneTargets& t) {
                        return TargetsInside(s, t, 8.0);
                    }});
    // A board of 13 x 12 corners through a strongly distorting lens, 640 x 480.
    sets.push_back({"distorted13x12", 12,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 10.0, 0.08);
                        scene.columns = 13;
                        scene.rows = 12;
                        scene.margin = 0.5;
                        scene.width = 640;
                        scene.height = 480;
                        scene.fx = scene.fy = 360.0;
                        scene.k1 = -0.38;
                        scene.k2 = 0.14;
                        scene.fill = Spread(k, 13, 0.75, 1.1);
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg",
                    [](const PhotoScene& s, const test::SceneTargets& t) {
                        return TargetsInside(s, t, 6.0);
                    }});
    // A circular fisheye of 180 degrees, 640 x 720, a board of 4 x 6 anywhere in it.
    sets.push_back({"fisheye180", 16,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 35.0, 20.0, 0.3);
                        scene.columns = 4;
                        scene.rows = 6;
                        scene.width = 640;
                        scene.height = 720;
                        scene.fisheye = true;
                        scene.fx = scene.fy = 200.0;
                        scene.fill = Spread(k, 13, 0.3, 0.75);
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg",
                    [](const PhotoScene& s, const test::SceneTargets& t) {
                        return TargetsInside(s, t, 6.0);
                    }});
}

// Large photographs: a phone's with bent paper, 24 megapixels.
void Large(std::vector<Set>& sets) {
    // A phone's 16 megapixels, upright, a hand-made 8 x 6 board on paper bent as a
    // cylinder, taking a third to a half of the frame; blurred as a phone's JPEG is.
    sets.push_back({"phone16MP", 8,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.12);
                        scene.columns = 8;
                        scene.rows = 6;
                        scene.pitch = 25.0;
                        scene.margin = 0.6;
                        scene.width = 3456;
                        scene.height = 4608;
                        scene.fx = scene.fy = 3700.0;
                        scene.k1 = 0.03;
                        scene.fill = Spread(k, 13, 0.33, 0.5);
                        scene.bend = Spread(k, 17, 15.0, 45.0) * (k % 2 == 0 ? 1.0 : -1.0);
                        scene.blur = 2.5;
                        scene.noise = 3.0;
                        scene.lighting = 0.25;
                        scene.jpegQuality = 88;
                        scene.colour = true;
                        return scene;
                    },
                    "jpg"});
    // 24 megapixels, a 9 x 6 board.
    sets.push_back({"camera24MP", 4,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.1);
                        scene.width = 6000;
                        scene.height = 4000;
                        scene.fx = scene.fy = 7000.0;
                        scene.fill = Spread(k, 13, 0.3, 0.8);
                        scene.blur = 2.5;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
}

// Boards as users hold them: past the frame's edge, bent, unevenly lit, small, steep.
void Held(std::vector<Set>& sets) {
    // The outer squares and the margin past the frame's edge, every target within it.
    sets.push_back({"past_edge", 12,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 25.0, 10.0, 0.15);
                        scene.columns = 7;
                        scene.rows = 5;
                        scene.width = 640;
                        scene.height = 480;
                        scene.fx = scene.fy = 560.0;
                        scene.k1 = -0.2;
                        scene.fill = Spread(k, 13, 0.95, 1.25);
                        scene.blur = 1.0;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg",
                    [](const PhotoScene& s, const test::SceneTargets& t) {
                        return TargetsInside(s, t, 5.0) && SquaresCut(s);
                    }});
    // Paper bent as a cylinder, 1600 x 1200.
    sets.push_back({"bent", 10,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.08);
                        scene.bend = Spread(k, 13, 30.0, 70.0) * (k % 2 == 0 ? 1.0 : -1.0);
                        scene.blur = 1.2;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
    // Light falling off across the board and towards the corners.
    sets.push_back({"uneven_light", 10,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.08);
                        scene.lighting = Spread(k, 13, 0.5, 0.75);
                        scene.vignette = Spread(k, 17, 0.4, 0.7);
                        scene.blur = 1.2;
                        scene.noise = 3.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
    // Small boards: squares of 12 to 20 pixels.
    sets.push_back({"small", 10,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.3);
                        scene.fill = Spread(k, 13, 0.1, 0.16);
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
    // Steep boards: tilted 50 to 65 degrees.
    sets.push_back({"steep", 10,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 10.0, 15.0, 0.05);
                        const double steep = Spread(k, 13, 50.0, 65.0);
                        (k % 2 == 0 ? scene.tiltX : scene.tiltY) = k % 3 == 0 ? -steep : steep;
                        scene.fill = 0.6;
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
}

// Dots through a wide-angle lens and at 24 megapixels.
void LargeAndWideDots(std::vector<Set>& sets) {
    sets.push_back({"dots_wide640", 10,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 35.0, 15.0, 0.12);
                        scene.kind = TargetKind::Dots;
                        scene.width = scene.height = 640;
                        scene.fx = 330.0;
                        scene.fy = 331.0;
                        scene.k1 = -0.31;
                        scene.k2 = 0.09;
                        scene.k3 = -0.008;
                        scene.fill = Spread(k, 13, 0.55, 0.9);
                        scene.blur = 0.8;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
    sets.push_back({"dots_24MP", 4,
                    [](int k) {
                        PhotoScene scene = Posed(PhotoScene{}, k, 30.0, 15.0, 0.1);
                        scene.kind = TargetKind::Dots;
                        scene.width = 6000;
                        scene.height = 4000;
                        scene.fx = scene.fy = 7000.0;
                        scene.fill = Spread(k, 13, 0.3, 0.8);
                        scene.blur = 2.5;
                        scene.noise = 2.0;
                        scene.jpegQuality = 90;
                        return scene;
                    },
                    "jpg"});
}

std::vector<Set> Sets() {
    std::vector<Set> sets;
    Degradations(sets, TargetKind::Chessboard);
    Degradations(sets, TargetKind::Dots);
    Lenses(sets);
    Large(sets);
    Held(sets);
    LargeAndWideDots(sets);
    return sets;
}

const char* KindWord(TargetKind kind) {
    return kind == TargetKind::Chessboard ? "chessboard" : "dots";
}

const char* SourceWord(GridSources source) {
    switch (source) {
    case GridSources::Walk:
        return "walk";
    case GridSources::Quads:
        return "quads";
    case GridSources::Saddles:
        return "saddles";
    case GridSources::Blobs:
        return "blobs";
    case GridSources::Markers:
        return "markers";
    case GridSources::All:
        break;
    }
    return "-";
}

bool Wanted(const std::string& name, const std::vector<std::string>& only) {
    return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
}

int Write(const QString& dir, const std::vector<std::string>& only) {
    QDir().mkpath(dir);
    QFile list(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!list.open(QIODevice::Append | QIODevice::Text))
        return 1;
    QTextStream cases(&list);
    for (const Set& set : Sets()) {
        if (!Wanted(set.name, only))
            continue;
        const QString folder = QDir(dir).filePath(QString::fromStdString(set.name));
        QDir().mkpath(folder);
        int written = 0;
        for (int k = 0; written < set.count && k < 50 * set.count; ++k) {
            const PhotoScene scene = set.scene(k);
            if (set.keep && !set.keep(scene, test::TrueTargets(scene)))
                continue;
            const test::RenderedPhoto photo = test::RenderPhoto(scene);
            const QString name = QStringLiteral("%1").arg(written, 3, 10, QLatin1Char('0'));
            const QString file =
                QDir(folder).filePath(name + QLatin1Char('.') + QLatin1String(set.extension));
            test::WritePhoto(photo, file);
            QFile truth(QDir(folder).filePath(name + QStringLiteral(".truth")));
            if (!truth.open(QIODevice::WriteOnly | QIODevice::Text))
                return 1;
            QTextStream out(&truth);
            out.setRealNumberPrecision(10);
            for (const cv::Point2d& p : photo.truth)
                out << p.x << ' ' << p.y << '\n';
            cases << QString::fromStdString(set.name) << ' ' << name << ' ' << KindWord(scene.kind)
                  << ' ' << scene.columns << ' ' << scene.rows << ' ' << file << '\n';
            cases.flush();
            ++written;
            std::printf("%s %s\n", set.name.c_str(), qPrintable(name));
            std::fflush(stdout);
        }
    }
    return 0;
}

int Real(const QString& dir, const QString& folder, const QString& set, const QString& kind,
         const QString& columns, const QString& rows) {
    QDir().mkpath(dir);
    QFile list(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!list.open(QIODevice::Append | QIODevice::Text))
        return 1;
    QTextStream cases(&list);
    const QDir photos(folder);
    for (const QString& name : photos.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.png")},
                                                QDir::Files, QDir::Name))
        cases << set << ' ' << name.section(QLatin1Char('.'), 0, 0) << ' ' << kind << ' ' << columns
              << ' ' << rows << ' ' << photos.absoluteFilePath(name) << '\n';
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

// The RMS distance of each point to the nearest true one; -1 without a truth.
double NearestRms(const std::vector<PlanePoint>& points, const std::vector<cv::Point2d>& truth) {
    if (truth.empty() || points.empty())
        return -1.0;
    double sum = 0.0;
    for (const PlanePoint& p : points) {
        double nearest = 1e300;
        for (const cv::Point2d& t : truth)
            nearest = std::min(nearest, std::hypot(p.x - t.x, p.y - t.y));
        sum += nearest * nearest;
    }
    return std::sqrt(sum / double(points.size()));
}

int Measure(const QString& dir, int threads, const char* sources,
            const std::vector<std::string>& only) {
    if (threads > 0)
        cv::setNumThreads(threads);
    DetectionTuning tuning;
    for (const GridSources source :
         {GridSources::Walk, GridSources::Quads, GridSources::Saddles, GridSources::Blobs})
        if (std::strcmp(sources, SourceWord(source)) == 0)
            tuning.sources = source;
    QFile list(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    QTextStream cases(&list);
    while (!cases.atEnd()) {
        const QStringList fields = cases.readLine().split(QLatin1Char(' '));
        if (fields.size() != 6 || !Wanted(fields[0].toStdString(), only))
            continue;
        Board board;
        ParseTargetKind(fields[2], board.kind);
        board.columns = fields[3].toInt();
        board.rows = fields[4].toInt();
        const QString truthFile =
            fields[5].section(QLatin1Char('.'), 0, -2) + QStringLiteral(".truth");
        const std::vector<cv::Point2d> truth = ReadTruth(truthFile);
        QElapsedTimer timer;
        timer.start();
        QString result;
        double rms = -1.0;
        const char* source = "-";
        try {
            const BoardTargets found =
                FindBoardTargetsInFile(fields[5], board.kind, board.columns, board.rows, tuning);
            result = QStringLiteral("found");
            source = SourceWord(found.foundBy);
            rms = NearestRms(found.points, truth);
        } catch (const GridNotFound& error) {
            result = QStringLiteral("not_found:%1").arg(int(error.fault().kind));
        } catch (const std::exception& error) {
            result = QStringLiteral("error");
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (rms < 0.0)
            std::printf("%s %s %s %.1f - %s\n", qPrintable(fields[0]), qPrintable(fields[1]),
                        qPrintable(result), ms, source);
        else
            std::printf("%s %s %s %.1f %.4f %s\n", qPrintable(fields[0]), qPrintable(fields[1]),
                        qPrintable(result), ms, rms, source);
        std::fflush(stdout);
    }
    return 0;
}

// A smoke case for ctest: the smallest set rendered and searched in memory.
void SmallSet(benchmark::State& state) {
    const Set set = Sets().front();
    const test::RenderedPhoto photo = test::RenderPhoto(set.scene(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            FindBoardTargets(photo.image, TargetKind::Chessboard, 9, 6, DetectionTuning{}));
}
BENCHMARK(SmallSet)->Name("DetectionSets/blur0")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> only;
    if (argc > 2 && std::strcmp(argv[1], "write") == 0) {
        for (int k = 3; k < argc; ++k)
            only.emplace_back(argv[k]);
        return Write(QString::fromLocal8Bit(argv[2]), only);
    }
    if (argc > 7 && std::strcmp(argv[1], "real") == 0)
        return Real(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                    QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]),
                    QString::fromLocal8Bit(argv[6]), QString::fromLocal8Bit(argv[7]));
    if (argc > 2 && std::strcmp(argv[1], "measure") == 0) {
        for (int k = 5; k < argc; ++k)
            only.emplace_back(argv[k]);
        return Measure(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 0,
                       argc > 4 ? argv[4] : "all", only);
    }
    return vrma::bench::RunBenchmarks(argc, argv, "DetectionSets/.*");
}
