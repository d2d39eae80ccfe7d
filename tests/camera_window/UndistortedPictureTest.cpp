// The photograph view's undistorted picture: a dark spot put where the lens shows a known
// ray lands, after undistortion, where the camera without its lens sees that ray, in the
// photograph read whole and read reduced.
#include "app/CameraSaving.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace vrma {
namespace {

// A lens of OpenCV's five terms, and a fisheye (undistorted through cv::fisheye's maps).
std::vector<Camera> Lenses() {
    Camera camera = Camera::Centred(800, 600, 700.0, 704.0);
    camera[CameraParameter::Cx] = 407.5;
    camera[CameraParameter::Cy] = 291.0;
    camera[CameraParameter::K1] = -0.25;
    camera[CameraParameter::K2] = 0.08;
    camera[CameraParameter::P1] = 0.002;
    Camera fisheye = Camera::Centred(800, 600, 400.0, 402.0);
    fisheye.model = CameraModel::Fisheye;
    fisheye[CameraParameter::Cx] = 395.5;
    fisheye[CameraParameter::K1] = 0.03;
    fisheye[CameraParameter::K2] = -0.008;
    return {camera, fisheye};
}

TEST(UndistortedPicture, ASpotMovesWhereTheCameraWithoutItsLensSeesIt) {
    for (const Camera& camera : Lenses())
        for (const double scale : {1.0, 0.5}) {
            SCOPED_TRACE(scale);
            SCOPED_TRACE(CameraModelName(camera));
            // The ray through (0.3, -0.2) on the plane z = 1 of the camera.
            const PlanePoint ray{0.3, -0.2};
            const Pose straight{{0, 0, 0}, {0, 0, 1}};
            const PlanePoint lens = ProjectFieldPoints(camera, straight, std::span(&ray, 1))[0];
            const PlanePoint plain{camera.fx() * ray.x + camera.cx(),
                                   camera.fy() * ray.y + camera.cy()};
            const int width = int(800 * scale);
            const int height = int(600 * scale);
            // A Gaussian spot in the picture's own pixels (centres scaled about the corner).
            const auto scaled = [scale](double v) { return (v + 0.5) * scale - 0.5; };
            QImage picture(width, height, QImage::Format_Grayscale8);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const double d2 =
                        std::pow(x - scaled(lens.x), 2) + std::pow(y - scaled(lens.y), 2);
                    picture.scanLine(y)[x] =
                        uchar(std::lround(255.0 - 200.0 * std::exp(-d2 / 18.0)));
                }
            const QImage out = UndistortedPicture(picture, QSize(800, 600), camera)
                                   .convertToFormat(QImage::Format_Grayscale8);
            ASSERT_EQ(out.size(), picture.size());
            double sum = 0.0, sx = 0.0, sy = 0.0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const double w = std::max(0, 250 - int(out.constScanLine(y)[x]));
                    sum += w;
                    sx += w * x;
                    sy += w * y;
                }
            ASSERT_GT(sum, 0.0);
            EXPECT_NEAR(sx / sum, scaled(plain.x), 0.25);
            EXPECT_NEAR(sy / sum, scaled(plain.y), 0.25);
        }
}

} // namespace
} // namespace vrma
