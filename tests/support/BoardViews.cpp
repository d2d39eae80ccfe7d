#include "support/BoardViews.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace vrma::test {

namespace {

bool InsideWithRoom(const SceneTargets& targets, int width, int height) {
    constexpr double kRoom = 10.0;
    for (const PlanePoint& p : targets.boardTruth)
        if (!(p.x >= kRoom && p.x <= width - 1 - kRoom && p.y >= kRoom &&
              p.y <= height - 1 - kRoom))
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
            scene.roll = variation.maxRoll * (2.0 * unit(random) - 1.0);
            scene.fill = 0.45 + 0.25 * unit(random);
            scene.shiftX = (1.0 - scene.fill) * (unit(random) - 0.5);
            scene.shiftY = (1.0 - scene.fill) * (unit(random) - 0.5);
            scene.seed = unsigned(random());
            if (InsideWithRoom(TrueTargets(scene), scene.width, scene.height))
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

} // namespace vrma::test
