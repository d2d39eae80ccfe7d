// The lens models beside OpenCV's on the same targets: ours (calib/CameraCalibration on
// Ceres) and OpenCV's calibrateCamera, each with the five-term model and the rational one,
// and ours with the fisheye model beside cv::fisheye::calibrate.
//   vrma_bench_lens_models [DIR NC NR]...
//       renders sets through known lenses (a wide barrel lens of the rational model, an
//       equidistant fisheye), finds the chessboard in them with calib/PhotoCalibration, and
//       fits every model on both sides to the same targets: the RMS, the focal length's and
//       principal point's errors, and "ray px": the RMS over a grid of rays landing in the
//       frame of how far each side's camera puts them from where the true lens does. Then
//       the same fits on the real photographs of each DIR (a chessboard of NC x NR inner
//       corners): the RMS alone, no truth known.
//   vrma_bench_lens_models --smoke
//       one small set of points, every fit once (ctest keeps the program working).
#include "calib/CameraCalibration.h"
#include "calib/PhotoCalibration.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <opencv2/calib3d.hpp>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vrma;
using test::PhotoScene;

struct Targets {
    std::vector<std::vector<cv::Point3d>> object;
    std::vector<std::vector<cv::Point2d>> image;
    std::vector<BoardPhoto> photos;
    cv::Size size;
};

Targets FromDetections(const std::vector<PhotoDetection>& found) {
    Targets t;
    for (const PhotoDetection& d : found) {
        if (!d.found)
            continue;
        BoardPhoto photo;
        photo.board = d.board;
        photo.image = d.image;
        photo.width = d.width;
        photo.height = d.height;
        t.size = {d.width, d.height};
        t.photos.push_back(photo);
        t.object.emplace_back();
        t.image.emplace_back();
        for (size_t k = 0; k < d.board.size(); ++k) {
            t.object.back().emplace_back(d.board[k].x, d.board[k].y, 0.0);
            t.image.back().emplace_back(d.image[k].x, d.image[k].y);
        }
    }
    return t;
}

// A camera as a map from rays (x / z, y / z) to pixels; nothing for a fit that failed.
using RayMap = std::function<cv::Point2d(const cv::Point3d&)>;

struct Outcome {
    std::string side;
    double rms = 0.0;
    double fx = 0.0, cx = 0.0, cy = 0.0;
    RayMap map;
    std::string failure;
};

Outcome Ours(const Targets& t, CameraSelection selection, const char* name) {
    Outcome o;
    o.side = name;
    try {
        CameraCalibrationOptions options;
        options.selection = selection;
        const CameraCalibration fit = CalibrateCamera(t.photos, options);
        o.rms = fit.rmsPx;
        o.fx = fit.camera.fx();
        o.cx = fit.camera.cx();
        o.cy = fit.camera.cy();
        if (fit.unfounded.Count() > 0)
            o.failure = "held " + std::to_string(fit.unfounded.Count());
        const Camera camera = fit.camera;
        o.map = [camera](const cv::Point3d& ray) {
            const PlanePoint p{ray.x / ray.z, ray.y / ray.z};
            const PlanePoint q =
                ProjectFieldPoints(camera, {cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 1)},
                                   std::span<const PlanePoint>(&p, 1))[0];
            return cv::Point2d(q.x, q.y);
        };
    } catch (const std::exception& error) {
        o.failure = error.what();
    }
    return o;
}

Outcome OpenCv(const Targets& t, int flags, const char* name) {
    Outcome o;
    o.side = name;
    try {
        std::vector<std::vector<cv::Point3f>> object;
        std::vector<std::vector<cv::Point2f>> image;
        for (size_t k = 0; k < t.object.size(); ++k) {
            object.emplace_back(t.object[k].begin(), t.object[k].end());
            image.emplace_back(t.image[k].begin(), t.image[k].end());
        }
        cv::Mat matrix, lens;
        std::vector<cv::Mat> r, tr;
        o.rms = cv::calibrateCamera(object, image, t.size, matrix, lens, r, tr, flags);
        const cv::Matx33d k(matrix);
        o.fx = k(0, 0);
        o.cx = k(0, 2);
        o.cy = k(1, 2);
        const std::vector<double> d(lens.begin<double>(), lens.end<double>());
        o.map = [k, d](const cv::Point3d& ray) {
            std::vector<cv::Point2d> out;
            cv::projectPoints(std::vector<cv::Point3d>{ray}, cv::Vec3d(), cv::Vec3d(), k, d, out);
            return out[0];
        };
    } catch (const std::exception& error) {
        o.failure = error.what();
    }
    return o;
}

// The RMS of how far the map puts rays from where the truth does, over rays within the
// angle the boards reached (`reach`, x / z and y / z) that the truth lands in the frame.
double RayError(const RayMap& map, const RayMap& truth, cv::Size size, double reach) {
    double squares = 0.0;
    int n = 0;
    for (double x = -reach; x <= reach; x += reach / 20.0)
        for (double y = -reach; y <= reach; y += reach / 20.0) {
            if (std::hypot(x, y) > reach)
                continue;
            const cv::Point3d ray(x, y, 1.0);
            const cv::Point2d known = truth(ray);
            if (!(known.x >= 0.0 && known.y >= 0.0 && known.x <= size.width - 1.0 &&
                  known.y <= size.height - 1.0))
                continue;
            const cv::Point2d found = map(ray);
            squares += (found.x - known.x) * (found.x - known.x) +
                       (found.y - known.y) * (found.y - known.y);
            ++n;
        }
    return n > 0 ? std::sqrt(squares / n) : 0.0;
}

// How far off the axis the boards reached: the largest x / z, y / z radius of their
// targets under the true camera and poses.
double Reach(const std::vector<PhotoScene>& scenes) {
    double reach = 0.0;
    for (const PhotoScene& scene : scenes) {
        const test::SceneTargets t = test::TrueTargets(scene);
        cv::Matx33d r;
        cv::Rodrigues(t.pose.rotation, r);
        for (const PlanePoint& p : t.board) {
            const cv::Vec3d c = r * cv::Vec3d(p.x, p.y, 0.0) + t.pose.translation;
            reach = std::max(reach, std::hypot(c[0], c[1]) / c[2]);
        }
    }
    return reach;
}

void Print(const std::string& set, const Outcome& o, const Camera* truth, const RayMap& truthMap,
           cv::Size size, double reach) {
    if (!o.map) {
        std::printf("| %s | %s | – | – | – | – | – | %s |\n", set.c_str(), o.side.c_str(),
                    o.failure.c_str());
        return;
    }
    if (!truth) {
        std::printf("| %s | %s | %.4f | – | – | – | – | %s |\n", set.c_str(), o.side.c_str(), o.rms,
                    o.failure.c_str());
        return;
    }
    std::printf("| %s | %s | %.4f | %+.3f | %+.2f | %+.2f | %.3f | %s |\n", set.c_str(),
                o.side.c_str(), o.rms, o.fx - truth->fx(), o.cx - truth->cx(), o.cy - truth->cy(),
                RayError(o.map, truthMap, size, reach), o.failure.c_str());
}

Outcome OpenCvFisheye(const Targets& t) {
    Outcome o;
    o.side = "OpenCV fisheye";
    try {
        std::vector<std::vector<cv::Point3d>> object;
        for (const std::vector<cv::Point3d>& board : t.object)
            object.push_back(board);
        cv::Matx33d k;
        cv::Vec4d d;
        std::vector<cv::Vec3d> r, tr;
        o.rms = cv::fisheye::calibrate(
            object, t.image, t.size, k, d, r, tr,
            cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | cv::fisheye::CALIB_FIX_SKEW,
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-12));
        o.fx = k(0, 0);
        o.cx = k(0, 2);
        o.cy = k(1, 2);
        o.map = [k, d](const cv::Point3d& ray) {
            std::vector<cv::Point2d> out;
            cv::fisheye::projectPoints(std::vector<cv::Point3d>{ray}, out, cv::Vec3d(), cv::Vec3d(),
                                       k, d);
            return out[0];
        };
    } catch (const std::exception& error) {
        o.failure = error.what();
    }
    return o;
}

std::vector<Outcome> FisheyeSides(const Targets& t) {
    return {Ours(t, CameraSelection::Fisheye(), "ours fisheye"), OpenCvFisheye(t)};
}

std::vector<Outcome> PinholeSides(const Targets& t) {
    return {Ours(t, CameraSelection::OpenCvDefault(), "ours opencv"), OpenCv(t, 0, "OpenCV opencv"),
            Ours(t, CameraSelection::Rational(), "ours rational"),
            OpenCv(t, cv::CALIB_RATIONAL_MODEL, "OpenCV rational")};
}

std::vector<PhotoDetection> Detect(const QStringList& files, int columns, int rows) {
    const Board board{TargetKind::Chessboard, columns, rows, 1.0, 1.0};
    std::vector<PhotoDetection> found;
    for (const QString& file : files)
        found.push_back(DetectBoardInPhoto(file, board));
    return found;
}

PhotoScene WideBarrel() {
    PhotoScene lens;
    lens.width = 1280;
    lens.height = 720;
    lens.fx = 560.0;
    lens.fy = 561.0;
    lens.cx = 0.5 * (lens.width - 1) + 11.0;
    lens.cy = 0.5 * (lens.height - 1) - 7.0;
    lens.k1 = 0.05;
    lens.k2 = -0.01;
    lens.k4 = 0.45;
    lens.k5 = 0.08;
    lens.blur = 1.0;
    lens.noise = 2.0;
    lens.jpegQuality = 92;
    return lens;
}

PhotoScene Fisheye() {
    PhotoScene lens;
    lens.width = 1280;
    lens.height = 960;
    lens.fisheye = true;
    lens.fisheyeField = 200.0;
    lens.fx = 370.0;
    lens.fy = 371.0;
    lens.cx = 0.5 * (lens.width - 1) + 9.0;
    lens.cy = 0.5 * (lens.height - 1) - 6.0;
    lens.k1 = 0.03;
    lens.k2 = -0.008;
    lens.k3 = 0.002;
    lens.blur = 1.0;
    lens.noise = 2.0;
    lens.jpegQuality = 92;
    return lens;
}

void RenderedSet(const char* name, const PhotoScene& lens, int count) {
    const bool fisheye = lens.fisheye;
    QTemporaryDir dir;
    const std::vector<PhotoScene> scenes = test::CornerScenes(lens, count, 17);
    const QStringList files = test::WriteScenes(dir.path(), scenes);
    const double reach = Reach(scenes);
    const Targets t = FromDetections(Detect(files, lens.columns, lens.rows));
    const Camera truth = test::TrueTargets(lens).camera;
    const RayMap truthMap = [truth](const cv::Point3d& ray) {
        const PlanePoint p = ProjectPoint(truth, cv::Vec3d(ray));
        return cv::Point2d(p.x, p.y);
    };
    std::printf("\n%s: %zu of %d photographs found\n\n", name, t.photos.size(), count);
    std::printf("| set | side | rms px | fx err | cx err | cy err | ray px | note |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---|\n");
    std::vector<Outcome> sides = FisheyeSides(t);
    if (!fisheye)
        sides = PinholeSides(t);
    for (const Outcome& o : sides)
        Print(name, o, &truth, truthMap, t.size, reach);
}

void RealSet(const char* dir, int columns, int rows) {
    // DIR, or DIR/PATTERN ("left*.jpg").
    const QFileInfo given(QString::fromLocal8Bit(dir));
    const bool pattern = given.fileName().contains(QLatin1Char('*'));
    const QDir folder(pattern ? given.path() : given.filePath());
    const QStringList filters = pattern
                                    ? QStringList{given.fileName()}
                                    : QStringList{QStringLiteral("*.jpg"), QStringLiteral("*.png")};
    QStringList files;
    for (const QString& name : folder.entryList(filters, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    std::vector<PhotoDetection> found = Detect(files, columns, rows);
    // The size most photographs have.
    const Targets all = FromDetections(found);
    int same = 0;
    for (const BoardPhoto& p : all.photos)
        same += (p.width == all.photos[0].width && p.height == all.photos[0].height) ? 1 : 0;
    for (PhotoDetection& d : found)
        if (d.found && (d.width != all.photos[0].width || d.height != all.photos[0].height) &&
            2 * same > int(all.photos.size()))
            d.found = false;
    const Targets t = FromDetections(found);
    std::printf("\n%s: %zu of %lld photographs found\n\n", dir, t.photos.size(),
                static_cast<long long>(files.size()));
    std::printf("| set | side | rms px | fx err | cx err | cy err | ray px | note |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---|\n");
    std::vector<Outcome> sides = PinholeSides(t);
    for (Outcome& o : FisheyeSides(t))
        sides.push_back(std::move(o));
    for (const Outcome& o : sides)
        Print(QFileInfo(QString::fromLocal8Bit(dir)).fileName().toStdString(), o, nullptr, {},
              t.size, 0.0);
}

Targets FromPhotos(const std::vector<BoardPhoto>& photos) {
    Targets t;
    for (const BoardPhoto& photo : photos) {
        t.photos.push_back(photo);
        t.object.emplace_back();
        t.image.emplace_back();
        for (size_t k = 0; k < photo.board.size(); ++k) {
            t.object.back().emplace_back(photo.board[k].x, photo.board[k].y, 0.0);
            t.image.back().emplace_back(photo.image[k].x, photo.image[k].y);
        }
        t.size = {photo.width, photo.height};
    }
    return t;
}

int Smoke() {
    for (const Outcome& o : PinholeSides(
             FromPhotos(test::NoisyPhotos(test::CornerScenes(WideBarrel(), 6, 3), 0.05, 4))))
        if (!o.map)
            return 1;
    const Targets f = FromPhotos(test::NoisyPhotos(test::CornerScenes(Fisheye(), 6, 3), 0.05, 4));
    return Ours(f, CameraSelection::Fisheye(), "ours fisheye").map ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--smoke") == 0)
        return Smoke();
    RenderedSet("wide barrel (rational)", WideBarrel(), 16);
    RenderedSet("fisheye (equidistant, 200 degrees)", Fisheye(), 16);
    for (int k = 1; k + 2 < argc; k += 3)
        RealSet(argv[k], std::atoi(argv[k + 1]), std::atoi(argv[k + 2]));
    return 0;
}
