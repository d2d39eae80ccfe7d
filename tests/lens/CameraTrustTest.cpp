// How far a calibrated camera can be trusted, against known truth: the linearised
// leave-one-out influence against true refits without each photograph, the projection's
// uncertainty map against where the true camera and poses put the same points, and sets
// that cannot fix the model.
#include "calib/CameraTrust.h"
#include "calib/CameraCheck.h"
#include "calib/CrossValidation.h"
#include "calib/ModelChoice.h"
#include "calib/ProjectionUncertainty.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

namespace vrma {
namespace {

using test::NoisyPhotos;
using test::PhotoScene;
using test::VariedScenes;

constexpr double kNoisePx = 0.05;

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

// Where the true camera and poses put the point the map projects at a cell: carried into
// every board's frame by the fitted poses, back by the true ones, averaged.
cv::Point2d TruePixel(const CameraCalibration& fit, const std::vector<PhotoScene>& scenes, double x,
                      double y, double distance) {
    const cv::Vec3d point = PointAtPixel(fit.camera, x, y, distance);
    cv::Vec3d mean(0, 0, 0);
    int n = 0;
    Camera truth;
    for (size_t k = 0; k < scenes.size(); ++k) {
        if (fit.photos[k].use != PhotoUse::Used)
            continue;
        const test::SceneTargets t = test::TrueTargets(scenes[k]);
        truth = t.camera;
        cv::Matx33d r, rt;
        cv::Rodrigues(fit.photos[k].pose.rotation, r);
        cv::Rodrigues(t.pose.rotation, rt);
        mean += rt * (r.t() * (point - fit.photos[k].pose.translation)) + t.pose.translation;
        ++n;
    }
    mean *= 1.0 / n;
    std::vector<cv::Point2d> projected;
    cv::projectPoints(std::vector<cv::Point3d>{cv::Point3d(mean)}, cv::Vec3d(0, 0, 0),
                      cv::Vec3d(0, 0, 0), truth.Matrix(), truth.Distortion(), projected);
    return projected.front();
}

// Six photographs within a degree of one pose: the scene `base` jittered.
std::vector<PhotoScene> NearlyOnePose(const PhotoScene& base, int count) {
    std::vector<PhotoScene> scenes;
    std::mt19937 random(4);
    std::uniform_real_distribution<double> jitter(-0.5, 0.5);
    for (int k = 0; k < count; ++k) {
        PhotoScene s = base;
        s.tiltX = 20.0 + jitter(random);
        s.tiltY = 12.0 + jitter(random);
        s.roll = jitter(random);
        scenes.push_back(s);
    }
    return scenes;
}

TEST(CameraTrust, LeaveOneOutInfluenceAgreesWithRefitsWithoutEachPhotograph) {
    const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(Barrel(), 8, 5), kNoisePx, 6);
    const CameraCalibration fit = CalibrateCamera(photos);
    const CameraInformation info = InformationOf(photos, fit);
    const CameraTrust trust = JudgeTrust(info);
    ASSERT_EQ(trust.influence.size(), photos.size());
    for (const PhotoInfluence& photo : trust.influence) {
        std::vector<BoardPhoto> without = photos;
        without[photo.photo].leftOut = true;
        const CameraCalibration refit = CalibrateCamera(without);
        for (size_t k = 0; k < info.freed.size(); ++k) {
            const CameraParameter p = info.freed[k];
            const double se = fit.covariance.StandardError(p);
            const double truth = refit.camera[p] - fit.camera[p];
            EXPECT_NEAR(photo.shift[k] / se, truth / se, 0.1 + 0.2 * std::abs(truth / se))
                << "photograph " << photo.photo << ", " << CameraParameterName(p);
        }
    }
}

TEST(CameraTrust, UncertaintyMapCoversTheTruthWhereTheBoardWasSeen) {
    int seen = 0, within3 = 0;
    std::vector<double> medians;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const std::vector<PhotoScene> scenes = VariedScenes(Barrel(), 12, seed);
        const std::vector<BoardPhoto> photos = NoisyPhotos(scenes, kNoisePx, seed + 100);
        const CameraCalibration fit = CalibrateCamera(photos);
        const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
        for (const UncertaintyCell& cell : map.cells) {
            if (!cell.seen)
                continue;
            const cv::Point2d t = TruePixel(fit, scenes, cell.x, cell.y, map.distance);
            ++seen;
            within3 += std::hypot(t.x - cell.x, t.y - cell.y) <= 3.0 * cell.sigmaPx ? 1 : 0;
        }
        medians.push_back(map.medianSeenPx);
    }
    EXPECT_GE(double(within3) / seen, 0.9);
    // The noise's own size, no more, where the board was.
    EXPECT_LT(*std::max_element(medians.begin(), medians.end()), 0.3);
}

// A wide lens of the rational model: its twelve parameters carry through the map (the true
// projection within three of its sigmas), the cross-validation (the right model not
// flagged) and the undistortion (the lens taken out of a ray's pixel puts it where the
// camera without the lens does).
TEST(CameraTrust, RationalModelCarriesThroughTheMapTheCrossValidationAndTheUndistortion) {
    PhotoScene wide = Barrel();
    wide.fx = 1000.0;
    wide.fy = 1003.5;
    wide.k1 = 0.35;
    wide.k2 = -0.04;
    wide.k3 = 0.003;
    wide.k4 = 0.62;
    wide.k5 = 0.05;
    wide.k6 = 0.004;
    const std::vector<PhotoScene> scenes = VariedScenes(wide, 12, 3);
    const std::vector<BoardPhoto> photos = NoisyPhotos(scenes, kNoisePx, 4);
    CameraCalibrationOptions options;
    options.selection = CameraSelection::Rational();
    options.leaveOutByRms = false;
    const CameraCalibration fit = CalibrateCamera(photos, options);
    ASSERT_EQ(fit.selection, CameraSelection::Rational());
    const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
    int seen = 0, within3 = 0;
    for (const UncertaintyCell& cell : map.cells) {
        if (!cell.seen)
            continue;
        const cv::Point2d t = TruePixel(fit, scenes, cell.x, cell.y, map.distance);
        ++seen;
        within3 += std::hypot(t.x - cell.x, t.y - cell.y) <= 3.0 * cell.sigmaPx ? 1 : 0;
    }
    ASSERT_GT(seen, 0);
    EXPECT_GE(double(within3) / seen, 0.85);
    const std::optional<CrossValidation> check = CrossValidate(photos, fit, map, options);
    ASSERT_TRUE(check.has_value());
    EXPECT_FALSE(check->modelError) << check->ratio;

    const Camera truth = test::TrueTargets(wide).camera;
    std::vector<PlanePoint> rays;
    for (double x = -0.7; x <= 0.7; x += 0.35)
        for (double y = -0.5; y <= 0.5; y += 0.25)
            rays.push_back({x, y});
    const std::vector<PlanePoint> undistorted = UndistortImagePoints(
        truth, ProjectFieldPoints(truth, {cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 1)}, rays));
    for (size_t k = 0; k < rays.size(); ++k) {
        EXPECT_NEAR(undistorted[k].x, truth.fx() * rays[k].x + truth.cx(), 1e-6) << k;
        EXPECT_NEAR(undistorted[k].y, truth.fy() * rays[k].y + truth.cy(), 1e-6) << k;
    }
}

TEST(CameraTrust, UncertaintyGrowsTowardCornersNoBoardReached) {
    std::vector<PhotoScene> scenes;
    for (const auto& [x, y] :
         {std::pair{25.0, 0.0}, std::pair{-25.0, 5.0}, std::pair{0.0, 25.0}, std::pair{5.0, -25.0},
          std::pair{18.0, 18.0}, std::pair{-18.0, -18.0}}) {
        PhotoScene s = Barrel();
        s.fill = 0.4;
        s.tiltX = x;
        s.tiltY = y;
        scenes.push_back(s);
    }
    const std::vector<BoardPhoto> photos = NoisyPhotos(scenes, kNoisePx, 3);
    const CameraCalibration fit = CalibrateCamera(photos);
    const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
    for (size_t corner : {size_t(0), size_t(map.columns - 1), map.cells.size() - map.columns,
                          map.cells.size() - 1}) {
        EXPECT_FALSE(map.cells[corner].seen);
        EXPECT_GT(map.cells[corner].sigmaPx, 5.0 * map.medianSeenPx) << corner;
    }
}

// A set whose information does not tell the camera's parameters apart gives no camera with
// unfounded terms: refused, or (the lens held, or the model lean enough) the focal length
// within three standard errors of the truth.
TEST(CameraTrust, SetsThatCannotFixTheModelAreRefusedOrTheLensHeld) {
    PhotoScene radial = Barrel();
    radial.p1 = radial.p2 = 0.0;
    struct Case {
        const char* name;
        PhotoScene lens;
        CameraSelection selection;
        int count;
    };
    for (const Case& c : {Case{"opencv", Barrel(), CameraSelection::OpenCvDefault(), 6},
                          Case{"radial", radial, CameraSelection::RadialOnly(), 6},
                          Case{"no-distortion", Barrel(), CameraSelection::NoDistortion(), 6},
                          Case{"opencv, three", Barrel(), CameraSelection::OpenCvDefault(), 3}}) {
        const std::vector<BoardPhoto> photos =
            NoisyPhotos(NearlyOnePose(c.lens, c.count), kNoisePx, 7);
        CameraCalibrationOptions options;
        options.selection = c.selection;
        try {
            const CameraCalibration fit = CalibrateCamera(photos, options);
            EXPECT_LT(std::abs(fit.camera.fx() - Barrel().fx),
                      3.0 * fit.covariance.StandardError(CameraParameter::Fx))
                << c.name;
        } catch (const CameraFitError& error) {
            EXPECT_TRUE(error.code() == CameraFitError::Code::Inseparable ||
                        error.code() == CameraFitError::Code::FocalsUndetermined)
                << c.name;
        }
    }
    // A set of many poses keeps what was asked.
    const std::vector<BoardPhoto> varied = NoisyPhotos(VariedScenes(Barrel(), 10, 2), kNoisePx, 3);
    const CameraCalibration fit = CalibrateCamera(varied);
    EXPECT_EQ(fit.unfounded.Count(), 0);
    EXPECT_EQ(fit.selection, CameraSelection::OpenCvDefault());
}

// A lens narrow enough that its boards keep near the axis cannot tell the rational model's
// denominator from k1-k3: those three are held and named, the rest found as the five-term
// model finds them.
TEST(CameraTrust, RationalTermsANarrowLensCannotSeparateAreHeldAndNamed) {
    const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(Barrel(), 10, 2), kNoisePx, 3);
    CameraCalibrationOptions options;
    options.selection = CameraSelection::Rational();
    const CameraCalibration fit = CalibrateCamera(photos, options);
    EXPECT_EQ(fit.unfounded, CameraSelection::RationalTerms());
    EXPECT_EQ(fit.selection, CameraSelection::OpenCvDefault());
    for (CameraParameter p : {CameraParameter::Fx, CameraParameter::Cx, CameraParameter::K1})
        EXPECT_LT(std::abs(fit.camera[p] - test::TrueTargets(Barrel()).camera[p]),
                  4.0 * fit.covariance.StandardError(p))
            << CameraParameterName(p);
}

// The halves of a set agree within their uncertainty under the lens's own model, at a low
// noise and at ten times it; a model without the lens is flagged at both.
TEST(CameraTrust, CrossValidationFlagsAModelTooLeanNotTheRightOne) {
    for (const double noise : {kNoisePx, 10.0 * kNoisePx})
        for (unsigned seed = 1; seed <= 8; ++seed) {
            const std::vector<BoardPhoto> photos =
                NoisyPhotos(VariedScenes(Barrel(), 12, seed), noise, seed + 10);
            for (const auto& [selection, flagged] :
                 {std::pair{CameraSelection::OpenCvDefault(), false},
                  std::pair{CameraSelection::NoDistortion(), true}}) {
                CameraCalibrationOptions options;
                options.selection = selection;
                options.leaveOutByRms = false;
                const CameraCalibration fit = CalibrateCamera(photos, options);
                const ProjectionUncertainty map =
                    UncertaintyOf(photos, fit, InformationOf(photos, fit));
                const std::optional<CrossValidation> check =
                    CrossValidate(photos, fit, map, options);
                ASSERT_TRUE(check.has_value());
                EXPECT_EQ(check->modelError, flagged)
                    << noise << " " << seed << " " << check->ratio;
            }
        }
}

// The fisheye's halves are compared through its own projection: under its own model a
// fisheye of 200 degrees is not flagged.
TEST(CameraTrust, CrossValidationOfAFisheyeThroughItsOwnProjection) {
    const PhotoScene lens = test::EquidistantFisheye();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const std::vector<BoardPhoto> photos =
            NoisyPhotos(VariedScenes(lens, 12, seed), kNoisePx, seed + 10);
        CameraCalibrationOptions options;
        options.selection = CameraSelection::Fisheye();
        options.leaveOutByRms = false;
        const CameraCalibration fit = CalibrateCamera(photos, options);
        const ProjectionUncertainty map = UncertaintyOf(photos, fit, InformationOf(photos, fit));
        const std::optional<CrossValidation> check = CrossValidate(photos, fit, map, options);
        ASSERT_TRUE(check.has_value()) << seed;
        EXPECT_FALSE(check->modelError) << seed << " " << check->ratio;
    }
}

// A saved camera explains new photographs of itself, not of a camera 1 % longer.
TEST(CameraTrust, CheckOfASavedCameraTellsTheSameCameraFromALongerOne) {
    const Camera truth = test::TrueTargets(Barrel()).camera;
    Camera longer = truth;
    longer[CameraParameter::Fx] *= 1.01;
    longer[CameraParameter::Fy] *= 1.01;
    for (unsigned seed : {31U, 32U, 33U}) {
        const std::vector<BoardPhoto> photos =
            NoisyPhotos(VariedScenes(Barrel(), 8, seed), kNoisePx, seed + 1);
        for (const auto& [camera, explains] : {std::pair{truth, true}, std::pair{longer, false}}) {
            const CameraCheck check = CheckCamera(photos, camera);
            EXPECT_EQ(check.ok, explains) << seed << " " << check.excess << " " << check.limit;
            EXPECT_EQ(check.photos, 8);
            EXPECT_GE(check.worstPx, check.rmsPx);
            // The bound said in pixels is where the held RMS reaches the limit.
            EXPECT_EQ(check.rmsPx <= check.boundPx, explains) << check.boundPx;
        }
    }
}

// The leanest model the photographs support: none for a lens without distortion, the
// radial terms for a purely radial lens, OpenCV's five with tangential terms too.
TEST(CameraTrust, AutomaticModelIsTheLeanestThePhotographsSupport) {
    PhotoScene plain = Barrel();
    plain.k1 = plain.k2 = plain.k3 = plain.p1 = plain.p2 = 0.0;
    PhotoScene radial = Barrel();
    radial.p1 = radial.p2 = 0.0;
    radial.k3 = 0.0;
    for (const auto& [lens, model] : {std::pair{plain, CameraSelection::NoDistortion()},
                                      std::pair{radial, CameraSelection::RadialOnly()},
                                      std::pair{Barrel(), CameraSelection::OpenCvDefault()}}) {
        const std::vector<BoardPhoto> photos = NoisyPhotos(VariedScenes(lens, 12, 4), kNoisePx, 5);
        EXPECT_EQ(ChooseModel(photos), model) << lens.k1 << " " << lens.p1;
    }
}

} // namespace
} // namespace vrma
