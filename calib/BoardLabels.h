#pragma once
// The stage of a search between the grid found and its measurement: the grid labelled in
// the board's own axes (see calib/TargetDetection.h for the rule). The labelling keeps the
// board's handedness (a print is seen from its front) and picks, of the four quarter turns,
// those that give the board's columns x rows and, for a chessboard, the dark squares where
// the print has them; of those that the look cannot tell apart, the smallest turn. The
// calibration's order (InCalibrationOrder) is declared with the search's other results.
// Core only: OpenCV.
#include "calib/GridWalk.h"
#include "calib/TargetDetection.h"

#include <opencv2/core.hpp>

#include <vector>

namespace vrma {

// The grid labelled in the board's own axes (k = i * rows + j), or false when no quarter
// turn of it has the board's columns and rows. `picture` is the one the grid was found in
// (for the colours of a chessboard's squares).
bool LabelInBoardAxes(const FoundGrid& grid, const cv::Mat& picture, TargetKind kind, int columns,
                      int rows, std::vector<cv::Point2d>& board, BoardTurn& turn);

} // namespace vrma
