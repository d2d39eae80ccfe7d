#pragma once
// The candidates of a search: the places on a reduced copy of the photograph that may be
// targets, before any grid is made of them, and the look that a place must have to be a
// target of the grid (a chessboard's corner among its four squares, a dot of the grid's
// size).
// - Dots are the connected pieces of the picture darker than their surroundings (one
//   local threshold, one labelling pass) of a dot's shape: their second moments those of a
//   filled ellipse.
// - Chessboard corners are the saddle points of the lightly smoothed picture (the
//   Hessian's determinant negative and the trace small beside it), strongest first.
// Core only: OpenCV.
#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace vrma {

// A candidate target: where, how large (dots: the diameter), how strong (corners: the
// saddle's response).
struct Candidate {
    cv::Point2f at;
    float size = 0.0F;
    float strength = 0.0F;
};

// The dark pieces of a dot's shape: darker than the mean around them (a window of `block`
// pixels), between minArea and maxArea pixels, their second moments those of a filled
// ellipse not more than four times longer than wide, not touching the picture's edge.
std::vector<Candidate> DarkBlobs(const cv::Mat& grey, int block, double minArea, double maxArea);

// The largest pitch a columns x rows grid can have in a picture of this size (filling it).
double LargestPitch(int width, int height, int columns, int rows);

// The saddle points of a smoothed picture, strongest first, at most `keep` of them: where
// the Hessian's determinant is negative and most so within two pixels, with at least 1/200
// of the strongest's response; placed between pixels by a parabola's top.
std::vector<Candidate> Saddles(const cv::Mat& smooth, size_t keep);

// Where a grid's node sees its four neighbours: the steps to the next node along i and
// back, along j and back (from the node to where the neighbour is or is expected).
struct NodeSteps {
    std::array<cv::Point2f, 2> i; // [0]: towards i + 1, [1]: towards i - 1
    std::array<cv::Point2f, 2> j;

    // Steps u and v forward, their mirrors back.
    static NodeSteps Mirrored(cv::Point2f u, cv::Point2f v) { return {{u, -u}, {v, -v}}; }
};

// The four squares around a chessboard's inner corner: two dark on one diagonal and two
// light on the other, every sampled point of each square on its side of the level halfway
// between them; the dark diagonal alternates along the grid. Points outside the picture
// are not looked at (a corner whose outer squares the frame cuts is still one): three
// squares must be seen, of both diagonals, or two of them, the other two cut off by the
// frame, and of a square cut off, its part next to the corner, of its colour (the corner
// of the board's outer square at the frame has the margin there, or nothing of the
// picture).
class CornerLook {
public:
    explicit CornerLook(const cv::Mat& smooth) : smooth_(&smooth) {}

    // The contrast between the diagonals when the place looks like a corner, else 0;
    // `darkFirst`: the squares towards (+i, +j) and (-i, -j) are the dark ones;
    // `squares`, when given: how many of the four were seen.
    float Measure(cv::Point2f at, const NodeSteps& steps, bool& darkFirst,
                  int* squares = nullptr) const;

    // Whether the place is a corner of the grid whose corner (0, 0) has the colouring
    // `darkFirst` and the contrast `contrast`: a quarter of that contrast at least, the
    // colouring alternating with i + j.
    bool Fits(cv::Point2f at, const NodeSteps& steps, int i, int j, bool darkFirst, float contrast,
              int* squares = nullptr) const;

private:
    const cv::Mat* smooth_;
};

} // namespace vrma
