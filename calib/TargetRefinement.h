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

#include <array>
#include <vector>

namespace vrma {

// How a measurement ended.
enum class Refined {
    Done,
    AtEdge, // a target at the photograph's very edge: it cannot be measured
    Lost,   // a target not where the grid put it (its measurement ran off, or no dot there)
    // A corner whose saddle point was not found: cornerSubPix gives back the point it
    // started from when a step would leave its window.
    Unmoved,
};

// The distance from each target to its nearest neighbour in a columns x rows grid (k = i *
// rows + j).
std::vector<double> NeighbourSpacing(const std::vector<cv::Point2d>& points, int columns, int rows);

// One corner measured on the 8-bit photograph, in place: its saddle point in a window of
// `window` pixels either side of it (smaller near the photograph's edge). AtEdge when no
// window of 2 pixels fits there; Lost when the saddle lies farther than `reach` from
// where the corner was put (the point is then left as it was); Unmoved when the saddle
// point's search gave up where it started.
Refined RefineCorner(const cv::Mat& grey, cv::Point2d& point, int window, double reach);

// The same saddle point on the pixels of the window that lie outside the given regions of
// the photograph (convex quadrilaterals, grown by `margin` pixels), so that the window
// may reach past what lies near the corner but does not run through it (a ChArUco board's
// markers): the iteration of cornerSubPix, each pixel's gradient weighted by the same
// Gaussian of its distance from the point, on the same lightly smoothed patch.
Refined RefineCornerBeside(const cv::Mat& grey, cv::Point2d& point, int window, double reach,
                           const std::vector<std::array<cv::Point2d, 4>>& away, double margin);

// The corners measured on the 8-bit photograph, in place: each in a window that stays
// inside the four squares around it.
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
