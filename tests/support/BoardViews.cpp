#include "support/BoardViews.h"

#include <QDir>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace vrma::test {

namespace {

// Every target at least 10 pixels inside the image, or `steps` of the grid's largest step
// in the image.
bool InsideWithRoom(const SceneTargets& targets, int rows, int width, int height, double steps) {
    double room = 10.0;
    if (steps > 0.0) {
        const std::vector<PlanePoint>& p = targets.boardTruth;
        double largest = 0.0;
        for (size_t k = 0; k < p.size(); ++k) {
            if ((k + 1) % size_t(rows) != 0)
                largest = std::max(largest, std::hypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y));
            if (k + size_t(rows) < p.size())
                largest = std::max(largest, std::hypot(p[k + size_t(rows)].x - p[k].x,
                                                       p[k + size_t(rows)].y - p[k].y));
        }
        room = std::max(room, steps * largest);
    }
    for (const PlanePoint& p : targets.boardTruth)
        if (!(p.x >= room && p.x <= width - 1 - room && p.y >= room && p.y <= height - 1 - room))
            return false;
    return true;
}

} // namespace

std::vector<PhotoScene> VariedScenes(const PhotoScene& base, int count, unsigned seed,
                                     const Variation& variation) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<PhotoScene> scenes;
    scenes.reserve(size_t(count));
    while (int(scenes.size()) < count) {
        PhotoScene scene = base;
        for (int attempt = 0;; ++attempt) {
            if (attempt == 1000)
                throw std::runtime_error("VariedScenes: no pose keeps the board in the frame");
            const double tilt =
                variation.minTilt + (variation.maxTilt - variation.minTilt) * unit(random);
            const double direction = 2.0 * std::numbers::pi * unit(random);
            scene.tiltX = tilt * std::cos(direction);
            scene.tiltY = tilt * std::sin(direction);
            scene.roll = variation.maxRoll * (2.0 * unit(random) - 1.0) +
                         (variation.quarterTurns ? 90.0 * double(scenes.size() % 4) : 0.0);
            scene.fill = 0.45 + 0.25 * unit(random);
            scene.shiftX = (1.0 - scene.fill) * (unit(random) - 0.5);
            scene.shiftY = (1.0 - scene.fill) * (unit(random) - 0.5);
            scene.seed = unsigned(random());
            if (InsideWithRoom(TrueTargets(scene), scene.rows, scene.width, scene.height,
                               variation.room))
                break;
        }
        scenes.push_back(scene);
    }
    return scenes;
}

BoardPhoto NoisyPhoto(const PhotoScene& scene, double sigma, std::mt19937& random) {
    const SceneTargets targets = TrueTargets(scene);
    std::normal_distribution<double> noise(0.0, sigma);
    BoardPhoto photo;
    photo.width = scene.width;
    photo.height = scene.height;
    photo.board = targets.board;
    photo.image = targets.boardTruth;
    if (sigma > 0.0)
        for (PlanePoint& p : photo.image) {
            p.x += noise(random);
            p.y += noise(random);
        }
    return photo;
}

std::vector<BoardPhoto> NoisyPhotos(const std::vector<PhotoScene>& scenes, double sigma,
                                    unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BoardPhoto> photos;
    photos.reserve(scenes.size());
    for (const PhotoScene& scene : scenes)
        photos.push_back(NoisyPhoto(scene, sigma, random));
    return photos;
}

QStringList WriteLensSet(const QString& folder, PhotoScene* camera,
                         std::vector<PhotoScene>* scenes) {
    PhotoScene base;
    base.width = 800;
    base.height = 600;
    base.fx = 1000.0;
    base.fy = 1004.0;
    base.cx = 0.5 * (base.width - 1) + 9.0;
    base.cy = 0.5 * (base.height - 1) - 6.0;
    base.k1 = -0.2;
    base.k2 = 0.07;
    base.blur = 0.8;
    base.noise = 1.0;
    if (camera)
        *camera = base;
    Variation variation;
    variation.quarterTurns = true;
    variation.room = 1.0;
    const QDir dir(folder);
    QStringList photos;
    int k = 0;
    const std::vector<PhotoScene> varied = VariedScenes(base, 8, 31, variation);
    if (scenes)
        *scenes = varied;
    for (const PhotoScene& scene : varied) {
        if (k == 2) {
            const QString grey = dir.filePath(QStringLiteral("grey.png"));
            cv::imwrite(grey.toStdString(), cv::Mat(600, 800, CV_8U, cv::Scalar(120)));
            photos.append(grey);
        }
        const QString file = dir.filePath(QStringLiteral("p%1.png").arg(++k));
        WritePhoto(RenderPhoto(scene), file);
        photos.append(file);
    }
    return photos;
}

PhotoScene EquidistantFisheye() {
    PhotoScene lens;
    lens.width = 1280;
    lens.height = 960;
    lens.fisheye = true;
    lens.fisheyeField = 200.0;
    lens.fx = 330.0;
    lens.fy = 331.0;
    lens.cx = 0.5 * (lens.width - 1) + 5.0;
    lens.cy = 0.5 * (lens.height - 1) - 3.0;
    lens.k1 = 0.02;
    lens.k2 = -0.005;
    lens.k3 = 0.001;
    lens.k4 = -0.0002;
    return lens;
}

PhotoScene WideRationalLens() {
    PhotoScene lens;
    lens.width = 800;
    lens.height = 600;
    lens.fx = 500.0;
    lens.fy = 501.5;
    lens.cx = 0.5 * (lens.width - 1) + 7.0;
    lens.cy = 0.5 * (lens.height - 1) - 5.0;
    lens.k1 = 0.35;
    lens.k2 = -0.04;
    lens.k3 = 0.003;
    lens.k4 = 0.62;
    lens.k5 = 0.05;
    lens.k6 = 0.004;
    lens.blur = 0.8;
    lens.noise = 1.0;
    return lens;
}

QStringList WriteScenes(const QString& folder, const std::vector<PhotoScene>& scenes) {
    QStringList files;
    for (size_t k = 0; k < scenes.size(); ++k) {
        files << QDir(folder).filePath(QStringLiteral("p%1.png").arg(k + 1));
        WritePhoto(RenderPhoto(scenes[k]), files.back());
    }
    return files;
}

std::vector<PhotoScene> CornerScenes(const PhotoScene& lens, int count, unsigned seed) {
    Variation variation;
    variation.quarterTurns = true;
    variation.room = 1.0;
    return VariedScenes(lens, count, seed, variation);
}

} // namespace vrma::test
