#pragma once
// The grid source and the labelling of a ChArUco board (calib/CharucoBoard), one stage of
// the search (calib/TargetDetection):
// - the markers: OpenCV's detectMarkers on a copy of the photograph, those of the board
//   kept when one of their neighbours on the board lies where the marker's own outline
//   puts it (a marker read wrong, or one of another board, has none);
// - the corners: each inner corner between two light squares whose markers were found
//   (or one, at the edge of what is seen) is put where the homography of those markers'
//   own corners puts it: a homography of a square or two, which the lens bends too little
//   to matter (OpenCV's interpolation takes one homography for the whole board, which the
//   lens bends);
// - each measured on the photograph by the chessboard's sub-pixel step
//   (calib/TargetRefinement) in a window that stays inside the paper between the corner
//   and the markers, and kept when its four squares are dark and light as printed;
// - labelled by the markers' codes: corner (i, j) is the board's target k = i * rows + j,
//   whatever part of the board is seen and however it is turned.
// Core only: OpenCV.
#include "calib/DetectionFault.h"
#include "calib/TargetDetection.h"

#include <opencv2/core.hpp>

#include <optional>

namespace vrma {

// The corners of a ChArUco board of columns x rows inner corners, its markers `share` of
// the square, from OpenCV's predefined dictionary `dictionary`, in the 8-bit photograph:
// its markers looked for on `copy` (the photograph reduced by a whole factor, or itself),
// the corners measured on the photograph. Nothing when fewer than kFewestCorners are found
// (or all on one line of the board); `record` keeps the most markers and corners seen.
std::optional<BoardTargets> FindCharucoCorners(const cv::Mat& photo, const cv::Mat& copy,
                                               int columns, int rows, double share, int dictionary,
                                               SearchRecord& record);

} // namespace vrma
