#pragma once
// Target detection: from a photograph of the printed test field to the image points of a
// calibration (data/PointFileWriter writes them, and the board's scene grid, as the two
// coordinate files). A field is a grid of NC columns by NR rows of targets (calib/Board),
// either the inner corners of a chessboard (a board of (NC + 1) x (NR + 1) squares) or a
// symmetric grid of dots. The targets are listed as the calibration reads its grid:
// column by column, the column index growing with image x and the row index with image y,
// so that the k-th image point (k = i * NR + j) and the k-th scene point are one node.
// Core only: OpenCV and Qt Core/Gui, no windows.
#include "calib/Board.h"
#include "data/PlanePoint.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <stdexcept>
#include <vector>

namespace cv {
class Mat;
}

namespace vrma {

// The targets found, in the calibration's order (column by column).
struct DetectedTargets {
    TargetKind kind = TargetKind::Chessboard;
    int columns = 0;
    int rows = 0;
    int imageWidth = 0; // of the photograph, pixels
    int imageHeight = 0;
    std::vector<PlanePoint> points; // columns * rows, k = i * rows + j
};

// The photograph cannot be read (no file, not an image, truncated or damaged, empty, of a
// format not read, too large, more than the memory holds). what() is the Russian message
// for the user, UTF-8.
class PhotoReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The grid of targets is not in the photograph (or not all of it). what(): the one
// Russian message, UTF-8.
class GridNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user stopped a detection.
class DetectionCancelled : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Told the share done, 0..100, between stages of a detection; returns false to stop it
// (DetectTargets then throws DetectionCancelled at the next stage boundary).
using DetectionProgress = std::function<bool(int percent)>;

// Reads a photograph (JPEG, PNG, TIFF or BMP; 8 bits or deeper, grey or colour) into an
// 8-bit grey image, within the bounds of calib/Photograph.h. Throws PhotoReadError.
cv::Mat ReadPhotograph(const QString& fileName);

// Finds the columns x rows targets of the given kind in an 8-bit grey image and returns
// them in the calibration's order. Throws GridNotFound, DetectionCancelled, or
// std::invalid_argument for columns or rows below 2.
DetectedTargets DetectTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionProgress& progress = {});

// How the chessboard is first found on the reduced copy of the photograph: by walking
// its grid of saddle points (calib/GridFinder, in bounded time), or by OpenCV's
// saddle-point finder or its finder of the squares' outlines (kept for the benchmark's
// comparison; neither ends in bounded time on large boards or textured pictures). The
// corners are measured on the photograph itself either way.
enum class ChessboardFinder {
    Grid,
    Saddle,
    Quads,
};

// The settings of a detection; DetectTargets takes the defaults (the benchmark compares).
struct DetectionTuning {
    ChessboardFinder finder = ChessboardFinder::Grid;
    int workingSide = 0; // the reduced copy's longest side, pixels; 0: the default
    // Dots: the rows' pitch over the columns' (the dots are circles on the plane); the
    // perspective correction of their centres takes the grid's steps in this ratio.
    double pitchRatio = 1.0;
};

DetectedTargets DetectTargetsTuned(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                                   const DetectionTuning& tuning,
                                   const DetectionProgress& progress = {});

// ReadPhotograph, then DetectTargets.
DetectedTargets DetectTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionProgress& progress = {});

} // namespace vrma
