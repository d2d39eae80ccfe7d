#pragma once
// OpenCV's finders as grid sources of a search, beside our own (calib/GridFinder), each on
// a reduced copy of the photograph: the chessboard by the outlines of its squares
// (findChessboardCorners, with its fast check: without it a picture of texture keeps it
// going for minutes) or by its saddle points (findChessboardCornersSB), dots by
// findCirclesGrid. They find some boards our walk does not (and ours many that they do
// not); they take longer, so that the search asks them only after its own, on copies small
// enough for the time a photograph may take.
// Core only: OpenCV.
#include "calib/GridWalk.h"

#include <opencv2/core.hpp>

#include <optional>

namespace vrma {

// The inner corners of a columns x rows chessboard by the outlines of its squares.
std::optional<FoundGrid> FindByQuads(const cv::Mat& grey, int columns, int rows);

// The same by its saddle points.
std::optional<FoundGrid> FindBySaddles(const cv::Mat& grey, int columns, int rows);

// A symmetric columns x rows grid of dark dots on light paper.
std::optional<FoundGrid> FindByBlobs(const cv::Mat& grey, int columns, int rows);

} // namespace vrma
