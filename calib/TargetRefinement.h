#pragma once
// The last stage of a search: the targets of a grid found on a reduced copy measured on the
// photograph itself.
// - A chessboard corner: the saddle point by cornerSubPix in a window that stays inside the
//   four squares around it (and inside the photograph, for a corner near its edge), on a
//   lightly smoothed patch of the photograph.
// - A dot: the centroid of its coverage, the coverage running linearly from 0 on the paper
//   to 1 inside the dot, so that a blurred or anti-aliased edge counts by the share of the
//   dot in each pixel; then moved by the perspective offset between the middle of the
//   dot's image (an ellipse, from the grid's homography) and the image of its middle.
// Core only: OpenCV.
#include <opencv2/core.hpp>

#include <vector>

namespace vrma {

// How a measurement ended.
enum class Refined {
    Done,
    AtEdge, // a target at the photograph's very edge: it cannot be measured
    Lost,   // a target not where the grid put it (its measurement ran off, or no dot there)
};

// The distance from each target to its nearest neighbour in a columns x rows grid (k = i *
// rows + j).
std::vector<double> NeighbourSpacing(const std::vector<cv::Point2d>& points, int columns, int rows);

// The corners measured on the 8-bit photograph, in place.
Refined RefineCorners(const cv::Mat& grey, std::vector<cv::Point2d>& points,
                      const std::vector<double>& spacing);

// The dark dots measured on the 8-bit photograph (invert it for light dots), in place, the
// perspective taken out with the grid's steps in the ratio of the board's pitches.
Refined RefineDots(const cv::Mat& grey, std::vector<cv::Point2d>& points,
                   const std::vector<double>& spacing, int columns, int rows, double pitchRatio);

// How blurred the photograph is around a grid of chessboard corners: the Gaussian sigma,
// pixels, that the sharpest edges between neighbouring corners show (their contrast over
// their steepest gradient); 0 when it cannot be told.
double EdgeBlur(const cv::Mat& grey, const std::vector<cv::Point2d>& points, int columns, int rows);

} // namespace vrma
