#pragma once
// Walking a lattice of candidate targets (calib/TargetCandidates) node by node, in time
// that grows with the candidates and the nodes and no faster:
// - a spatial index of buckets keeps every look-up local;
// - from a seed and two steps across each other the lattice is walked breadth first; the
//   place of each next node is predicted from the nodes walked around it (rows and columns
//   may be curves: a lens's distortion, a fisheye, bent paper), by the same step taken on
//   the neighbouring lines, or by the steps along its own line with their turn and change
//   of length, and taken to the nearest candidate within 0.3 of a step that the node's
//   check lets pass;
// - a walk is read as the one window of columns x rows (either way round) that it fills,
//   and what it saw is kept for telling the user why no such window was found (a grid of
//   another size, one whose targets the frame's edge cuts, a piece of one).
// Core only: OpenCV.
#include "calib/TargetCandidates.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace vrma {

// A grid as found: `along` points a line, `lines` lines (OpenCV's layout: point k of line
// l is points[l * along + k]); the lines and their direction are the finder's, the
// labelling puts them in the board's order.
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
    // The piece is part of the grid asked for (no larger) and what it lacks of that grid
    // lies past the picture's edge: the lines it lacks can only be beyond a side of it that
    // runs into the edge (beyond its other sides the walk saw no targets, inside the
    // picture), and the targets missing inside it lie at the edge.
    bool cut = false;
    // The distance between neighbouring targets in the piece, pixels of the picture
    // walked (the smallest of the medians along its two directions).
    double pitch = 0.0;
    // How cluttered the picture walked is: its candidates (corners: those a tenth as
    // strong as the strongest at least), and their number per pixel.
    size_t candidates = 0;
    double clutter = 0.0;
};

// The candidates in buckets of a square grid, about one a bucket.
class PointIndex {
public:
    explicit PointIndex(const std::vector<Candidate>& points);

    // The candidate nearest to p within radius, of at least the given strength, that
    // `accept` (when given) lets pass; or -1.
    int Nearest(cv::Point2f p, float radius, float strength = 0.0F,
                const std::function<bool(int)>& accept = {}) const;

    // The `count` candidates nearest to points[self] (not itself) of at least the given
    // strength, nearest first.
    std::vector<int> NearestTo(int self, size_t count, float strength = 0.0F) const;

    const std::vector<Candidate>& points() const { return points_; }

private:
    size_t Bucket(cv::Point2f p) const;
    template <class Visitor> void Visit(cv::Point2f p, float radius, Visitor&& visit) const;

    const std::vector<Candidate>& points_;
    float cell_ = 1.0F;
    float x0_ = 0.0F;
    float y0_ = 0.0F;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<int> start_;
    std::vector<int> order_;
};

// Whether a candidate (its index, where it is) may be the node (i, j) of the grid, seeing
// its neighbours by `steps`, reached from the node of candidate `from` (-1 about a seed).
using NodeCheck = std::function<bool(int candidate, int from, cv::Point2f at,
                                     const NodeSteps& steps, int i, int j)>;

// The settings of a walk.
struct WalkRules {
    NodeCheck check;
    float strength = 0.0F; // the weakest candidate taken
    size_t maxNodes = 0;   // more nodes than this: no grid asked for (overgrown)
};

struct WalkNode {
    int i = 0;
    int j = 0;
    int candidate = -1;
    cv::Point2f at;
    float strength = 0.0F; // the candidate's
};

struct Walk {
    std::vector<WalkNode> nodes;
    std::unordered_map<std::int64_t, int> at; // (i, j) -> node
    bool folded = false;                      // a candidate met at two places
    bool overgrown = false;                   // more nodes than the rules allow

    const WalkNode* Find(int i, int j) const;
};

// The lattice walked from a seed with steps u and v. `owner` (one entry a candidate, -1
// when free) marks the candidates the walk takes, and is given back cleared.
Walk WalkGrid(const PointIndex& index, std::vector<int>& owner, int seed, cv::Point2f u,
              cv::Point2f v, const WalkRules& rules);

// The two steps of the lattice at a seed: to two of its six nearest neighbours (of at
// least the rules' strength), across each other (30 to 150 degrees apart, neither more
// than three times the other), with candidates a step the other way too, that the check
// lets pass there and at the two neighbours; with `block`, the seed's eight neighbours
// must all be there and pass (a piece of grid three by three, which texture hardly ever
// makes). False when there are none.
bool SeedSteps(const PointIndex& index, int seed, const WalkRules& rules, bool block,
               cv::Point2f& u, cv::Point2f& v);

// The one window of columns x rows (either way round) that the walk fills, as a grid; or
// nothing when it fills none or several. Of two windows a line apart, the one without the
// outer line that is much weaker than the rest (the corners of a board's outer squares
// where its margin is narrow or dark may be walked as a line of corners).
std::optional<FoundGrid> TheWindow(const Walk& walk, int columns, int rows);

// What a walk saw of the grid of columns x rows in a picture of the given size, kept in
// `seen` when it is the largest piece so far.
void Sighted(const Walk& walk, int columns, int rows, cv::Size picture, GridSighting& seen);

} // namespace vrma
