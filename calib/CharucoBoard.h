#pragma once
// A ChArUco board (TargetKind::Charuco) as OpenCV's aruco module makes it: the board of
// cv::aruco::CharucoBoard::create(columns + 1, rows + 1, square, marker, dictionary), read
// from that board itself, so that a board printed by any program that uses OpenCV is the
// board searched for. In the board's squares: square (x, y) spans x..x + 1 along the
// board's x axis (to the right on the print) and y..y + 1 along its y axis (down); the
// square (0, 0) at the top left is dark, as is every square whose x + y is even; a light
// square holds a marker, `gap` from each of its edges, the markers numbered row by row
// from the top left; the inner corner in column i, row j (the board's target k = i * rows
// + j) lies at (i + 1, j + 1).
// Core only: OpenCV.
#include "calib/Board.h"

#include <opencv2/core.hpp>

#include <memory>
#include <vector>

namespace cv::aruco {
class Dictionary;
}

namespace vrma {

struct CharucoLayout {
    int columns = 0; // inner corners, as the board is described
    int rows = 0;
    double gap = 0.0; // from a light square's edge to its marker's, squares
    // The square of every marker, by its id.
    std::vector<cv::Point> squares;
    std::shared_ptr<cv::aruco::Dictionary> dictionary;

    // The marker's corners in the board's squares, in the order OpenCV gives a marker's
    // corners: top left, top right, bottom right, bottom left of the marker as printed.
    std::vector<cv::Point2d> MarkerCorners(int id) const;
    // The marker in square (x, y), or -1 (a dark square, or none of the board).
    int MarkerAt(int x, int y) const;

private:
    friend CharucoLayout CharucoLayoutOf(int, int, double, int);
    std::vector<int> at_; // (y * (columns + 1) + x) -> marker or -1
};

// The layout of a board of columns x rows inner corners, its markers `share` of the square
// from OpenCV's predefined dictionary `dictionary`. Throws std::invalid_argument for a
// board that does not pass its check (calib/Board).
CharucoLayout CharucoLayoutOf(int columns, int rows, double share, int dictionary);

// The dark parts of the board as printed, in scene units, the board's top left outer
// corner at (0, 0): its dark squares, and each marker's dark cells (its one-cell border and
// its dark bits), every run of dark cells along a row of cells one rectangle. What
// cv::aruco::CharucoBoard::draw paints dark, at any scale.
struct CharucoDarkParts {
    std::vector<cv::Rect2d> squares;
    std::vector<std::vector<cv::Rect2d>> markers; // by id
};
CharucoDarkParts CharucoDarkCells(const Board& board);

} // namespace vrma
