// vrma-calib with the lens models beyond OpenCV's five terms, end to end on renders through
// a known lens: the camera written to the OpenCV YAML, read back by OpenCV, maps rays to
// pixels as the true lens does.
#include "batch/CalibProcess.h"
#include "calib/Camera.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
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

} // namespace
