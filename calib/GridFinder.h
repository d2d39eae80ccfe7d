#pragma once
// Our own grid source: the grid of targets found on a reduced copy of a photograph by
// walking the lattice of its candidates (calib/TargetCandidates, calib/GridWalk), in time
// that grows with the picture and the number of targets and no faster, whatever the
// picture shows:
// - dots: the dark pieces of a dot's shape and of about the seed's size, walked from seeds
//   in the middle of the picture outwards, each seed the middle of a piece three by three;
// - chessboard corners: the saddle points, walked from the strongest on, each corner with
//   two dark and two light squares around it, diagonally alike and alternating along the
//   grid, and a quarter of the seed's contrast at least;
// - the count: the nodes walked must fill exactly one window of columns x rows (either
//   way round). A grid inside a larger one fills several, or (dots) goes on beyond an edge
//   with dots of the same size at most of its places: it is not the grid asked for.
// The OpenCV finders this stands before (calib/DetectionOpenCv) grow much faster on large
// grids and on textured pictures.
// Core only: OpenCV.
#include "calib/GridWalk.h"

#include <opencv2/core.hpp>

#include <optional>

namespace vrma {

// The columns x rows grid of dark dots on light paper in an 8-bit grey picture (invert
// it for light dots on dark), or nothing; `seen` gets what the search saw when it is more
// than it holds.
std::optional<FoundGrid> FindDotGrid(const cv::Mat& grey, int columns, int rows,
                                     GridSighting* seen = nullptr);

// The columns x rows inner corners of a chessboard in an 8-bit grey picture, or nothing.
std::optional<FoundGrid> FindChessboardGrid(const cv::Mat& grey, int columns, int rows,
                                            GridSighting* seen = nullptr);

// Whether a grid that another source found in the picture is the board asked for: its
// nodes look like targets of one grid with their neighbours where it puts them (a grid
// that skips targets does not), and targets of the same look do not go on a step beyond
// one of its edges at half its places or more (a grid inside a larger one).
bool IsTheBoard(const FoundGrid& grid, const cv::Mat& grey, bool dots);

// The largest whole factor by which a photograph of width x height may be reduced for the
// search of a columns x rows grid, so that the targets stay about `pixels` apart even
// when the field takes only 0.3 of the photograph's shorter side.
int LargestReduction(int width, int height, int columns, int rows, double pixels);

} // namespace vrma
