#pragma once
// Photographs of a tilted planar test field taken by a pinhole camera of known fx, fy and
// principal point, with the field tilted by known angles and a known measurement noise:
// the known answers of the field check's tests.
//
// The field has NC x NR targets `step` apart, centred on the optical axis; the scene
// points are listed column by column like the program's files (x from column to column,
// y from row to row, y up). The camera looks at it from `distance`, chosen so that the
// field spans about 70 % of the image width, after turning it by `tiltVerticalDeg`
// about the camera's vertical axis and then by `tiltHorizontalDeg` about its horizontal
// axis (and `rollDeg` about the optical axis first).
#include "calib/FieldCheck.h"
#include "calib/ScaleRatio.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace vrma::test {

struct PinholeCamera {
    double fx = 1000.0;
    double fy = 1003.5;
    double width = 720.0;
    double height = 576.0;
    double ratio() const { return fy / fx; }
};

struct FieldPose {
    double tiltVerticalDeg = 0.0;
    double tiltHorizontalDeg = 0.0;
    double rollDeg = 0.0;
    double shiftX = 0.0; // of the field's centre, in units of the field's width
    double shiftY = 0.0;
};

struct TiltedField {
    int nc = 11;
    int nr = 9;
    std::vector<PlanePoint> scene;
    std::vector<PlanePoint> image;
    // The field's normal in camera coordinates (toward the camera), as the camera saw it.
    double normal[3] = {0.0, 0.0, 1.0};

    FieldView view() const { return FieldView{scene, image}; }
    ScaleRatioRun run() const { return RunScaleRatio(nc, nr, scene, image); }
    // The tilts as the field check defines them, from the true normal.
    double tiltVerticalDeg() const {
        return std::atan2(normal[0], normal[2]) * 180.0 / std::numbers::pi;
    }
    double tiltHorizontalDeg() const {
        return std::atan2(normal[1], normal[2]) * 180.0 / std::numbers::pi;
    }
};

inline TiltedField MakeField(const PinholeCamera& camera, const FieldPose& pose, int nc, int nr,
                             double noisePx, unsigned seed, double step = 20.0) {
    TiltedField field;
    field.nc = nc;
    field.nr = nr;
    const double rad = std::numbers::pi / 180.0;
    const double v = pose.tiltVerticalDeg * rad;
    const double h = pose.tiltHorizontalDeg * rad;
    const double q = pose.rollDeg * rad;
    // R = Rx(h) * Ry(v) * Rz(q) * diag(1, -1, -1): the field's y up, facing the camera.
    const double rz[3][3] = {
        {std::cos(q), -std::sin(q), 0}, {std::sin(q), std::cos(q), 0}, {0, 0, 1}};
    const double ry[3][3] = {
        {std::cos(v), 0, std::sin(v)}, {0, 1, 0}, {-std::sin(v), 0, std::cos(v)}};
    const double rx[3][3] = {
        {1, 0, 0}, {0, std::cos(h), -std::sin(h)}, {0, std::sin(h), std::cos(h)}};
    const double flip[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    auto mul = [](const double a[3][3], const double b[3][3], double out[3][3]) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                out[r][c] = 0.0;
                for (int k = 0; k < 3; ++k)
                    out[r][c] += a[r][k] * b[k][c];
            }
    };
    double t1[3][3], t2[3][3], rot[3][3];
    mul(rz, flip, t1);
    mul(ry, t1, t2);
    mul(rx, t2, rot);
    for (int k = 0; k < 3; ++k)
        field.normal[k] = -rot[k][2]; // the field's -z faces the camera
    const double widthMm = (nc - 1) * step;
    const double distance = camera.fx * widthMm / (0.7 * camera.width);
    const double cx = camera.width / 2.0;
    const double cy = camera.height / 2.0;
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, noisePx);
    for (int i = 0; i < nc; ++i)
        for (int j = 0; j < nr; ++j) {
            const double x = (i - (nc - 1) / 2.0) * step;
            const double y = (j - (nr - 1) / 2.0) * step;
            double p[3];
            for (int r = 0; r < 3; ++r)
                p[r] = rot[r][0] * x + rot[r][1] * y;
            p[0] += pose.shiftX * widthMm;
            p[1] += pose.shiftY * widthMm;
            p[2] += distance;
            field.scene.push_back({x, y});
            field.image.push_back({camera.fx * p[0] / p[2] + cx + noise(random),
                                   camera.fy * p[1] / p[2] + cy + noise(random)});
        }
    return field;
}

// The field check's input for the field's own calibration.
inline FieldCheckInput CheckInput(const TiltedField& field, const PinholeCamera& camera,
                                  const ScaleRatioRun& run) {
    FieldCheckInput input;
    input.scene = field.scene;
    input.image = field.image;
    input.width = camera.width;
    input.height = camera.height;
    input.coefficient = run.coefficient;
    input.sd = run.sd;
    input.n = qint64(run.ratios.size());
    return input;
}

} // namespace vrma::test
