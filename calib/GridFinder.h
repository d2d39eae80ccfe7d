#pragma once
// Finding the grid of targets on the reduced copy of a photograph, in time that grows with
// the picture and the number of targets and no faster, whatever the picture shows:
// - the candidates: dots are the connected pieces of the picture darker than their
//   surroundings (one local threshold, one labelling pass) of a dot's shape (their second
//   moments those of a filled ellipse) and of the most common size; chessboard corners
//   are the saddle points of the lightly smoothed picture (the Hessian's determinant
//   negative), strongest first;
// - the lattice: from a seed and its two nearest neighbours across each other (the two
//   lattice directions there), the grid is walked node by node, each step predicted from
//   the steps already taken (perspective bends the grid slowly) and taken to the nearest
//   candidate within 0.3 of a step; a chessboard corner must also have two dark and two
//   light squares around it, diagonally alike and alternating along the grid;
// - the count: the nodes walked must fill exactly one window of columns x rows (either
//   way round). A grid inside a larger one fills several, or (dots) goes on beyond an edge
//   with dots of the same size at most of its places: it is not the grid asked for.
// A spatial index of buckets keeps every search local. The OpenCV finders this replaces
// grow much faster on large grids (findCirclesGrid and SimpleBlobDetector with the square
// of the dots) and on textured pictures (findChessboardCorners with its stray quads).
// Core only: OpenCV.
#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace vrma {

// A grid as found: `along` points a line, `lines` lines (OpenCV's layout: point k of line
// l is points[l * along + k]); the lines and their direction are the walk's, the caller
// puts them in its order.
struct FoundGrid {
    int along = 0;
    int lines = 0;
    std::vector<cv::Point2f> points;
};

// What a search saw of a lattice, for telling the user why no grid of the size asked for
// was found: the largest piece of lattice walked.
struct GridSighting {
    size_t nodes = 0; // its targets
    // Its extent in targets, and whether it fills that rectangle whole (a grid of another
    // size) or in part.
    int along = 0;
    int lines = 0;
    bool whole = false;
    // The lattice runs on beyond the picture's edge: the next target of the piece would lie
    // within half a step of the edge or outside (the field is not all in the picture).
    bool beyondEdge = false;
};

// The columns x rows grid of dark dots on light paper in an 8-bit grey picture (invert
// it for light dots on dark), or nothing; `seen`, when given, gets what the search saw.
std::optional<FoundGrid> FindDotGrid(const cv::Mat& grey, int columns, int rows,
                                     GridSighting* seen = nullptr);

// The columns x rows inner corners of a chessboard in an 8-bit grey picture, or nothing.
std::optional<FoundGrid> FindChessboardGrid(const cv::Mat& grey, int columns, int rows,
                                            GridSighting* seen = nullptr);

// The largest whole factor by which a photograph of width x height may be reduced for the
// search of a columns x rows grid, so that the targets stay about `pixels` apart even
// when the field takes only 0.3 of the photograph's shorter side.
int LargestReduction(int width, int height, int columns, int rows, double pixels);

} // namespace vrma
