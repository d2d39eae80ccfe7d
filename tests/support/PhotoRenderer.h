#pragma once
// Photographs of a printed test field with a known answer, for the tests and benchmarks of
// target detection and of the camera's calibration. A camera (focal lengths fx and fy in
// pixels, a principal point, a lens with OpenCV's Brown-Conrady terms: see calib/Camera.h)
// looks at the field: a chessboard of (NC + 1) x (NR + 1) squares, NC x NR dots of
// diameter pitch / 2, or a ChArUco board of (NC + 1) x (NR + 1) squares as OpenCV's own
// cv::aruco::CharucoBoard::draw paints it, on paper with a margin, lying on a grey table, flat or
// bent as a cylinder. The camera may instead be an equidistant fisheye (r = f theta), its picture a
// circle. Each pixel is the mean of the scene over its square, the square traced back
// through the lens to the field: pixels that an edge crosses are integrated on a 16 x 16
// grid, the others are uniform. Then, in this order: Gaussian blur, uneven lighting and
// vignetting, sensor noise, 8 or 16 bits, grey or colour, JPEG compression. The table may
// be textured with speckle (the hardest background for a grid search).
#include "calib/Camera.h"
#include "calib/TargetDetection.h"
#include "data/PlanePoint.h"

#include <QByteArray>
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

namespace vrma::test {

struct PhotoScene {
    TargetKind kind = TargetKind::Chessboard;
    bool lightOnDark = false; // dots: light dots on a dark field
    int columns = 9;
    int rows = 6;
    double pitch = 20.0; // mm, between columns
    double pitchY = 0.0; // mm, between rows; 0: the pitch
    double margin = 1.0; // paper beyond the outermost squares or dots, in pitches
    // A ChArUco board: its markers' side over the square's, and OpenCV's dictionary.
    double markerShare = 0.75;
    int dictionary = 7; // DICT_5X5_1000

    int width = 1600; // pixels
    int height = 1200;
    double fx = 2000.0;
    double fy = 2007.0; // fy / fx = 1.0035
    double cx = -1.0;   // principal point; negative: the middle of the image
    double cy = -1.0;
    // The lens, as OpenCV defines its terms (calib/Camera.h); all 0: none.
    double k1 = 0.0;
    double k2 = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    double k3 = 0.0;
    double k4 = 0.0; // the rational model's denominator
    double k5 = 0.0;
    double k6 = 0.0;
    // An equidistant fisheye instead: a ray theta from the axis lands f theta_d from the
    // principal point, theta_d = theta (1 + k1 theta^2 + k2 theta^4 + k3 theta^6 +
    // k4 theta^8) (fx and fy its f along each axis; p1, p2, k5, k6 unused), and nothing is
    // seen beyond fisheyeField degrees across (black around the circle).
    bool fisheye = false;
    double fisheyeField = 180.0;
    double fill = 0.75; // the share of the image's width (or height) that the paper takes

    double tiltX = 0.0;  // degrees, the field turned about the camera's x axis
    double tiltY = 0.0;  // degrees, about the camera's y axis
    double roll = 0.0;   // degrees, about the line of sight: any angle (90: the board's x
                         // axis runs down the image)
    double shiftX = 0.0; // the field's middle off the line of sight, a share of the width
    double shiftY = 0.0;
    // The sheet bent as a cylinder about a line along the board's y axis through its
    // middle: the arc its width takes, degrees (positive: its sides bent towards the
    // camera). The targets keep their places on the paper.
    double bend = 0.0;

    double blur = 0.0;     // Gaussian sigma, pixels
    double lighting = 0.0; // the share by which the light falls off across the image
    double vignette = 0.0; // the share of light lost at the image's corners (radially)
    double noise = 0.0;    // sigma, in levels of 255
    bool sixteenBit = false;
    bool colour = false;
    int jpegQuality = 0; // 1..100: JPEG compressed; 0: not
    unsigned seed = 1;
    // The table textured with random speckle: discs of any grey with radii up to this many
    // pixels (below 1: every pixel its own grey); 0: a plain table.
    double speckle = 0.0;
};

// Where a scene puts its targets: the camera, the board's pose and the true projections.
struct SceneTargets {
    Camera camera; // fx, fy, the principal point and the lens of the scene
    Pose pose;     // from the board's frame (its targets at z = 0) to the camera's
    // The targets on the board as printed, scene units, column by column along the
    // board's own x: k = i * rows + j lies at (i * pitch, j * pitchY).
    std::vector<PlanePoint> board;
    // Their projections through the camera and its lens (ProjectFieldPoints), same order.
    std::vector<PlanePoint> boardTruth;
    // The same projections in the calibration's order: its columns are the board's axis
    // that runs more along image x (the board's rows when it is seen turned by a quarter),
    // taken from left to right, each column from top to bottom.
    std::vector<cv::Point2d> truth;
    int truthColumns = 0; // the calibration's columns and rows: the board's, or swapped
    int truthRows = 0;
};

// The targets of a scene without rendering it: cheap, for sets of many views.
SceneTargets TrueTargets(const PhotoScene& scene);

struct RenderedPhoto : SceneTargets {
    cv::Mat image;                   // CV_8U or CV_16U, 1 or 3 channels (BGR)
    std::vector<unsigned char> jpeg; // the JPEG file's bytes when compressed
};

// Where the scene puts other points of the board (scene units, in the targets' frame: the
// target in column i, row j at (i * pitch, j * pitchY)), pixels.
std::vector<PlanePoint> ProjectBoardPoints(const PhotoScene& scene,
                                           const std::vector<PlanePoint>& board);

RenderedPhoto RenderPhoto(const PhotoScene& scene);

// The photograph as a file: the JPEG bytes when it was compressed, otherwise encoded by the
// name's extension (.png, .tif, .bmp). Throws std::runtime_error on failure.
void WritePhoto(const RenderedPhoto& photo, const QString& fileName);

// The root mean square distance between the points found and the truth, pixels (infinity
// when the counts differ).
double RmsError(const std::vector<PlanePoint>& found, const std::vector<cv::Point2d>& truth);

} // namespace vrma::test
