// vrma-calib with the lens models beyond OpenCV's five terms, end to end on renders through
// a known lens: the camera written to the OpenCV YAML, read back by OpenCV, maps rays to
// pixels as the true lens does.
#include "batch/CalibProcess.h"
#include "calib/Camera.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <string>

using namespace vrma;

namespace {

struct ReadCamera {
    std::string model;
    cv::Matx33d matrix;
    std::vector<double> distortion;
};

ReadCamera ReadYaml(const QString& file) {
    cv::FileStorage storage(file.toStdString(), cv::FileStorage::READ);
    ReadCamera camera;
    EXPECT_TRUE(storage.isOpened());
    if (!storage.isOpened())
        return camera;
    storage["distortion_model"] >> camera.model;
    cv::Mat matrix, distortion;
    storage["camera_matrix"] >> matrix;
    storage["distortion_coefficients"] >> distortion;
    camera.matrix = cv::Matx33d(matrix);
    camera.distortion.assign(distortion.begin<double>(), distortion.end<double>());
    return camera;
}

// Rays out to where a board of the set reaches (a share `reach` of the half-frame), at unit
// distance, in the camera's frame.
std::vector<cv::Point3d> Rays(const Camera& truth, double reach) {
    std::vector<cv::Point3d> rays;
    const double hx = reach * 0.5 * truth.width / truth.fx();
    const double hy = reach * 0.5 * truth.height / truth.fy();
    for (double s = -1.0; s <= 1.0; s += 0.25)
        for (double t = -1.0; t <= 1.0; t += 0.25)
            rays.emplace_back(s * hx, t * hy, 1.0);
    return rays;
}

class VrmaCalibLensModels : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // The renders of the scenes, written as files, with the arguments of the board.
    QStringList Render(const std::vector<test::PhotoScene>& scenes) const {
        QStringList arguments;
        for (const QString& file : test::WriteScenes(temp.path(), scenes))
            arguments << QStringLiteral("--photo") << file;
        return arguments << QStringLiteral("--target") << QStringLiteral("chessboard")
                         << QStringLiteral("--columns") << QString::number(scenes[0].columns)
                         << QStringLiteral("--rows") << QString::number(scenes[0].rows)
                         << QStringLiteral("--pitch") << QStringLiteral("20");
    }

    QTemporaryDir temp;
};

// A wide lens of OpenCV's rational model, its denominator holding the barrel back toward
// the frame's corners: eight coefficients in the YAML, the rays land where the true lens
// puts them.
TEST_F(VrmaCalibLensModels, RationalLensWrittenWithEightCoefficientsAndFoundAsTrue) {
    const test::PhotoScene lens = test::WideRationalLens();
    const QString yaml = path(QStringLiteral("c.yml"));
    const test::CalibResult run =
        test::RunCalib(Render(test::CornerScenes(lens, 12, 5))
                       << QStringLiteral("--model") << QStringLiteral("rational")
                       << QStringLiteral("--camera-yaml") << yaml);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const ReadCamera read = ReadYaml(yaml);
    EXPECT_EQ(read.model, "rational_polynomial");
    ASSERT_EQ(read.distortion.size(), 8u);
    const Camera truth = test::TrueTargets(lens).camera;
    EXPECT_LT(std::abs(read.matrix(0, 2) - truth.cx()), 1.0);
    EXPECT_LT(std::abs(read.matrix(1, 2) - truth.cy()), 1.0);
    const std::vector<cv::Point3d> rays = Rays(truth, 0.7);
    std::vector<cv::Point2d> found, known;
    cv::projectPoints(rays, cv::Vec3d(), cv::Vec3d(), read.matrix, read.distortion, found);
    cv::projectPoints(rays, cv::Vec3d(), cv::Vec3d(), truth.Matrix(), truth.Distortion(), known);
    for (size_t k = 0; k < rays.size(); ++k)
        EXPECT_LT(cv::norm(found[k] - known[k]), 0.3) << k;
}

// An equidistant fisheye of 200 degrees: the YAML names it as cv::fisheye's users expect,
// with its four terms, and cv::fisheye's own projection with them puts the rays where the
// true lens does; ROS's camera_info names it too.
TEST_F(VrmaCalibLensModels, FisheyeWrittenForCvFisheyeAndFoundAsTrue) {
    test::PhotoScene lens;
    lens.width = 1024;
    lens.height = 768;
    lens.fisheye = true;
    lens.fisheyeField = 200.0;
    lens.fx = 300.0;
    lens.fy = 301.0;
    lens.cx = 0.5 * (lens.width - 1) + 6.0;
    lens.cy = 0.5 * (lens.height - 1) - 4.0;
    lens.k1 = 0.02;
    lens.k2 = -0.005;
    lens.k3 = 0.001;
    lens.blur = 0.8;
    lens.noise = 1.0;
    const QString yaml = path(QStringLiteral("c.yml"));
    const QString ros = path(QStringLiteral("ros.yaml"));
    const test::CalibResult run = test::RunCalib(
        Render(test::CornerScenes(lens, 12, 7))
        << QStringLiteral("--model") << QStringLiteral("fisheye") << QStringLiteral("--camera-yaml")
        << yaml << QStringLiteral("--ros-yaml") << ros);
    ASSERT_EQ(run.code, 0) << run.err.toStdString() << run.out.toStdString();
    const ReadCamera read = ReadYaml(yaml);
    EXPECT_EQ(read.model, "equidistant");
    ASSERT_EQ(read.distortion.size(), 4u);
    const Camera truth = test::TrueTargets(lens).camera;
    EXPECT_LT(std::abs(read.matrix(0, 2) - truth.cx()), 1.0);
    EXPECT_LT(std::abs(read.matrix(1, 2) - truth.cy()), 1.0);
    std::vector<cv::Point3d> rays;
    for (double degrees = 0.0; degrees <= 60.0; degrees += 10.0)
        for (double phi = 0.0; phi < 6.0; phi += 1.1) {
            const double theta = degrees * CV_PI / 180.0;
            rays.emplace_back(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                              std::cos(theta));
        }
    std::vector<cv::Point2d> found;
    cv::fisheye::projectPoints(rays, found, cv::Vec3d(), cv::Vec3d(), read.matrix, read.distortion);
    for (size_t k = 0; k < rays.size(); ++k) {
        const PlanePoint known = ProjectPoint(truth, cv::Vec3d(rays[k]));
        EXPECT_LT(std::hypot(found[k].x - known.x, found[k].y - known.y), 0.3) << k;
    }
    QFile info(ros);
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = info.readAll().split('\n');
    EXPECT_TRUE(lines.contains("distortion_model: equidistant"));
}

} // namespace
