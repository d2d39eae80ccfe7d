#pragma once
// Target detection: from a photograph of the printed test field to the image points of a
// calibration (data/PointFileWriter writes them, and the board's scene grid, as the two
// coordinate files). A field is a grid of NC columns by NR rows of targets (calib/Board),
// either the inner corners of a chessboard (a board of (NC + 1) x (NR + 1) squares, the
// top left one dark) or a symmetric grid of dots, described once, as printed.
//
// The search runs in stages, one way: the photograph read (calib/Photograph) into 8-bit
// grey; reduced copies of it; a grid of targets found on one of them by the first grid
// source of the kind that finds one, in order: our own walk over the candidates
// (calib/GridFinder) on the working copy and on coarser ones (blur and noise shrink with
// the copy), then OpenCV's finders (calib/DetectionOpenCv) on a copy of at most 1280
// pixels a side (640 for the outlines' finder), their grids checked to be the whole board;
// the grid labelled in the board's axes (calib/BoardLabels); the targets measured on the
// photograph itself (calib/TargetRefinement). A grid that cannot be measured hands on to
// the next source. When none finds the board, what the stages saw says why (a
// SearchFault, calib/DetectionFault, worded by the catalogue of data/Messages.h). A new
// finder is one more grid source in the kind's list (TargetDetection.cpp, SourcesOf); a
// new kind of target its sources, its labelling and its measurement.
//
// A photograph may show the board turned by any angle (and tilted). The targets are first
// labelled in the board's own axes (BoardTargets): its x from column to column, its y from
// row to row, as printed, so that one printed target has one index in every photograph.
// The labelling keeps the board's handedness (a print is seen from its front) and picks,
// of the four quarter turns, those that give NC x NR and, for a chessboard, the dark
// squares where the print has them. Where the board's look cannot tell two turns apart (a
// chessboard with NC + NR even looks the same turned by half a round, a square one with NC
// even by a quarter too; dots tell nothing but NC from NR), the smallest turn consistent
// with what is seen is taken: for a calibration a symmetric relabelling is a rigid motion
// of the board like any other, so it does no harm.
//
// The calibration of one photograph (DetectedTargets) lists the targets as it reads its
// grid: column by column, the column index growing with image x and the row index with
// image y, so that the k-th image point (k = i * rows + j) and the k-th scene point are one
// node. Its columns are the board's axis that runs along image x: a board seen turned by a
// quarter has the board's rows as its columns, and the scene grid then takes the pitch of
// that axis (CalibrationScene).
// A ChArUco board (TargetKind::Charuco) is found otherwise: its markers (OpenCV's aruco
// module) tell which corner is which, so a photograph may show any part of it. Its one
// source finds the markers and labels every corner between two of them by their codes
// (calib/CharucoDetection); the corners are measured on the photograph like a
// chessboard's. Its targets are a partial set (BoardTargets::indices), six corners at
// least; the calibration of one photograph takes it only whole.
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

// How a board lies in a photograph: the angle from image x to the board's own x axis,
// clockwise on screen (image y points down), to the nearest quarter: 0, 90, 180 or 270.
// `told`: the board's look tells this turn from the others it could be (see above).
struct BoardTurn {
    int degrees = 0;
    bool told = true;
};

// The grid sources a search asks: all of the kind's, in their order, or one alone (for the
// benchmark's comparison): our walk (calib/GridFinder) on all its copies, or one of
// OpenCV's finders on its copy (calib/DetectionOpenCv: the squares' outlines or the saddle
// points of a chessboard, the blobs of dots). The targets are measured on the photograph
// itself either way.
enum class GridSources {
    All,
    Walk,
    Quads,
    Saddles,
    Blobs,
    Markers, // a ChArUco board's markers (calib/CharucoDetection)
};

// The targets found, labelled in the board's own axes.
struct BoardTargets {
    TargetKind kind = TargetKind::Chessboard;
    int columns = 0; // the board's, as printed
    int rows = 0;
    int imageWidth = 0; // of the photograph, pixels
    int imageHeight = 0;
    // columns * rows: k = i * rows + j is the target in column i, row j of the board.
    std::vector<PlanePoint> points;
    // A ChArUco board seen in part: the board's index k of each point, ascending (points
    // then holds only those seen). Empty: the whole grid, in order.
    std::vector<int> indices;
    BoardTurn turn;
    GridSources foundBy = GridSources::Walk; // the grid source that found the grid

    // Every target of the board is there.
    bool whole() const { return points.size() == size_t(columns) * size_t(rows); }
    // The board's index of point n.
    int IndexOf(size_t n) const { return indices.empty() ? int(n) : indices[n]; }
};

// The targets found, in the calibration's order (column by column).
struct DetectedTargets {
    TargetKind kind = TargetKind::Chessboard;
    int columns = 0; // the calibration's: along image x
    int rows = 0;
    int imageWidth = 0; // of the photograph, pixels
    int imageHeight = 0;
    std::vector<PlanePoint> points; // columns * rows, k = i * rows + j
    BoardTurn turn;
    // The board's columns run along image y (turned by a quarter): columns and rows here
    // are the board's rows and columns.
    bool swapped = false;
};

// The photograph cannot be read (no file, not an image, truncated or damaged, empty, of a
// format not read, too large, more than the memory holds). what() is the Russian message
// for the user, UTF-8.
class PhotoReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The photograph would take more memory than is free: it may still be read once the
// memory others take is given back.
class PhotoMemoryError : public PhotoReadError {
public:
    using PhotoReadError::PhotoReadError;
};

// Why a search did not find the board (or, TurnedAslant, found it where the calibration
// of one photograph cannot take it): what it saw.
enum class SearchFaultKind {
    NotFound,      // nothing that tells more
    OtherSize,     // a whole grid of seenColumns x seenRows targets, as the user counts them
    PartlyOutside, // targets of the board's own grid beyond the photograph's edge
    PieceSeen,     // a piece of a grid, `targets` targets, and no more of it
    TooSmall,      // targets `pixels` apart: too close to be told apart
    TooBlurred,    // edges blurred over `pixels` (sigma) with the targets `spacing` apart
    TurnedAslant,  // a board turned by about 45 degrees
    // A ChArUco board: no marker of its dictionary that belongs to it; fewer than
    // kFewestCorners corners (`targets` of them); or, for the calibration of one photograph,
    // not every corner (`targets` seen).
    NoMarkers,
    FewCorners,
    CornersMissing,
};

struct SearchFault {
    SearchFaultKind kind = SearchFaultKind::NotFound;
    int seenColumns = 0;
    int seenRows = 0;
    int targets = 0;
    double pixels = 0.0;
    double spacing = 0.0;

    static SearchFault Of(SearchFaultKind kind) {
        SearchFault fault;
        fault.kind = kind;
        return fault;
    }
};

// The smallest distance between neighbouring targets, photograph pixels, at which a grid
// is measured.
inline constexpr double kSmallestSpacing = 4.0;
// The fewest corners of a ChArUco board a photograph must show.
inline constexpr int kFewestCorners = 6;

// The grid of targets is not in the photograph (or not all of it), or cannot be taken.
// what(): the Russian message of the fault for the board asked for, UTF-8.
class GridNotFound : public std::runtime_error {
public:
    GridNotFound(const SearchFault& fault, TargetKind kind, int columns, int rows);
    const SearchFault& fault() const { return fault_; }

private:
    SearchFault fault_;
};

// The user stopped a detection.
class DetectionCancelled : public std::runtime_error {
public:
    DetectionCancelled();
};

// Told the share done, 0..100, between stages of a detection; returns false to stop it
// (DetectTargets then throws DetectionCancelled at the next stage boundary).
using DetectionProgress = std::function<bool(int percent)>;

// Reads a photograph (JPEG, PNG, TIFF or BMP; 8 bits or deeper, grey or colour) into an
// 8-bit grey image, within the bounds of calib/Photograph.h. Throws PhotoReadError.
cv::Mat ReadPhotograph(const QString& fileName);

// Finds the columns x rows targets of the given kind (the board's, as printed) in an 8-bit
// grey image, turned any way, and returns them in the calibration's order. Throws
// GridNotFound (its fault says what was seen when it can: a grid of another size, one
// partly outside the photograph, a piece of one, targets too small or too blurred, one
// turned by about 45 degrees, which one photograph cannot be calibrated with),
// DetectionCancelled, or std::invalid_argument for columns or rows below 2.
DetectedTargets DetectTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionProgress& progress = {});

// The settings of a detection; DetectTargets takes the defaults (the benchmark compares).
struct DetectionTuning {
    GridSources sources = GridSources::All;
    int workingSide = 0; // the walk's first copy's longest side, pixels; 0: the default
    // Dots: the board's pitch along y over its pitch along x (the dots are circles on the
    // plane); the perspective correction of their centres takes the grid's steps in this
    // ratio.
    double pitchRatio = 1.0;
    // A ChArUco board: the markers' side over the squares' and OpenCV's dictionary of them.
    double markerShare = kMarkerShare;
    int dictionary = Board{}.dictionary;
};

// The tuning a board asks for: its pitches' ratio and a ChArUco board's markers.
DetectionTuning TuningFor(const Board& board);

DetectedTargets DetectTargetsTuned(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                                   const DetectionTuning& tuning,
                                   const DetectionProgress& progress = {});

// ReadPhotograph, then DetectTargets.
DetectedTargets DetectTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionProgress& progress = {});

// The same search, the targets labelled in the board's own axes, whatever the turn.
// Throws as DetectTargets (but for a board at 45 degrees, which is found).
BoardTargets FindBoardTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionTuning& tuning,
                              const DetectionProgress& progress = {});
// ReadPhotograph, then FindBoardTargets; throws PhotoReadError too.
BoardTargets FindBoardTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionTuning& tuning,
                                    const DetectionProgress& progress = {});

// The targets in the calibration's order (calib/BoardLabels). Throws GridNotFound
// (TurnedAslant) when neither axis of the board runs along image x: the columns would not
// run down the image and the rows to the right; (CornersMissing) for a ChArUco board seen
// in part.
DetectedTargets InCalibrationOrder(const BoardTargets& targets);

// The scene grid that pairs with the targets in the calibration's order, for the board
// they were found for: X = i * (the pitch of the board's axis along image x), Y = j * the
// other, column by column.
std::vector<PlanePoint> CalibrationScene(const Board& board, const DetectedTargets& targets);

} // namespace vrma
