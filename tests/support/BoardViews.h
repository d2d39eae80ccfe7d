#pragma once
// Sets of photographs of one board through one camera with a known answer, for the tests
// and benchmarks of the camera's calibration: the scenes of a calibration as a user takes
// them (the board tilted 15 to 40 degrees in every direction, anywhere in the frame), and
// their true targets with Gaussian measuring noise, without rendering.
#include "calib/CameraCalibration.h"
#include "support/PhotoRenderer.h"

#include <QStringList>
#include <random>
#include <vector>

namespace vrma::test {

// How the scenes of a set vary.
struct Variation {
    double minTilt = 15.0; // degrees
    double maxTilt = 40.0;
    double maxRoll = 20.0; // degrees either way about the line of sight
    // Each scene turned besides by a quarter turn more than the one before: 0, 90, 180,
    // 270, 0, ... degrees (boards as users turn them).
    bool quarterTurns = false;
    // The room kept between the outermost targets and the image's edge, in steps of the
    // grid as the image shows it there (1: a chessboard's outer squares in the frame); 0:
    // 10 pixels.
    double room = 0.0;
};

// `count` scenes of the board and camera of `base`: each tilted by minTilt to maxTilt
// degrees about an axis of its own in the image plane, turned by up to maxRoll degrees
// about the line of sight (and by its quarter turn, with quarterTurns), filling 45 to 70 % of the
// frame anywhere in it, every target at least 10 pixels inside the image. The same seed gives the
// same scenes.
std::vector<PhotoScene> VariedScenes(const PhotoScene& base, int count, unsigned seed,
                                     const Variation& variation = {});

// The true targets of a scene as a calibration's photograph (board points in the board's
// order), with independent Gaussian noise of `sigma` pixels on each image coordinate.
BoardPhoto NoisyPhoto(const PhotoScene& scene, double sigma, std::mt19937& random);

// The same for a set of scenes.
std::vector<BoardPhoto> NoisyPhotos(const std::vector<PhotoScene>& scenes, double sigma,
                                    unsigned seed);

// A small lens set written as files into `folder`: eight 800 × 600 PNG renders of the 9 × 6
// chessboard, p1.png to p8.png, through a camera with barrel distortion and the principal
// point off the centre (`camera` takes it), turned by quarter turns in order; and third in
// the list a grey picture without the board (grey.png). `scenes` takes the eight scenes.
QStringList WriteLensSet(const QString& folder, PhotoScene* camera = nullptr,
                         std::vector<PhotoScene>* scenes = nullptr);

// A wide lens of OpenCV's rational model, 800 x 600 (the frame's corners some 50 degrees
// off the axis), its denominator holding the barrel back toward the corners, the principal
// point off the centre; a little blur and noise.
PhotoScene WideRationalLens();
// An equidistant fisheye of 200 degrees, 1280 x 960, its terms as cv::fisheye defines them.
PhotoScene EquidistantFisheye();

// The renders of the scenes written into `folder` as p1.png, p2.png, ...; their names.
QStringList WriteScenes(const QString& folder, const std::vector<PhotoScene>& scenes);

// Scenes whose boards reach the frame's corners: `count` of `lens` turned by quarter turns,
// their outer squares in the frame.
std::vector<PhotoScene> CornerScenes(const PhotoScene& lens, int count, unsigned seed);

} // namespace vrma::test
