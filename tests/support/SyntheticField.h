#pragma once
// Synthetic test fields with a known answer, shared by the tests of the calibration, its
// window and the tools around it. Both point sets list the grid column by column, as the
// coordinate files do: point k is the node of column k / NR and row k % NR.
#include "calib/ScaleRatio.h"
#include "drawing/ScaleRatioPlot.h"

#include <QStringList>
#include <functional>
#include <vector>

namespace vrma::test {

// The ratio wanted at the interior node (column i, row j).
using RatioAt = std::function<double(int i, int j)>;

struct SyntheticField {
    qint32 nc = 0;
    qint32 nr = 0;
    std::vector<PlanePoint> scene;
    std::vector<PlanePoint> image;

    PlanePoint& Scene(int i, int j) { return scene[size_t(i) * size_t(nr) + size_t(j)]; }
    PlanePoint& Image(int i, int j) { return image[size_t(i) * size_t(nr) + size_t(j)]; }
    ScaleRatioRun Run() const { return RunScaleRatio(nc, nr, scene, image); }
    // The run with its plot, as the calibration window makes it.
    PlottedScaleRatio Plotted() const { return RunPlottedScaleRatio(nc, nr, scene, image); }

    // The lines of the two coordinate files ("x ; y", 17 significant digits, ".").
    QStringList SceneLines() const { return Lines(scene); }
    QStringList ImageLines() const { return Lines(image); }
    static QStringList Lines(const std::vector<PlanePoint>& points);
};

// A field built backwards from the ratio wanted at each interior node: the scene grid
// has a step of 10, the image x is the scene x (scale 1 along x), and each column's image
// y is chained so that the central difference at (i, j) is 20 * ratio(i, j) over a scene
// step of 20.
SyntheticField FieldWithRatios(qint32 nc, qint32 nr, const RatioAt& ratio);

// A fronto-parallel pinhole camera at distance 1500 over a slightly irregular grid: the
// image is a scaling by fx / z along x and fy / z along y (y flipped, as in images), so
// every node's ratio is fy / fx.
SyntheticField PinholeField(qint32 nc, qint32 nr, double fx, double fy);

// The ratios wanted, in the order in which a run lists them: row by row, each row from
// left to right.
std::vector<double> RatiosRowByRow(qint32 nc, qint32 nr, const RatioAt& ratio);

} // namespace vrma::test
