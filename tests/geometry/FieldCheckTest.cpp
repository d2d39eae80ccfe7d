// The field check on photographs of synthetic pinhole cameras with known fx, fy and tilt
// (0.05 px of noise, fixed seeds): the homography, the tilt, the corrected coefficient
// with a focal length known to 1 % and to 5 %, the multi-view ratio beside OpenCV's
// calibrateCamera, the verdict and the degenerate inputs.
#include "calib/FieldCheck.h"
#include "data/CameraMessages.h"
#include "data/Errors.h"
#include "drawing/FieldCheckVerdict.h"
#include "support/CheckedField.h"
#include "support/PhotoRenderer.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <random>
#include <string>

namespace vrma {
namespace {

using test::CheckInput;
using test::FieldPose;
using test::MakeField;
using test::PinholeCamera;
using test::TiltedField;

using test::Checked;
using test::CheckOne;

constexpr double kNoise = test::kCheckNoise;

std::string Message(const FieldCheckInput& input) {
    try {
        CheckField(input);
    } catch (const CalcError& e) {
        return e.what();
    }
    return "no failure";
}

TEST(FieldCheckHomography, ExactOnANoiseFreeFieldAndAtTheNoiseLevelOtherwise) {
    const PinholeCamera camera;
    const TiltedField exact = MakeField(camera, {12.0, -7.0, 3.0}, 11, 9, 0.0, 1);
    const ScaleRatioRun run = exact.run();
    const FieldCheck check = CheckField(CheckInput(exact, camera, run));
    EXPECT_LT(check.homographyRmsPx, 1e-4);
    EXPECT_EQ(check.pointCount, 99);
    EXPECT_DOUBLE_EQ(check.principalX, 360.0);
    EXPECT_DOUBLE_EQ(check.principalY, 288.0);
    // The scaled homography maps the field's centre (0, 0) to its image.
    const size_t centre = 5 * 9 + 4;
    EXPECT_NEAR(check.homography[2], exact.image[centre].x, 1e-4);
    EXPECT_NEAR(check.homography[5], exact.image[centre].y, 1e-4);
    EXPECT_DOUBLE_EQ(check.homography[8], 1.0);

    // Two coordinates of noise 0.05 each: an RMS of about 0.05 * sqrt(2) less the fit's share.
    const Checked noisy = CheckOne(camera, {12.0, -7.0, 3.0}, std::nullopt, 2);
    EXPECT_GT(noisy.check.homographyRmsPx, 0.04);
    EXPECT_LT(noisy.check.homographyRmsPx, 0.09);
    // Without a focal length or further views there is no pose and no verdict.
    EXPECT_FALSE(noisy.check.tiltKnown);
    EXPECT_FALSE(noisy.check.correctedCoefficient);
    EXPECT_FALSE(noisy.check.bias);
    EXPECT_FALSE(noisy.check.warning);
}

TEST(FieldCheckTilt, FrontoParallelFieldHasNoTiltAndKeepsThePlainCoefficient) {
    const PinholeCamera camera;
    for (unsigned seed : {11u, 12u, 13u}) {
        const Checked c = CheckOne(camera, {}, camera.fx, seed);
        EXPECT_LT(c.check.tiltDeg, 0.1) << seed;
        EXPECT_LT(std::fabs(c.check.tiltVerticalDeg), 0.1);
        EXPECT_LT(std::fabs(c.check.tiltHorizontalDeg), 0.1);
        ASSERT_TRUE(c.check.correctedCoefficient);
        EXPECT_LT(std::fabs(*c.check.correctedCoefficient - c.check.coefficient), c.check.sem)
            << seed;
        EXPECT_FALSE(c.check.warning) << seed;
        EXPECT_NEAR(c.check.sem, c.run.sd / std::sqrt(63.0), 1e-15);
    }
}

// Tilts from 0 to 20 degrees about either axis and both; the focal length 1 % off, both
// ways: the corrected coefficient within 3e-4 of the truth, or within a twentieth of the
// plain coefficient's bias where that is larger; the tilt found as it was made.
TEST(FieldCheckTilt, CorrectedCoefficientWithTheFocalLengthKnownToOnePercent) {
    const PinholeCamera camera;
    unsigned seed = 100;
    double worst = 0.0;
    for (double tilt : {0.0, 2.5, 5.0, 10.0, 15.0, 20.0}) {
        for (int axes = 0; axes < 3; ++axes) {
            const FieldPose pose{axes != 1 ? tilt : 0.0, axes != 0 ? tilt : 0.0, 2.0};
            for (double focalError : {-0.01, 0.01}) {
                const Checked c = CheckOne(camera, pose, camera.fx * (1.0 + focalError), ++seed);
                const double truth = camera.ratio();
                const double plainBias = std::fabs(c.check.coefficient - truth);
                const double allowed = std::max(3e-4, plainBias / 20.0);
                const double error = std::fabs(*c.check.correctedCoefficient - truth);
                worst = std::max(worst, error / allowed);
                EXPECT_LE(error, allowed)
                    << "tilt " << tilt << " axes " << axes << " focal " << focalError;
                EXPECT_NEAR(c.check.tiltVerticalDeg, c.field.tiltVerticalDeg(), 0.3);
                EXPECT_NEAR(c.check.tiltHorizontalDeg, c.field.tiltHorizontalDeg(), 0.3);
                EXPECT_LT(*c.check.correctedRmsPx, 0.09);
            }
        }
    }
    EXPECT_LT(worst, 1.0);
}

// The plain coefficient is off by about 1/cos(theta) for a tilt about the vertical axis,
// cos(theta) about the horizontal one: the bias the check removes is real.
TEST(FieldCheckTilt, PlainCoefficientCarriesTheTiltAndTheCorrectionRemovesIt) {
    const PinholeCamera camera;
    const Checked v = CheckOne(camera, {10.0, 0.0}, camera.fx, 7);
    EXPECT_GT(v.check.coefficient - camera.ratio(), 0.01);
    EXPECT_NEAR(*v.check.correctedCoefficient, camera.ratio(), 3e-4);
    EXPECT_NEAR(v.check.tiltVerticalDeg, 10.0, 0.2);
    EXPECT_NEAR(v.check.tiltHorizontalDeg, 0.0, 0.2);
    const Checked h = CheckOne(camera, {0.0, 10.0}, camera.fx, 8);
    EXPECT_LT(h.check.coefficient - camera.ratio(), -0.01);
    EXPECT_NEAR(*h.check.correctedCoefficient, camera.ratio(), 3e-4);
    EXPECT_NEAR(std::fabs(h.check.tiltHorizontalDeg), 10.0, 0.2);
    EXPECT_NEAR(h.check.tiltVerticalDeg, 0.0, 0.2);
    // 25 degrees about both axes: still found.
    const Checked both = CheckOne(camera, {25.0, 25.0, -4.0}, camera.fx, 9);
    EXPECT_NEAR(both.check.tiltVerticalDeg, both.field.tiltVerticalDeg(), 0.2);
    EXPECT_NEAR(both.check.tiltHorizontalDeg, both.field.tiltHorizontalDeg(), 0.2);
    EXPECT_NEAR(*both.check.correctedCoefficient, camera.ratio(), 5e-4);
}

// A single photograph through a barrel lens with the principal point off the centre: with
// the nominal focal length alone the lens bends the field and the corrected coefficient
// misses fy/fx; with the camera calibrated from several photographs the lens is taken out
// of the points first, and the tilt and the corrected coefficient come out right.
TEST(FieldCheckTilt, KnownCameraTakesTheLensOut) {
    test::PhotoScene scene;
    scene.k1 = -0.21;
    scene.k2 = 0.08;
    scene.p1 = 0.0012;
    scene.p2 = -0.0009;
    scene.cx = 0.5 * (scene.width - 1) + 40.0;
    scene.cy = 0.5 * (scene.height - 1) - 30.0;
    scene.tiltY = 20.0;
    scene.tiltX = -8.0;
    scene.fill = 0.8;
    const test::SceneTargets targets = test::TrueTargets(scene);
    ASSERT_EQ(targets.truthColumns, 9);
    const std::vector<PlanePoint> field =
        SceneGrid(targets.truthColumns, targets.truthRows, scene.pitch, scene.pitch);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 0.03);
    std::vector<PlanePoint> image;
    for (const cv::Point2d& p : targets.truth)
        image.push_back({p.x + noise(random), p.y + noise(random)});
    const ScaleRatioRun run = RunScaleRatio(9, 6, field, image);
    FieldCheckInput input;
    input.scene = field;
    input.image = image;
    input.width = scene.width;
    input.height = scene.height;
    input.coefficient = run.coefficient;
    input.sd = run.sd;
    input.n = qint64(run.ratios.size());
    const double truth = scene.fy / scene.fx;

    input.focal = scene.fx;
    const FieldCheck nominal = CheckField(input);
    EXPECT_FALSE(nominal.cameraKnown);
    EXPECT_GT(nominal.homographyRmsPx, 0.5);
    EXPECT_GT(std::fabs(*nominal.correctedCoefficient - truth), 3e-3);

    input.focal = 1.0; // not looked at
    input.camera = targets.camera;
    const FieldCheck known = CheckField(input);
    EXPECT_TRUE(known.cameraKnown);
    EXPECT_EQ(known.principalX, scene.cx);
    EXPECT_EQ(known.principalY, scene.cy);
    EXPECT_EQ(known.focalUsed, scene.fx);
    EXPECT_LT(known.homographyRmsPx, 0.06);
    EXPECT_LT(std::fabs(*known.correctedCoefficient - truth), 3.0 * *known.correctedSe);
    EXPECT_LT(std::fabs(*known.correctedCoefficient - truth), 3e-4);
    cv::Matx33d r;
    cv::Rodrigues(targets.pose.rotation, r);
    const double tilt = std::acos(std::fabs(r(2, 2))) * 180.0 / std::numbers::pi;
    EXPECT_NEAR(known.tiltDeg, tilt, 0.2);

    // A camera of another image size does not fit.
    Camera other = targets.camera;
    other.width = 1200;
    other.height = 1600;
    input.camera = other;
    EXPECT_NE(Message(input).find("1200 × 1600"), std::string::npos) << Message(input);

    // A fisheye is refused: the check takes central projections.
    Camera fisheye = targets.camera;
    fisheye.model = CameraModel::Fisheye;
    input.camera = fisheye;
    EXPECT_EQ(Message(input), messages::FisheyeCameraRefused().toStdString());
}

// Points measured without noise on a field tilted about one axis only: fx is not fixed by
// the perspective beyond its nominal value, and the check keeps it there instead of
// failing; the error of the ratio then holds the focal length's uncertainty.
TEST(FieldCheckTilt, NoiseFreeFieldTiltedAboutOneAxisKeepsTheNominalFocalLength) {
    const PinholeCamera camera;
    for (const FieldPose& pose : {FieldPose{10.0, 0.0}, FieldPose{0.0, 12.0}}) {
        const TiltedField field = MakeField(camera, pose, 11, 9, 0.0, 1);
        const ScaleRatioRun run = field.run();
        FieldCheckInput input = CheckInput(field, camera, run);
        input.focal = camera.fx;
        const FieldCheck check = CheckField(input);
        ASSERT_TRUE(check.correctedCoefficient);
        EXPECT_NEAR(*check.correctedCoefficient, camera.ratio(), 1e-9);
        EXPECT_NEAR(*check.correctedSe, kFocalUncertainty * check.focalSensitivity * camera.ratio(),
                    1e-9);
        EXPECT_NEAR(check.tiltVerticalDeg, field.tiltVerticalDeg(), 1e-6);
        EXPECT_NEAR(check.tiltHorizontalDeg, field.tiltHorizontalDeg(), 1e-6);
        EXPECT_TRUE(check.warning);
    }
}

// A relative error eps of the focal length moves the corrected coefficient by about
// -eps * sin^2(theta) * ratio: the sensitivity the window states.
TEST(FieldCheckTilt, FocalLengthKnownToFivePercentGivesTheErrorEpsSinSquared) {
    const PinholeCamera camera;
    unsigned seed = 300;
    for (double tilt : {10.0, 15.0, 20.0}) {
        for (double eps : {-0.05, 0.05}) {
            const Checked c = CheckOne(camera, {tilt, 0.0}, camera.fx * (1.0 + eps), ++seed);
            const double s2 = std::pow(std::sin(tilt * std::numbers::pi / 180.0), 2);
            const double predicted = -eps * s2 * camera.ratio();
            const double error = *c.check.correctedCoefficient - camera.ratio();
            EXPECT_NEAR(error, predicted, 0.25 * std::fabs(predicted) + 3e-4)
                << "tilt " << tilt << " eps " << eps;
            EXPECT_NEAR(c.check.focalSensitivity, s2, 0.02);
        }
    }
}

// OpenCV's calibrateCamera as a user would run it: principal point fixed at the image
// centre, no tangential or radial distortion, from the camera matrix given. Returns the
// camera matrix found; `deviations` gets the standard deviations OpenCV states for it.
cv::Mat CalibrateAsOpenCv(const std::vector<TiltedField>& views, const PinholeCamera& camera,
                          const cv::Matx33d& start, cv::Mat* deviations = nullptr) {
    std::vector<std::vector<cv::Point3f>> object;
    std::vector<std::vector<cv::Point2f>> image;
    for (const TiltedField& v : views) {
        object.emplace_back();
        image.emplace_back();
        for (size_t k = 0; k < v.scene.size(); ++k) {
            object.back().emplace_back(float(v.scene[k].x), float(v.scene[k].y), 0.0f);
            image.back().emplace_back(float(v.image[k].x), float(v.image[k].y));
        }
    }
    cv::Mat k = cv::Mat(start).clone();
    cv::Mat dist = cv::Mat::zeros(5, 1, CV_64F);
    std::vector<cv::Mat> r, t;
    cv::Mat intrinsic, extrinsic, errors;
    const int flags = cv::CALIB_USE_INTRINSIC_GUESS | cv::CALIB_FIX_PRINCIPAL_POINT |
                      cv::CALIB_ZERO_TANGENT_DIST | cv::CALIB_FIX_K1 | cv::CALIB_FIX_K2 |
                      cv::CALIB_FIX_K3 | cv::CALIB_FIX_K4 | cv::CALIB_FIX_K5 | cv::CALIB_FIX_K6;
    cv::calibrateCamera(object, image, cv::Size(int(camera.width), int(camera.height)), k, dist, r,
                        t, intrinsic, extrinsic, errors, flags);
    if (deviations)
        *deviations = intrinsic;
    return k;
}

double OpenCvRatio(const std::vector<TiltedField>& views, const PinholeCamera& camera) {
    const cv::Mat k = CalibrateAsOpenCv(
        views, camera, {camera.fx, 0, camera.width / 2, 0, camera.fx, camera.height / 2, 0, 0, 1});
    return k.at<double>(1, 1) / k.at<double>(0, 0);
}

TEST(FieldCheckViews, ThreeViewsWithoutFocalLengthAsCloseAsCalibrateCamera) {
    const PinholeCamera camera;
    const FieldPose poses[3] = {{15.0, 5.0, 1.0}, {-5.0, 18.0, -2.0}, {-12.0, -12.0, 4.0}};
    double oursSum = 0.0;
    double theirsSum = 0.0;
    int trials = 0;
    for (unsigned seed = 500; seed < 508; ++seed) {
        std::vector<TiltedField> views;
        for (int v = 0; v < 3; ++v)
            views.push_back(MakeField(camera, poses[v], 11, 9, kNoise, seed * 10 + unsigned(v)));
        const ScaleRatioRun run = views[0].run();
        FieldCheckInput input = CheckInput(views[0], camera, run);
        input.views = {views[1].view(), views[2].view()};
        const FieldCheck check = CheckField(input);
        ASSERT_TRUE(check.multiviewRatio);
        EXPECT_EQ(check.viewCount, 3);
        const double ours = std::fabs(*check.multiviewRatio - camera.ratio());
        const double theirs = std::fabs(OpenCvRatio(views, camera) - camera.ratio());
        // Both minimise the same reprojection error: they find the same minimum.
        EXPECT_NEAR(ours, theirs, 2e-5) << seed;
        EXPECT_LT(ours, 4.0 * *check.multiviewRatioSe + 1e-5) << seed;
        EXPECT_GT(*check.multiviewRatioSe, 2e-5);
        EXPECT_LT(*check.multiviewRatioSe, 1e-3);
        EXPECT_NEAR(*check.multiviewFx, camera.fx, 0.02 * camera.fx);
        // The tilt of the run's photograph, from the views' fx.
        EXPECT_TRUE(check.tiltKnown && check.focalFromViews);
        EXPECT_NEAR(check.tiltVerticalDeg, views[0].tiltVerticalDeg(), 0.3);
        EXPECT_NEAR(check.tiltHorizontalDeg, views[0].tiltHorizontalDeg(), 0.3);
        // The run's photograph is tilted by 15 degrees: the plain coefficient is biased.
        EXPECT_TRUE(check.warning);
        oursSum += ours;
        theirsSum += theirs;
        ++trials;
    }
    EXPECT_LE(oursSum / trials, theirsSum / trials + 1e-6);
    EXPECT_LT(oursSum / trials, 4e-4);
}

// The fit keeps the camera it found and the covariance of the parameters it freed: the
// standard errors of fx and fy are those that OpenCV's calibrateCamera states for the same
// minimum, the ratio's error is the covariance's, and what the fit held is not uncertain.
TEST(FieldCheckViews, KeepsTheCameraAndTheCovarianceOfTheFocalLengths) {
    const PinholeCamera camera;
    const FieldPose poses[3] = {{15.0, 5.0, 1.0}, {-5.0, 18.0, -2.0}, {-12.0, -12.0, 4.0}};
    std::vector<TiltedField> views;
    for (int v = 0; v < 3; ++v)
        views.push_back(MakeField(camera, poses[v], 11, 9, kNoise, 900 + unsigned(v)));
    const ScaleRatioRun run = views[0].run();
    FieldCheckInput input = CheckInput(views[0], camera, run);
    input.views = {views[1].view(), views[2].view()};
    input.focal = camera.fx;
    const FieldCheck check = CheckField(input);
    ASSERT_TRUE(check.multiviewCamera && check.multiviewCovariance);
    const Camera& found = *check.multiviewCamera;
    const CameraCovariance& covariance = *check.multiviewCovariance;
    EXPECT_EQ(found.fx(), *check.multiviewFx);
    EXPECT_EQ(found.fy(), *check.multiviewFy);
    EXPECT_EQ(found.cx(), camera.width / 2.0);
    EXPECT_EQ(found.cy(), camera.height / 2.0);
    EXPECT_FALSE(found.HasLens());
    EXPECT_EQ(covariance.RatioStandardError(found), *check.multiviewRatioSe);
    EXPECT_EQ(covariance(CameraParameter::Fx, CameraParameter::Fy),
              covariance(CameraParameter::Fy, CameraParameter::Fx));
    for (CameraParameter held : {CameraParameter::Cx, CameraParameter::Cy, CameraParameter::K1})
        EXPECT_EQ(covariance.StandardError(held), 0.0);

    cv::Mat deviations;
    CalibrateAsOpenCv(views, camera, found.Matrix(), &deviations);
    // OpenCV takes the noise of a coordinate as the squared errors over the count of points
    // less the unknowns; the fit, as over the count of coordinates (two a point) less them.
    const double points = double(3 * views[0].scene.size());
    const double unknowns = 2.0 + 6.0 * 3.0;
    const double convention = std::sqrt((points - unknowns) / (2.0 * points - unknowns));
    for (int c = 0; c < 2; ++c)
        EXPECT_NEAR(covariance.StandardError(c == 0 ? CameraParameter::Fx : CameraParameter::Fy),
                    convention * deviations.at<double>(c), 0.01 * deviations.at<double>(c));
    EXPECT_GT(covariance.StandardError(CameraParameter::Fx), 0.01);

    // The run's own fit freed fx and fy too (fx held to the nominal value by its prior).
    ASSERT_TRUE(check.correctedCamera && check.correctedCovariance);
    EXPECT_EQ(check.correctedCamera->fy() / check.correctedCamera->fx(),
              *check.correctedCoefficient);
    EXPECT_GT(check.correctedCovariance->StandardError(CameraParameter::Fx), 0.0);
    EXPECT_LT(check.correctedCovariance->StandardError(CameraParameter::Fx),
              kFocalUncertainty * camera.fx);
}

TEST(FieldCheckVerdict, WarningExactlyWhenTheBiasExceedsTwiceItsStandardError) {
    const PinholeCamera camera;
    int on = 0;
    int off = 0;
    unsigned seed = 700;
    for (double tilt : {0.0, 1.0, 2.0, 3.0, 4.0, 6.0, 8.0, 12.0}) {
        const Checked c = CheckOne(camera, {tilt, 0.0}, camera.fx, ++seed);
        ASSERT_TRUE(c.check.bias && c.check.biasSe && c.check.reference);
        EXPECT_DOUBLE_EQ(*c.check.bias, c.check.coefficient - *c.check.correctedCoefficient);
        EXPECT_DOUBLE_EQ(*c.check.biasSe, std::hypot(c.check.sem, *c.check.correctedSe));
        EXPECT_EQ(c.check.warning, std::fabs(*c.check.bias) > 2.0 * *c.check.biasSe) << tilt;
        EXPECT_EQ(FieldCheckWarning(c.check).isEmpty(), !c.check.warning);
        (c.check.warning ? on : off)++;
        if (tilt == 0.0) {
            EXPECT_FALSE(c.check.warning);
        }
        if (tilt >= 6.0) {
            EXPECT_TRUE(c.check.warning) << tilt;
        }
    }
    EXPECT_GT(on, 0);
    EXPECT_GT(off, 0);
    const Checked tilted = CheckOne(camera, {10.0, 0.0}, camera.fx, 9);
    EXPECT_TRUE(FieldCheckWarning(tilted.check).startsWith(QStringLiteral("Поле наклонено")));
}

// Among photographs of many poses, two of nearly one pose (as among the frames of a video)
// and the same photograph given twice fail nothing: the set as a whole fixes the focal
// lengths, and the ratio is found as from the set without the repeats.
TEST(FieldCheckViews, PhotographsOfNearlyOnePoseAmongOthersAreNoFault) {
    const PinholeCamera camera;
    const FieldPose poses[4] = {{5.0, 0.0}, {-10.0, 10.0, 2.0}, {12.0, -8.0, -3.0}, {0.0, 15.0}};
    std::vector<TiltedField> views;
    for (int v = 0; v < 4; ++v)
        views.push_back(MakeField(camera, poses[v], 11, 9, kNoise, 40 + unsigned(v)));
    const ScaleRatioRun run = views[0].run();
    FieldCheckInput input = CheckInput(views[0], camera, run);
    input.views = {views[1].view(), views[2].view(), views[3].view()};
    const FieldCheck distinct = CheckField(input);
    ASSERT_TRUE(distinct.multiviewRatio);

    // The first pose photographed again (its own noise) and the third given twice.
    const TiltedField again = MakeField(camera, poses[0], 11, 9, kNoise, 50);
    input.views = {views[1].view(), again.view(), views[2].view(), views[2].view(),
                   views[3].view()};
    const FieldCheck repeated = CheckField(input);
    ASSERT_TRUE(repeated.multiviewRatio);
    EXPECT_EQ(repeated.viewCount, 6);
    EXPECT_NEAR(*repeated.multiviewRatio, camera.ratio(), 4.0 * *repeated.multiviewRatioSe);
    EXPECT_NEAR(*repeated.multiviewRatio, *distinct.multiviewRatio, *distinct.multiviewRatioSe);
    // Two photographs of one tilted pose: its homography alone fixes fx and fy.
    const TiltedField both = MakeField(camera, poses[1], 11, 9, kNoise, 60);
    const ScaleRatioRun bothRun = both.run();
    input = CheckInput(both, camera, bothRun);
    input.views = {MakeField(camera, poses[1], 11, 9, kNoise, 61).view()};
    const FieldCheck twice = CheckField(input);
    ASSERT_TRUE(twice.multiviewRatio);
    EXPECT_NEAR(*twice.multiviewRatio, camera.ratio(), 4.0 * *twice.multiviewRatioSe);
}

// A nominal focal length outside what a camera of the image's size can have (a tenth of
// its diagonal to 100 diagonals) is refused; within it, taken.
TEST(FieldCheckPlausibility, FocalLengthsNoCameraOfThatSizeCanHaveAreRefused) {
    const PinholeCamera camera;
    const FocalRange range = PlausibleFocalLengths(camera.width, camera.height);
    EXPECT_DOUBLE_EQ(range.low, 0.1 * std::hypot(720.0, 576.0));
    EXPECT_DOUBLE_EQ(range.high, 100.0 * std::hypot(720.0, 576.0));
    const TiltedField field = MakeField(camera, {10.0, 5.0}, 11, 9, kNoise, 3);
    const ScaleRatioRun run = field.run();
    FieldCheckInput input = CheckInput(field, camera, run);
    for (double focal : {1.0, 50.0, 92.0, 92300.0, 1e7}) {
        input.focal = focal;
        EXPECT_NE(Message(input).find("невозможно для изображения 720 × 576"), std::string::npos)
            << focal << ": " << Message(input);
    }
    for (double focal : {93.0, 1000.0, 92000.0}) {
        input.focal = focal;
        EXPECT_EQ(Message(input), "no failure") << focal;
    }
}

// A focal length a camera of that size may have but this one has not (a fifth of the
// true one): the fit with it cannot reproduce the points, its corrected value is doubtful,
// and nothing advises it; the true focal length gives the warning and its advice.
TEST(FieldCheckVerdict, AValueWhoseFitDoesNotHoldIsNotAdvised) {
    const PinholeCamera camera;
    const TiltedField field = MakeField(camera, {15.0, 10.0, 2.0}, 11, 9, kNoise, 21);
    const ScaleRatioRun run = field.run();
    FieldCheckInput input = CheckInput(field, camera, run);
    input.focal = camera.fx / 5.0;
    const FieldCheck wrong = CheckField(input);
    ASSERT_TRUE(wrong.correctedCoefficient && wrong.referenceRmsPx);
    EXPECT_GT(*wrong.referenceRmsPx,
              kTrustedRmsFactor * wrong.homographyRmsPx + kTrustedRmsFloorPx);
    EXPECT_TRUE(wrong.referenceDoubtful);
    EXPECT_FALSE(wrong.warning);
    const QString doubt = FieldCheckWarning(wrong);
    EXPECT_TRUE(doubt.startsWith(QStringLiteral("Исправленное значение "))) << doubt.toStdString();
    EXPECT_TRUE(doubt.contains(QStringLiteral("ненадёжно")));
    EXPECT_FALSE(doubt.contains(QStringLiteral("Надёжнее")));

    input.focal = camera.fx;
    const FieldCheck right = CheckField(input);
    EXPECT_FALSE(right.referenceDoubtful);
    EXPECT_TRUE(right.warning);
    EXPECT_TRUE(
        FieldCheckWarning(right).contains(QStringLiteral("Надёжнее исправленное значение")));
}

// Points measured without noise, a field tilted about both axes (its perspective fixes fx)
// and node ratios that all agree: standard errors far below the fourth decimal. A bias the
// four decimals hide warns of nothing; a larger one warns with an error shown in digits
// that are not all zero.
TEST(FieldCheckVerdict, NoNumberOfTheWarningRoundsToZero) {
    const PinholeCamera camera;
    const TiltedField field = MakeField(camera, {8.0, 6.0}, 11, 9, 0.0, 1);
    const ScaleRatioRun run = field.run();
    FieldCheckInput input = CheckInput(field, camera, run);
    input.focal = camera.fx;
    input.sd = 0.0;
    const double reference = *CheckField(input).reference;
    for (double offset : {3e-5, -3e-5, 2e-3}) {
        input.coefficient = reference + offset;
        const FieldCheck check = CheckField(input);
        ASSERT_TRUE(check.bias && check.biasSe);
        EXPECT_LT(*check.biasSe, 1e-6);
        EXPECT_GT(std::fabs(*check.bias), 2.0 * *check.biasSe);
        const QString text = FieldCheckWarning(check);
        if (std::fabs(offset) < kShownBias) {
            EXPECT_FALSE(check.warning) << offset;
            EXPECT_TRUE(text.isEmpty()) << text.toStdString();
        } else {
            EXPECT_TRUE(check.warning);
            EXPECT_TRUE(text.contains(QStringLiteral("смещён на 0.0020,"))) << text.toStdString();
            EXPECT_FALSE(text.contains(QStringLiteral("(0.0000)"))) << text.toStdString();
            EXPECT_TRUE(
                QRegularExpression(QStringLiteral("\\(0\\.0*[1-9]\\d\\)")).match(text).hasMatch())
                << text.toStdString();
        }
    }
}

TEST(FieldCheckDegenerate, PointsOnALineAndSetsThatFixNothingGiveAMessageInsteadOfANumber) {
    const PinholeCamera camera;
    const TiltedField field = MakeField(camera, {5.0, 0.0}, 11, 9, kNoise, 1);
    const ScaleRatioRun run = field.run();

    // All scene points on one line (the image points alike).
    TiltedField line = field;
    for (size_t k = 0; k < line.scene.size(); ++k) {
        line.scene[k] = {double(k), 2.0 * double(k) + 1.0};
    }
    FieldCheckInput input = CheckInput(line, camera, run);
    input.focal = camera.fx;
    EXPECT_NE(Message(input).find("одной прямой"), std::string::npos) << Message(input);
    line = field;
    for (size_t k = 0; k < line.image.size(); ++k)
        line.image[k] = {100.0 + double(k), 50.0};
    input = CheckInput(line, camera, run);
    EXPECT_NE(Message(input).find("Точки изображения лежат"), std::string::npos) << Message(input);

    // The same photograph given again, and that pose photographed again: a field tilted
    // about one axis fixes only one of the focal lengths, however often it is seen.
    input = CheckInput(field, camera, run);
    input.views = {field.view()};
    EXPECT_NE(Message(input).find("не определяют фокусные расстояния"), std::string::npos)
        << Message(input);
    const TiltedField again = MakeField(camera, {5.0, 0.0}, 11, 9, kNoise, 2);
    input.views = {again.view(), again.view()};
    EXPECT_NE(Message(input).find("не определяют фокусные расстояния"), std::string::npos)
        << Message(input);

    // Two fronto-parallel views at different distances: fx is not fixed by them.
    const TiltedField flat1 = MakeField(camera, {}, 11, 9, kNoise, 4);
    TiltedField flat2 = MakeField(camera, {0.0, 0.0, 0.0, 0.1, 0.0}, 11, 9, kNoise, 5);
    const ScaleRatioRun flatRun = flat1.run();
    input = CheckInput(flat1, camera, flatRun);
    input.views = {flat2.view()};
    EXPECT_NE(Message(input).find("не определяют фокусные расстояния"), std::string::npos)
        << Message(input);

    // Too few points, a view whose files differ in length, a focal length of zero.
    input = CheckInput(field, camera, run);
    input.scene = input.scene.first(3);
    input.image = input.image.first(3);
    EXPECT_NE(Message(input).find("не меньше четырёх"), std::string::npos);
    input = CheckInput(field, camera, run);
    FieldView shortView = MakeField(camera, {-10.0, 10.0}, 11, 9, kNoise, 3).view();
    shortView.image.pop_back();
    input.views = {shortView};
    EXPECT_NE(Message(input).find("снимка 2 разное число"), std::string::npos) << Message(input);
    input = CheckInput(field, camera, run);
    input.focal = 0.0;
    EXPECT_NE(Message(input).find("Фокусное расстояние"), std::string::npos);
    input.focal = std::nullopt;
    input.width = 0.0;
    EXPECT_NE(Message(input).find("Размеры изображения"), std::string::npos);
    input.width = 1e300;
    EXPECT_NE(Message(input).find("Размеры изображения"), std::string::npos);
}

} // namespace
} // namespace vrma
