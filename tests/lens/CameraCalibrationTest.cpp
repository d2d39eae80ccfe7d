// The calibration of a camera from several photographs of a board, on point sets and
// renders with a known camera: the lens and the principal point recovered, the same
// solution and covariance as OpenCV's dense calibration, photographs left out by their
// RMS, the sets refused, the parameters held, and the standard error of fy/fx honest
// over many sets.
#include "calib/CameraCalibration.h"
#include "calib/TargetDetection.h"
#include "data/Errors.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <opencv2/calib3d.hpp>
#include <string>
#include <tuple>
#include <utility>

namespace vrma {
namespace {

using test::NoisyPhotos;
using test::PhotoScene;
using test::VariedScenes;

// The measuring error of the points: about what the detection leaves on sharp renders
// through a lens (0.03 px RMS, both coordinates; bench/camera-calibration.sh measures it).
constexpr double kNoisePx = 0.02;

PhotoScene Barrel() {
    PhotoScene scene;
    scene.fx = 2000.0;
    scene.fy = 2007.0;
    scene.k1 = -0.21;
    scene.k2 = 0.08;
    scene.p1 = 0.0012;
    scene.p2 = -0.0009;
    scene.k3 = -0.015;
    scene.cx = 0.5 * (scene.width - 1) + 12.0;
    scene.cy = 0.5 * (scene.height - 1) - 9.0;
    return scene;
}

PhotoScene Pincushion() {
    PhotoScene scene = Barrel();
    scene.fy = 1994.0;
    scene.k1 = 0.18;
    scene.k2 = -0.05;
    scene.k3 = 0.0;
    scene.cx = 0.5 * (scene.width - 1) - 15.0;
    scene.cy = 0.5 * (scene.height - 1) + 10.0;
    return scene;
}

// A lens of OpenCV's rational model: the denominator holds the barrel back toward the
// frame's corners.
PhotoScene Rational() {
    PhotoScene scene = Barrel();
    scene.fx = 1000.0; // wide: the frame's corners some 45 degrees off the axis
    scene.fy = 1003.5;
    scene.k1 = 0.35;
    scene.k2 = -0.04;
    scene.k3 = 0.003;
    scene.k4 = 0.62;
    scene.k5 = 0.05;
    scene.k6 = 0.004;
    return scene;
}

Camera TrueCamera(const PhotoScene& scene) {
    return test::TrueTargets(scene).camera;
}

// Every parameter freed lies within `factor` standard errors of the truth.
void ExpectWithinStandardErrors(const CameraCalibration& fit, const Camera& truth, double factor) {
    for (CameraParameter p : fit.selection.Parameters()) {
        const double se = fit.covariance.StandardError(p);
        EXPECT_GT(se, 0.0) << CameraParameterName(p);
        EXPECT_LT(std::abs(fit.camera[p] - truth[p]), factor * se)
            << CameraParameterName(p) << " " << fit.camera[p] << " against " << truth[p];
    }
    const double ratio = truth.fy() / truth.fx();
    EXPECT_LT(std::abs(fit.ratio - ratio), factor * fit.ratioSe) << fit.ratio;
}

std::string MessageOf(const std::vector<BoardPhoto>& photos,
                      const CameraCalibrationOptions& options = {}) {
    try {
        CalibrateCamera(photos, options);
    } catch (const CalcError& error) {
        return error.what();
    }
    return "(calibrated)";
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST(CameraCalibration, RecoversBarrelPincushionAndRationalLensesAndAnOffCentrePrincipalPoint) {
    const std::pair<PhotoScene, CameraSelection> cases[] = {
        {Barrel(), CameraSelection::OpenCvDefault()},
        {Pincushion(), CameraSelection::OpenCvDefault()},
        {Rational(), CameraSelection::Rational()}};
    for (const auto& [lens, model] : cases) {
        SCOPED_TRACE(lens.k1);
        const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 12, 3), kNoisePx, 5);
        CameraCalibrationOptions options;
        options.selection = model;
        const CameraCalibration fit = CalibrateCamera(photos, options);
        EXPECT_EQ(fit.selection, model);
        const Camera truth = TrueCamera(lens);
        EXPECT_EQ(fit.used, 12);
        EXPECT_EQ(fit.fits, 1);
        EXPECT_EQ(fit.points, 12u * 54u);
        EXPECT_EQ(fit.camera.width, lens.width);
        ExpectWithinStandardErrors(fit, truth, 4.0);
        EXPECT_LT(std::abs(fit.ratio - truth.fy() / truth.fx()), 1e-4);
        EXPECT_LT(std::abs(fit.camera.cx() - truth.cx()), 1.0);
        EXPECT_LT(std::abs(fit.camera.cy() - truth.cy()), 1.0);
        // The lens's own terms trade against each other; where it moves the points is known:
        // the lens found, behind the true focal lengths and principal point, against the truth.
        Camera lensFound = truth;
        for (CameraParameter p : CameraSelection::AnyLens().Parameters())
            lensFound[p] = fit.camera[p];
        const Pose pose{cv::Vec3d(0.0, 0.0, 0.0), cv::Vec3d(0.0, 0.0, 1.0)};
        std::vector<PlanePoint> frame; // rays out to where the boards reach, at unit distance
        const double hx = 0.35 * lens.width / truth.fx();
        const double hy = 0.35 * lens.height / truth.fy();
        for (double s = -1.0; s <= 1.0; s += 0.25)
            for (const PlanePoint& p : {PlanePoint{s * hx, hy}, PlanePoint{hx, s * hy}})
                frame.push_back(p);
        const std::vector<PlanePoint> found = ProjectFieldPoints(lensFound, pose, frame);
        const std::vector<PlanePoint> known = ProjectFieldPoints(truth, pose, frame);
        for (size_t k = 0; k < frame.size(); ++k)
            EXPECT_LT(std::hypot(found[k].x - known[k].x, found[k].y - known[k].y), 0.2) << k;
        // The measuring error comes back from the residuals.
        EXPECT_NEAR(fit.sigmaPx, kNoisePx, 0.1 * kNoisePx);
        EXPECT_NEAR(fit.rmsPx, kNoisePx * std::sqrt(2.0), 0.15 * kNoisePx);
        for (const PhotoFit& photo : fit.photos) {
            EXPECT_EQ(photo.use, PhotoUse::Used);
            ASSERT_TRUE(photo.rmsPx.has_value());
            EXPECT_LT(*photo.rmsPx, 2.0 * kNoisePx);
        }
    }
}

// An equidistant fisheye of 200 degrees, its terms as cv::fisheye defines them: found from
// the equidistant start, every parameter within four standard errors of the truth, and the
// rays out to 75 degrees off the axis (as far as the boards reach) where the true lens puts
// them.
TEST(CameraCalibration, RecoversAnEquidistantFisheye) {
    const PhotoScene lens = test::EquidistantFisheye();
    const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 12, 3), kNoisePx, 5);
    CameraCalibrationOptions options;
    options.selection = CameraSelection::Fisheye();
    const CameraCalibration fit = CalibrateCamera(photos, options);
    ASSERT_EQ(fit.selection, CameraSelection::Fisheye());
    ASSERT_TRUE(fit.camera.Fisheye());
    EXPECT_EQ(fit.used, 12);
    const Camera truth = TrueCamera(lens);
    ExpectWithinStandardErrors(fit, truth, 4.0);
    EXPECT_NEAR(fit.sigmaPx, kNoisePx, 0.1 * kNoisePx);
    for (double degrees = 0.0; degrees <= 75.0; degrees += 15.0) {
        const double theta = degrees * CV_PI / 180.0;
        for (double phi : {0.0, 1.0, 2.5, 4.0}) {
            const cv::Vec3d ray(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                                std::cos(theta));
            const PlanePoint found = ProjectPoint(fit.camera, ray);
            const PlanePoint known = ProjectPoint(truth, ray);
            EXPECT_LT(std::hypot(found.x - known.x, found.y - known.y), 0.2) << degrees;
        }
    }
}

// OpenCV's calibrateCamera minimises the same error over the same parameters with dense
// normal equations: the same camera, and the same covariance but for OpenCV's residual
// variance, which divides the sum of squares by N - p instead of 2N - p.
TEST(CameraCalibration, SameSolutionAndCovarianceAsOpenCvsDenseCalibration) {
    const std::tuple<PhotoScene, CameraSelection, int> cases[] = {
        {Barrel(), CameraSelection::OpenCvDefault(), 0},
        {Rational(), CameraSelection::Rational(), cv::CALIB_RATIONAL_MODEL}};
    for (const auto& [scene, model, flags] : cases) {
        SCOPED_TRACE(flags);
        // OpenCV takes its points in single precision: both are given the same.
        std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(scene, 8, 11), 0.05, 2);
        std::vector<std::vector<cv::Point3f>> object;
        std::vector<std::vector<cv::Point2f>> image;
        for (BoardPhoto& photo : photos) {
            object.emplace_back();
            image.emplace_back();
            for (size_t k = 0; k < photo.board.size(); ++k) {
                object.back().emplace_back(float(photo.board[k].x), float(photo.board[k].y), 0.0f);
                image.back().emplace_back(float(photo.image[k].x), float(photo.image[k].y));
                photo.board[k] = {object.back().back().x, object.back().back().y};
                photo.image[k] = {image.back().back().x, image.back().back().y};
            }
        }
        CameraCalibrationOptions options;
        options.selection = model;
        const CameraCalibration fit = CalibrateCamera(photos, options);
        ASSERT_EQ(fit.selection, model);
        cv::Mat matrix, lens, deviations, extrinsic, perView;
        std::vector<cv::Mat> rotations, translations;
        const double rms = cv::calibrateCamera(
            object, image, cv::Size(photos[0].width, photos[0].height), matrix, lens, rotations,
            translations, deviations, extrinsic, perView, flags,
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 200, 1e-15));
        const Camera theirs = Camera::FromOpenCv(photos[0].width, photos[0].height,
                                                 cv::Matx33d(matrix), std::vector<double>(lens));
        for (CameraParameter p : model.Parameters()) {
            const double se = fit.covariance.StandardError(p);
            EXPECT_LT(std::abs(fit.camera[p] - theirs[p]), 1e-3 * se) << CameraParameterName(p);
        }
        EXPECT_NEAR(fit.rmsPx, rms, 1e-6);
        const double n = double(fit.points);
        const double p = double(model.Count() + 6 * fit.used);
        const double factor = std::sqrt((2.0 * n - p) / (n - p));
        for (CameraParameter q : kCameraParameters)
            EXPECT_NEAR(fit.covariance.StandardError(q) * factor, deviations.at<double>(int(q)),
                        1e-4 * deviations.at<double>(int(q)))
                << CameraParameterName(q);
        for (size_t k = 0; k < photos.size(); ++k) {
            EXPECT_NEAR(*fit.photos[k].rmsPx, perView.at<double>(int(k)), 1e-6);
            EXPECT_LT(cv::norm(fit.photos[k].pose.rotation - cv::Vec3d(rotations[k])), 1e-6);
        }
    }
}

// Renders with the lens, through the detection: the whole road a user's photographs take.
TEST(CameraCalibration, RecoversTheLensFromRenderedPhotographs) {
    PhotoScene lens = Barrel();
    lens.width = 1000;
    lens.height = 750;
    lens.fx = 1250.0;
    lens.fy = 1250.0 * 1.0035;
    lens.cx = 0.5 * (lens.width - 1) + 8.0;
    lens.cy = 0.5 * (lens.height - 1) - 6.0;
    lens.blur = 0.7;
    lens.noise = 1.0;
    std::vector<BoardPhoto> photos;
    for (const PhotoScene& scene : VariedScenes(lens, 10, 21)) {
        const test::RenderedPhoto render = test::RenderPhoto(scene);
        const DetectedTargets found =
            DetectTargets(render.image, scene.kind, scene.columns, scene.rows);
        ASSERT_EQ(found.points.size(), render.truth.size());
        // The detection lists the targets in the calibration's order, as the truth does:
        // pair each with its place on the board through the truth.
        BoardPhoto photo;
        photo.width = found.imageWidth;
        photo.height = found.imageHeight;
        for (size_t k = 0; k < found.points.size(); ++k) {
            const auto same = [&](const PlanePoint& t) {
                return t.x == render.truth[k].x && t.y == render.truth[k].y;
            };
            const auto at = std::find_if(render.boardTruth.begin(), render.boardTruth.end(), same);
            ASSERT_NE(at, render.boardTruth.end());
            photo.board.push_back(render.board[size_t(at - render.boardTruth.begin())]);
            photo.image.push_back({found.points[k].x, found.points[k].y});
        }
        photos.push_back(std::move(photo));
    }
    const CameraCalibration fit = CalibrateCamera(photos);
    const Camera truth = TrueCamera(lens);
    EXPECT_EQ(fit.used, 10);
    EXPECT_LT(fit.rmsPx, 0.06);
    EXPECT_LT(std::abs(fit.ratio - truth.fy() / truth.fx()), 2e-4);
    EXPECT_LT(std::abs(fit.camera.cx() - truth.cx()), 1.5);
    EXPECT_LT(std::abs(fit.camera.cy() - truth.cy()), 1.5);
    EXPECT_LT(std::abs(fit.camera[CameraParameter::K1] - truth[CameraParameter::K1]), 0.01);
}

TEST(CameraCalibration, PhotographWithWrongCornersLeftOutByItsRms) {
    const PhotoScene lens = Barrel();
    std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 12, 8), kNoisePx, 9);
    // Two neighbouring targets of one column swapped in the fifth photograph.
    std::swap(photos[4].image[20], photos[4].image[21]);
    const CameraCalibration fit = CalibrateCamera(photos);
    EXPECT_EQ(fit.used, 11);
    EXPECT_EQ(fit.fits, 2);
    ASSERT_TRUE(fit.photos[4].rmsPx.has_value());
    EXPECT_GT(*fit.photos[4].rmsPx, 10.0 * kNoisePx);
    for (size_t k = 0; k < photos.size(); ++k)
        EXPECT_EQ(fit.photos[k].use, k == 4 ? PhotoUse::LeftOutRms : PhotoUse::Used) << k;
    // What is left is as good as a set without the photograph.
    ExpectWithinStandardErrors(fit, TrueCamera(lens), 4.0);
    EXPECT_NEAR(fit.sigmaPx, kNoisePx, 0.1 * kNoisePx);
}

TEST(CameraCalibration, PhotographLeftOutByTheUserGetsItsRmsUnderTheCameraFound) {
    const PhotoScene lens = Barrel();
    std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 8, 21), kNoisePx, 22);
    const CameraCalibration all = CalibrateCamera(photos);
    photos[3].leftOut = true;
    const CameraCalibration fewer = CalibrateCamera(photos);
    EXPECT_EQ(fewer.used, 7);
    EXPECT_EQ(fewer.photos[3].use, PhotoUse::LeftOutByUser);
    ASSERT_TRUE(fewer.photos[3].rmsPx);
    EXPECT_NEAR(*fewer.photos[3].rmsPx, *all.photos[3].rmsPx, 0.5 * kNoisePx);
    EXPECT_NE(fewer.camera.fx(), all.camera.fx());
    // The same as the set without it.
    std::vector<BoardPhoto> without = photos;
    without.erase(without.begin() + 3);
    const CameraCalibration seven = CalibrateCamera(without);
    EXPECT_NEAR(fewer.ratio, seven.ratio, 1e-3 * fewer.ratioSe);
}

TEST(CameraCalibration, FewerThanThreeUsablePhotographsRefused) {
    const std::vector<BoardPhoto> all = NoisyPhotos(VariedScenes(Barrel(), 4, 12), kNoisePx, 1);
    EXPECT_TRUE(Contains(MessageOf({}), "не меньше трёх"));
    const std::vector<BoardPhoto> two(all.begin(), all.begin() + 2);
    EXPECT_TRUE(
        Contains(MessageOf(two), "не меньше трёх пригодных снимков поля, а пригодных 2 из 2"))
        << MessageOf(two);

    // Two of four with fewer than four targets: no pose.
    std::vector<BoardPhoto> few = all;
    for (size_t k : {1u, 3u}) {
        few[k].board.resize(3);
        few[k].image.resize(3);
    }
    EXPECT_TRUE(Contains(MessageOf(few), "пригодных 2 из 4")) << MessageOf(few);

    // Three, one of them with wrong corners: it is left out, two remain.
    std::vector<BoardPhoto> three(all.begin(), all.begin() + 3);
    std::swap(three[2].image[0], three[2].image[53]);
    EXPECT_TRUE(Contains(MessageOf(three), "пригодных 2 из 3")) << MessageOf(three);

    // Two photographs of each of two sizes: the first's size is the set's, two remain.
    std::vector<BoardPhoto> tie = all;
    for (size_t k : {1u, 3u}) {
        tie[k].width = 1200;
        tie[k].height = 1600;
    }
    EXPECT_TRUE(Contains(MessageOf(tie), "пригодных 2 из 4")) << MessageOf(tie);

    // What only a program can get wrong.
    std::vector<BoardPhoto> uneven = all;
    uneven[0].image.pop_back();
    EXPECT_THROW(CalibrateCamera(uneven), std::invalid_argument);
    // Options that cannot be used, each refused before anything is fitted.
    const auto options = [](auto change) {
        CameraCalibrationOptions o;
        change(o);
        return o;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const CameraCalibrationOptions& wrong :
         {options([](auto& o) { o.selection = CameraSelection(); }),
          options([](auto& o) { o.minimumPhotos = 1; }),
          options([](auto& o) { o.solver.maxIterations = 0; }),
          options([](auto& o) { o.solver.functionTolerance = 0.0; }),
          options([](auto& o) { o.solver.gradientTolerance = -1e-16; }),
          options([&](auto& o) { o.solver.parameterTolerance = nan; })})
        EXPECT_THROW(CalibrateCamera(all, wrong), std::invalid_argument);
}

// A photograph of another size than most of the set is left out, whichever it is, and the
// others calibrate as they do without it; one the user left out takes no part in the count.
TEST(CameraCalibration, PhotographOfAnotherSizeLeftOut) {
    const std::vector<BoardPhoto> all = NoisyPhotos(VariedScenes(Barrel(), 5, 12), kNoisePx, 1);
    for (size_t odd : {0u, 2u, 4u}) {
        SCOPED_TRACE(odd);
        std::vector<BoardPhoto> sizes = all;
        sizes[odd].width += 1;
        sizes[odd].height += 1;
        const CameraCalibration fit = CalibrateCamera(sizes);
        EXPECT_EQ(fit.camera.width, all[0].width);
        for (size_t k = 0; k < sizes.size(); ++k)
            EXPECT_EQ(fit.photos[k].use, k == odd ? PhotoUse::LeftOutSize : PhotoUse::Used);
        EXPECT_FALSE(fit.photos[odd].rmsPx);
        std::vector<BoardPhoto> without = all;
        without.erase(without.begin() + std::ptrdiff_t(odd));
        EXPECT_EQ(CalibrateCamera(without).ratio, fit.ratio);

        sizes[odd].leftOut = true;
        EXPECT_EQ(CalibrateCamera(sizes).photos[odd].use, PhotoUse::LeftOutByUser);
    }
}

TEST(CameraCalibration, SetsThatDoNotFixTheFocalLengthsRefusedNearlyAlikePhotographsNot) {
    const PhotoScene lens = Barrel();
    const std::vector<PhotoScene> varied = VariedScenes(lens, 10, 14);
    const char* undetermined = "не определяют фокусные расстояния";

    // Ten photographs of one pose (their noise differs).
    const std::vector<PhotoScene> one(10, varied[0]);
    EXPECT_TRUE(Contains(MessageOf(NoisyPhotos(one, kNoisePx, 3)), undetermined));

    // Ten without tilt, anywhere in the frame, turned about the line of sight.
    std::vector<PhotoScene> flat = varied;
    for (PhotoScene& scene : flat)
        scene.tiltX = scene.tiltY = 0.0;
    for (const double noise : {0.0, kNoisePx, 0.3})
        EXPECT_TRUE(Contains(MessageOf(NoisyPhotos(flat, noise, 3)), undetermined)) << noise;
    CameraCalibrationOptions simple;
    simple.selection = CameraSelection::NoDistortion();
    EXPECT_TRUE(Contains(MessageOf(NoisyPhotos(flat, kNoisePx, 3), simple), undetermined));

    // Among tilted photographs, two of nearly one pose and a third of exactly that pose
    // fix nothing less.
    std::vector<PhotoScene> alike = varied;
    alike.push_back(varied[3]);
    alike.back().tiltX += 0.01;
    alike.push_back(varied[3]);
    const CameraCalibration fit = CalibrateCamera(NoisyPhotos(alike, kNoisePx, 3));
    EXPECT_EQ(fit.used, 12);
    ExpectWithinStandardErrors(fit, TrueCamera(lens), 4.0);
}

TEST(CameraCalibration, HeldParametersKeepTheirValuesAndHaveNoStandardError) {
    const PhotoScene lens = Barrel();
    const Camera truth = TrueCamera(lens);
    const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 10, 15), kNoisePx, 4);

    // The principal point held where it is not: kept exactly, the rest free.
    CameraCalibrationOptions fixedCentre;
    fixedCentre.selection = CameraSelection::PrincipalPointFixed();
    fixedCentre.held = truth;
    (*fixedCentre.held)[CameraParameter::Cx] += 3.0;
    (*fixedCentre.held)[CameraParameter::Cy] -= 2.0;
    CameraCalibration fit = CalibrateCamera(photos, fixedCentre);
    EXPECT_EQ(fit.camera.cx(), truth.cx() + 3.0);
    EXPECT_EQ(fit.camera.cy(), truth.cy() - 2.0);
    for (CameraParameter p : kPinholeParameters) {
        const bool held = p == CameraParameter::Cx || p == CameraParameter::Cy;
        EXPECT_EQ(fit.covariance.StandardError(p) == 0.0, held) << CameraParameterName(p);
        EXPECT_EQ(fit.covariance(CameraParameter::Cx, p), 0.0);
        EXPECT_EQ(fit.covariance(p, CameraParameter::Cy), 0.0);
    }
    // Held without a camera given: at the image's centre, as OpenCV takes it.
    fixedCentre.held.reset();
    fit = CalibrateCamera(photos, fixedCentre);
    EXPECT_EQ(fit.camera.cx(), 0.5 * (lens.width - 1));
    EXPECT_EQ(fit.camera.cy(), 0.5 * (lens.height - 1));

    // The lens held at the truth: kept, and the rest recovered.
    CameraCalibrationOptions noLens;
    noLens.selection = CameraSelection::NoDistortion();
    noLens.held = truth;
    fit = CalibrateCamera(photos, noLens);
    EXPECT_EQ(fit.camera.Distortion(), truth.Distortion());
    ExpectWithinStandardErrors(fit, truth, 4.0);
    // ... and at none (the default): the model is too small for this lens and fy/fx is off.
    noLens.held.reset();
    fit = CalibrateCamera(photos, noLens);
    EXPECT_FALSE(fit.camera.HasLens());
    EXPECT_GT(fit.rmsPx, 10.0 * kNoisePx);

    // Radial terms only, on a lens without tangential ones.
    PhotoScene radial = lens;
    radial.p1 = radial.p2 = 0.0;
    CameraCalibrationOptions radialOnly;
    radialOnly.selection = CameraSelection::RadialOnly();
    fit = CalibrateCamera(NoisyPhotos(VariedScenes(radial, 10, 16), kNoisePx, 4), radialOnly);
    EXPECT_EQ(fit.camera[CameraParameter::P1], 0.0);
    EXPECT_EQ(fit.camera[CameraParameter::P2], 0.0);
    EXPECT_EQ(fit.covariance.StandardError(CameraParameter::P1), 0.0);
    ExpectWithinStandardErrors(fit, TrueCamera(radial), 4.0);
}

// The standard error of fy/fx says how far the ratio is from the truth: over 50 sets of
// ten photographs, within two standard errors in at least 90 % of them (95 % expected),
// and the errors over their standard errors scatter by about one.
TEST(CameraCalibration, StandardErrorOfTheRatioIsHonestOverFiftySets) {
    const PhotoScene lens = Barrel();
    const Camera truth = TrueCamera(lens);
    const double ratio = truth.fy() / truth.fx();
    int within = 0;
    double squares = 0.0;
    constexpr int kSets = 50;
    for (int set = 0; set < kSets; ++set) {
        const CameraCalibration fit = CalibrateCamera(NoisyPhotos(
            VariedScenes(lens, 10, 100 + unsigned(set)), kNoisePx, 200 + unsigned(set)));
        const double z = (fit.ratio - ratio) / fit.ratioSe;
        within += std::abs(z) <= 2.0 ? 1 : 0;
        squares += z * z;
    }
    EXPECT_GE(within, 45);
    const double spread = std::sqrt(squares / kSets);
    EXPECT_GT(spread, 0.7);
    EXPECT_LT(spread, 1.4);
}

} // namespace
} // namespace vrma
