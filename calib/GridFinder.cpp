#include "calib/GridFinder.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace vrma {

namespace {

// How many candidates are looked at as seeds at most, and how many walks are made.
constexpr int kSeedsLookedAt = 5000;
constexpr int kWalks = 64;

float Norm(cv::Point2f p) {
    return std::sqrt(p.x * p.x + p.y * p.y);
}

// Whether two dots are of a size: neither more than 1.6 times the other (under
// perspective the dots of a grid grow from one side to the other, slowly).
bool OfASize(float a, float b) {
    return a < 1.6F * b && b < 1.6F * a;
}

// A grid of dots found inside a larger one: dots of the size of the edge's go on a step
// beyond one of its edges at half its places or more.
bool DotsGoOn(const FoundGrid& grid, const std::vector<Candidate>& blobs, const PointIndex& index) {
    const auto at = [&](int k, int l) { return grid.points[size_t(l) * size_t(grid.along) + k]; };
    // The edge's nodes and the nodes inside them, `count` of them.
    const auto goesOn = [&](int count, auto&& edge, auto&& inner) {
        int seen = 0;
        for (int n = 0; n < count; ++n) {
            const cv::Point2f step = edge(n) - inner(n);
            const int own = index.Nearest(edge(n), 0.3F * Norm(step));
            const int b = index.Nearest(edge(n) + step, 0.3F * Norm(step));
            if (own >= 0 && b >= 0 && OfASize(blobs[size_t(b)].size, blobs[size_t(own)].size))
                ++seen;
        }
        return seen >= std::max(2, (count + 1) / 2);
    };
    const int a = grid.along;
    const int l = grid.lines;
    return goesOn(
               l, [&](int n) { return at(0, n); }, [&](int n) { return at(1, n); }) ||
           goesOn(
               l, [&](int n) { return at(a - 1, n); }, [&](int n) { return at(a - 2, n); }) ||
           goesOn(
               a, [&](int n) { return at(n, 0); }, [&](int n) { return at(n, 1); }) ||
           goesOn(
               a, [&](int n) { return at(n, l - 1); }, [&](int n) { return at(n, l - 2); });
}

// The dot candidates of a picture searched for a columns x rows grid: darker than the
// mean within twice the largest pitch the grid can have; a dot is less than the picture
// shared out among the targets.
std::vector<Candidate> DotCandidates(const cv::Mat& grey, int columns, int rows) {
    const double pitch = LargestPitch(grey.cols, grey.rows, columns, rows);
    const int block = 2 * int(std::clamp(pitch, 7.0, double(std::max(grey.cols, grey.rows)))) + 1;
    return DarkBlobs(grey, block, 12.0, double(grey.total()) / (double(columns) * double(rows)));
}

// The steps of node (k, l) of a grid to its neighbours, mirrored at the grid's edges.
NodeSteps GridSteps(const FoundGrid& grid, int k, int l) {
    const auto at = [&](int a, int b) { return grid.points[size_t(b) * size_t(grid.along) + a]; };
    const cv::Point2f p = at(k, l);
    const auto steps = [&](bool alongLine) {
        const int n = alongLine ? k : l;
        const int last = alongLine ? grid.along - 1 : grid.lines - 1;
        const auto to = [&](int d) { return alongLine ? at(k + d, l) - p : at(k, l + d) - p; };
        const cv::Point2f forward = n < last ? to(1) : -to(-1);
        const cv::Point2f back = n > 0 ? to(-1) : -to(1);
        return std::array<cv::Point2f, 2>{forward, back};
    };
    return {steps(true), steps(false)};
}

// Whether a chessboard found by another source is the board: nine in ten of its nodes
// look like corners with their neighbours where the grid puts them, their colours
// alternating along the grid (a grid that skips squares, or runs along a larger board's
// diagonal, does not), and no corner of their look goes on a step beyond one of its edges
// at half its places or more, the colours alternating on (a grid inside a larger board).
bool CornersAreTheBoard(const FoundGrid& grid, const cv::Mat& grey) {
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(0, 0), 1.0, 1.0, cv::BORDER_REPLICATE);
    const CornerLook look(smooth);
    const auto at = [&](int k, int l) { return grid.points[size_t(l) * size_t(grid.along) + k]; };
    int corners = 0;
    int agreeing = 0;
    float contrast = 0.0F;
    bool firstOfOrigin = false;
    for (int l = 0; l < grid.lines; ++l) {
        for (int k = 0; k < grid.along; ++k) {
            bool first = false;
            const float measured = look.Measure(at(k, l), GridSteps(grid, k, l), first);
            if (!(measured > 0.0F))
                continue;
            if (corners++ == 0)
                firstOfOrigin = first != (((k + l) & 1) != 0);
            agreeing += first == (firstOfOrigin != (((k + l) & 1) != 0)) ? 1 : 0;
            contrast = std::max(contrast, measured);
        }
    }
    const int nodes = grid.along * grid.lines;
    if (10 * agreeing < 9 * nodes || agreeing != corners)
        return false;
    // Along one edge: nodes (k, l) for n = 0 .. count - 1 given by `node`, the way out
    // (dk, dl).
    const auto goesOn = [&](int count, auto&& node, int dk, int dl) {
        int seen = 0;
        for (int n = 0; n < count; ++n) {
            const auto [k, l] = node(n);
            NodeSteps steps = GridSteps(grid, k, l);
            const cv::Point2f out = at(k, l) - at(k - dk, l - dl);
            bool edgeFirst = false;
            bool beyondFirst = false;
            if (!(look.Measure(at(k, l), steps, edgeFirst) > 0.0F))
                continue;
            // Beyond, the same steps but the way back is the way in.
            auto& along = dk != 0 ? steps.i : steps.j;
            along = {out, -out};
            // All four squares seen: where the frame cuts them, the corners of the board's
            // outer squares look like corners.
            int squares = 0;
            const float beyond = look.Measure(at(k, l) + out, steps, beyondFirst, &squares);
            if (squares == 4 && beyond >= std::max(10.0F, 0.25F * contrast) &&
                beyondFirst != edgeFirst)
                ++seen;
        }
        return seen >= std::max(1, (count + 1) / 2);
    };
    const int a = grid.along;
    const int l = grid.lines;
    using Node = std::pair<int, int>;
    return !(goesOn(
                 l,
                 [&](int n) {
                     return Node{0, n};
                 },
                 -1, 0) ||
             goesOn(
                 l,
                 [&](int n) {
                     return Node{a - 1, n};
                 },
                 1, 0) ||
             goesOn(
                 a,
                 [&](int n) {
                     return Node{n, 0};
                 },
                 0, -1) ||
             goesOn(
                 a,
                 [&](int n) {
                     return Node{n, l - 1};
                 },
                 0, 1));
}

// Whether a grid of dots found by another source is the board: a dot at every node, of
// the size of its neighbours', none halfway between neighbours (a grid that skips dots),
// and none of the edge's size going on beyond an edge (a grid inside a larger one).
bool DotsAreTheBoard(const FoundGrid& grid, const cv::Mat& grey) {
    const std::vector<Candidate> blobs = DotCandidates(grey, grid.along, grid.lines);
    const PointIndex index(blobs);
    std::vector<float> sizes(grid.points.size(), 0.0F);
    for (int l = 0; l < grid.lines; ++l) {
        for (int k = 0; k < grid.along; ++k) {
            const NodeSteps steps = GridSteps(grid, k, l);
            const float step = std::min(Norm(steps.i[0]), Norm(steps.j[0]));
            const size_t n = size_t(l) * size_t(grid.along) + size_t(k);
            const cv::Point2f p = grid.points[n];
            const int dot = index.Nearest(p, 0.3F * step);
            if (dot < 0)
                return false;
            sizes[n] = blobs[size_t(dot)].size;
            if ((k > 0 && !OfASize(sizes[n], sizes[n - 1])) ||
                (l > 0 && !OfASize(sizes[n], sizes[n - size_t(grid.along)])))
                return false;
            // Halfway to the next node along the line and to the next line.
            if (k + 1 < grid.along && index.Nearest(p + 0.5F * steps.i[0], 0.2F * step) >= 0)
                return false;
            if (l + 1 < grid.lines && index.Nearest(p + 0.5F * steps.j[0], 0.2F * step) >= 0)
                return false;
        }
    }
    return !DotsGoOn(grid, blobs, index);
}

} // namespace

bool IsTheBoard(const FoundGrid& grid, const cv::Mat& grey, bool dots) {
    if (grid.along < 2 || grid.lines < 2 ||
        grid.points.size() != size_t(grid.along) * size_t(grid.lines))
        return false;
    return dots ? DotsAreTheBoard(grid, grey) : CornersAreTheBoard(grid, grey);
}

int LargestReduction(int width, int height, int columns, int rows, double pixels) {
    const double pitch = 0.3 * double(std::min(width, height)) / double(std::max(columns, rows));
    return std::max(1, int(std::floor(pitch / pixels)));
}

std::optional<FoundGrid> FindDotGrid(const cv::Mat& grey, int columns, int rows,
                                     GridSighting* seen) {
    if (grey.empty() || grey.type() != CV_8UC1 || columns < 2 || rows < 2)
        return std::nullopt;
    const size_t targets = size_t(columns) * size_t(rows);
    const std::vector<Candidate> blobs = DotCandidates(grey, columns, rows);
    GridSighting sighting;
    sighting.candidates = blobs.size();
    sighting.clutter = double(blobs.size()) / double(grey.total());
    // Too few for the grid: walked only to tell what is there.
    if (blobs.size() < targets && !seen)
        return std::nullopt;
    const PointIndex index(blobs);
    // Seeds from the middle of the picture outwards; a seed's neighbours and the grid's
    // dots of about its size.
    const cv::Point2f middle(0.5F * float(grey.cols - 1), 0.5F * float(grey.rows - 1));
    std::vector<int> seeds(blobs.size());
    for (size_t k = 0; k < blobs.size(); ++k)
        seeds[k] = int(k);
    const auto nearer = [&](int a, int b) {
        return Norm(blobs[size_t(a)].at - middle) < Norm(blobs[size_t(b)].at - middle);
    };
    const size_t looked = std::min(seeds.size(), size_t(kSeedsLookedAt));
    std::partial_sort(seeds.begin(), seeds.begin() + std::ptrdiff_t(looked), seeds.end(), nearer);
    float size = 0.0F;
    WalkRules rules;
    // A dot of the size of the one it is reached from, and within three times the seed's
    // either way.
    rules.check = [&](int c, int from, cv::Point2f, const NodeSteps&, int, int) {
        const float own = blobs[size_t(c)].size;
        return OfASize(own, from >= 0 ? blobs[size_t(from)].size : size) && own > size / 3.0F &&
               own < 3.0F * size;
    };
    rules.maxNodes = 4 * targets + 64;
    std::vector<int> owner(blobs.size(), -1);
    std::vector<bool> walked(blobs.size(), false);
    int walks = 0;
    std::optional<FoundGrid> grid;
    for (size_t n = 0; n < looked && walks < kWalks; ++n) {
        const int seed = seeds[n];
        cv::Point2f u;
        cv::Point2f v;
        size = blobs[size_t(seed)].size;
        if (walked[size_t(seed)] || !SeedSteps(index, seed, rules, true, u, v))
            continue;
        ++walks;
        const Walk walk = WalkGrid(index, owner, seed, u, v, rules);
        for (const WalkNode& node : walk.nodes)
            walked[size_t(node.candidate)] = true;
        Sighted(walk, columns, rows, grey.size(), sighting);
        if (walk.nodes.size() * 2 < targets && !walk.overgrown)
            continue; // a stray piece: try elsewhere
        grid = TheWindow(walk, columns, rows);
        if (grid && DotsGoOn(*grid, blobs, index))
            grid.reset();
        break;
    }
    if (seen)
        *seen = sighting;
    return grid;
}

std::optional<FoundGrid> FindChessboardGrid(const cv::Mat& grey, int columns, int rows,
                                            GridSighting* seen) {
    if (grey.empty() || grey.type() != CV_8UC1 || columns < 2 || rows < 2 || grey.cols < 8 ||
        grey.rows < 8)
        return std::nullopt;
    const size_t targets = size_t(columns) * size_t(rows);
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(0, 0), 1.0, 1.0, cv::BORDER_REPLICATE);
    const std::vector<Candidate> saddles = Saddles(smooth, 8 * targets + 20000);
    if (saddles.size() < targets && !seen)
        return std::nullopt;
    const PointIndex index(saddles);
    const CornerLook look(smooth);
    GridSighting sighting;
    sighting.candidates =
        size_t(std::count_if(saddles.begin(), saddles.end(), [&](const Candidate& c) {
            return c.strength >= 0.1F * saddles.front().strength;
        }));
    sighting.clutter = double(sighting.candidates) / double(grey.total());
    // Seeds from the strongest saddle on: a seed must be a corner, and its contrast and
    // colours then set what the other corners need. At the seed a corner of either
    // colouring; at its neighbours, the other one.
    bool seedFirst = false;
    float contrast = 0.0F;
    bool seeding = true;
    WalkRules rules;
    // A corner whose squares the frame cuts, a saddle a third as strong as its neighbour's
    // at least: the corner of the board's outer square at the frame, which looks much the
    // same, is weaker.
    rules.check = [&](int c, int from, cv::Point2f at, const NodeSteps& steps, int i, int j) {
        int squares = 0;
        if (!seeding) {
            const float ratio =
                from < 0 ? 1.0F : saddles[size_t(c)].strength / saddles[size_t(from)].strength;
            return look.Fits(at, steps, i, j, seedFirst, contrast, &squares) &&
                   ratio >= (squares == 4 ? 0.15F : 0.3F);
        }
        bool first = false;
        if (!(look.Measure(at, steps, first, &squares) >= 10.0F) || squares < 4)
            return false;
        if (i == 0 && j == 0)
            seedFirst = first;
        return first == (seedFirst != (((i + j) & 1) != 0));
    };
    rules.maxNodes = 4 * targets + 64;
    std::vector<int> owner(saddles.size(), -1);
    std::vector<bool> walked(saddles.size(), false);
    int walks = 0;
    std::optional<FoundGrid> grid;
    for (size_t k = 0; k < saddles.size() && k < size_t(kSeedsLookedAt) && walks < kWalks; ++k) {
        cv::Point2f u;
        cv::Point2f v;
        // The grid's corners are about as strong as their neighbours: a twenty-fifth of the
        // seed's at least, a seventh of the neighbour's they are reached from (the light
        // across the field, glare, the blur and the slant vary it with the square of the
        // contrast, slowly).
        rules.strength = 0.04F * saddles[k].strength;
        seeding = true;
        if (walked[k] || !SeedSteps(index, int(k), rules, false, u, v))
            continue;
        ++walks;
        contrast = look.Measure(saddles[k].at, NodeSteps::Mirrored(u, v), seedFirst);
        seeding = false;
        const Walk walk = WalkGrid(index, owner, int(k), u, v, rules);
        for (const WalkNode& n : walk.nodes)
            walked[size_t(n.candidate)] = true;
        Sighted(walk, columns, rows, grey.size(), sighting);
        if (walk.nodes.size() * 2 < targets && !walk.overgrown)
            continue; // a stray piece: try elsewhere
        grid = TheWindow(walk, columns, rows);
        break;
    }
    if (seen)
        *seen = sighting;
    return grid;
}

} // namespace vrma
