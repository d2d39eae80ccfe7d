#include "calib/GridFinder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <opencv2/imgproc.hpp>
#include <unordered_map>

namespace vrma {

namespace {

// A candidate target: where, how large (dots: the diameter), how strong (corners: the
// saddle's response).
struct Candidate {
    cv::Point2f at;
    float size = 0.0F;
    float strength = 0.0F;
};

// How many candidates are looked at as seeds at most, and how many walks are made.
constexpr int kSeedsLookedAt = 5000;
constexpr int kWalks = 32;
// A step is taken to the nearest candidate within this share of the step predicted.
constexpr float kStepTolerance = 0.3F;

float Norm(cv::Point2f p) {
    return std::sqrt(p.x * p.x + p.y * p.y);
}

float Cross(cv::Point2f a, cv::Point2f b) {
    return a.x * b.y - a.y * b.x;
}

// ---- the spatial index --------------------------------------------------------------

// The candidates in buckets of a square grid, about one a bucket.
class PointIndex {
public:
    explicit PointIndex(const std::vector<Candidate>& points) : points_(points) {
        if (points.empty())
            return;
        float x0 = points[0].at.x;
        float y0 = points[0].at.y;
        float x1 = x0;
        float y1 = y0;
        for (const Candidate& c : points) {
            x0 = std::min(x0, c.at.x);
            y0 = std::min(y0, c.at.y);
            x1 = std::max(x1, c.at.x);
            y1 = std::max(y1, c.at.y);
        }
        const double area = std::max(1.0, double(x1 - x0 + 1.0F) * double(y1 - y0 + 1.0F));
        cell_ = float(std::max(1.0, std::sqrt(area / double(points.size()))));
        x0_ = x0;
        y0_ = y0;
        columns_ = int((x1 - x0) / cell_) + 1;
        rows_ = int((y1 - y0) / cell_) + 1;
        start_.assign(size_t(columns_) * size_t(rows_) + 1, 0);
        for (const Candidate& c : points)
            ++start_[Bucket(c.at) + 1];
        for (size_t b = 1; b < start_.size(); ++b)
            start_[b] += start_[b - 1];
        order_.resize(points.size());
        std::vector<int> next(start_.begin(), start_.end() - 1);
        for (size_t k = 0; k < points.size(); ++k)
            order_[size_t(next[Bucket(points[k].at)]++)] = int(k);
    }

    // The candidate nearest to p within radius, of at least the given strength; or -1.
    int Nearest(cv::Point2f p, float radius, float strength = 0.0F) const {
        int best = -1;
        float bestSquare = radius * radius;
        Visit(p, radius, [&](int k) {
            if (points_[size_t(k)].strength < strength)
                return;
            const cv::Point2f d = points_[size_t(k)].at - p;
            const float square = d.x * d.x + d.y * d.y;
            if (square <= bestSquare) {
                bestSquare = square;
                best = k;
            }
        });
        return best;
    }

    // The `count` candidates nearest to points_[self] (not itself) of at least the given
    // strength, nearest first.
    std::vector<int> NearestTo(int self, size_t count, float strength = 0.0F) const {
        const cv::Point2f p = points_[size_t(self)].at;
        std::vector<std::pair<float, int>> found;
        for (float radius = 2.0F * cell_;; radius *= 2.0F) {
            found.clear();
            Visit(p, radius, [&](int k) {
                if (k == self || points_[size_t(k)].strength < strength)
                    return;
                const cv::Point2f d = points_[size_t(k)].at - p;
                const float square = d.x * d.x + d.y * d.y;
                if (square <= radius * radius)
                    found.emplace_back(square, k);
            });
            if (found.size() >= count || radius > cell_ * float(columns_ + rows_))
                break;
        }
        std::sort(found.begin(), found.end());
        std::vector<int> nearest;
        for (size_t n = 0; n < found.size() && n < count; ++n)
            nearest.push_back(found[n].second);
        return nearest;
    }

private:
    size_t Bucket(cv::Point2f p) const {
        const int cx = std::clamp(int((p.x - x0_) / cell_), 0, columns_ - 1);
        const int cy = std::clamp(int((p.y - y0_) / cell_), 0, rows_ - 1);
        return size_t(cy) * size_t(columns_) + size_t(cx);
    }

    template <class Visitor> void Visit(cv::Point2f p, float radius, Visitor&& visit) const {
        if (points_.empty() || !(radius >= 0.0F) || !std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        const auto clampCell = [](float v, int n) {
            return int(std::clamp(std::floor(v), -1.0F, float(n)));
        };
        const int cx0 = std::max(0, clampCell((p.x - radius - x0_) / cell_, columns_));
        const int cx1 = std::min(columns_ - 1, clampCell((p.x + radius - x0_) / cell_, columns_));
        const int cy0 = std::max(0, clampCell((p.y - radius - y0_) / cell_, rows_));
        const int cy1 = std::min(rows_ - 1, clampCell((p.y + radius - y0_) / cell_, rows_));
        for (int cy = cy0; cy <= cy1; ++cy) {
            for (int cx = cx0; cx <= cx1; ++cx) {
                const size_t b = size_t(cy) * size_t(columns_) + size_t(cx);
                for (int n = start_[b]; n < start_[b + 1]; ++n)
                    visit(order_[size_t(n)]);
            }
        }
    }

    const std::vector<Candidate>& points_;
    float cell_ = 1.0F;
    float x0_ = 0.0F;
    float y0_ = 0.0F;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<int> start_;
    std::vector<int> order_;
};

// ---- the walk -----------------------------------------------------------------------

// Whether a candidate (its index, where it is) may be the node (i, j) of the grid, its
// steps to the next nodes along i and j being u and v.
using NodeCheck =
    std::function<bool(int candidate, cv::Point2f at, cv::Point2f u, cv::Point2f v, int i, int j)>;

struct Node {
    int i = 0;
    int j = 0;
    int candidate = -1;
    cv::Point2f at;
    cv::Point2f u; // the step to the next node along i
    cv::Point2f v; // along j
};

std::int64_t Key(int i, int j) {
    return (std::int64_t(i) << 32) ^ std::int64_t(std::uint32_t(j));
}

struct Walk {
    std::vector<Node> nodes;
    std::unordered_map<std::int64_t, int> at; // (i, j) -> node
    bool folded = false;                      // a candidate met at two places
    bool overgrown = false;                   // more nodes than any grid asked for
    bool beyondEdge = false;                  // a node not taken at the picture's edge
};

// A node predicted there cannot be seen whole: outside the picture, or within `reach` of
// a step of its edge.
bool AtTheEdge(cv::Point2f at, cv::Point2f step, cv::Size picture, float reach) {
    const float margin = reach * Norm(step);
    return !(at.x >= margin && at.y >= margin && at.x <= float(picture.width - 1) - margin &&
             at.y <= float(picture.height - 1) - margin);
}

// The grid walked from a seed with steps u and v: breadth first, each node's neighbours
// predicted from its own steps, the step along the way walked renewed at every node.
Walk WalkGrid(const std::vector<Candidate>& candidates, const PointIndex& index,
              std::vector<int>& owner, int seed, cv::Point2f u, cv::Point2f v,
              const NodeCheck& check, size_t maxNodes, float strength, cv::Size picture,
              float edgeReach) {
    Walk walk;
    walk.nodes.push_back({0, 0, seed, candidates[size_t(seed)].at, u, v});
    walk.at.emplace(Key(0, 0), 0);
    owner[size_t(seed)] = 0;
    const std::array<std::array<int, 2>, 4> directions{{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}};
    for (size_t q = 0; q < walk.nodes.size() && !walk.folded && !walk.overgrown; ++q) {
        // The node's steps are renewed by every neighbour it has, walked before or now:
        // under strong perspective the step across the way the node was reached turns
        // and shrinks from node to node.
        Node node = walk.nodes[q];
        for (const auto& [di, dj] : directions) {
            const int ni = node.i + di;
            const int nj = node.j + dj;
            if (const auto known = walk.at.find(Key(ni, nj)); known != walk.at.end()) {
                const cv::Point2f to = walk.nodes[size_t(known->second)].at - node.at;
                (di != 0 ? node.u : node.v) = to * float(di != 0 ? di : dj);
                continue;
            }
            const cv::Point2f step = di != 0 ? node.u * float(di) : node.v * float(dj);
            const int c = index.Nearest(node.at + step, kStepTolerance * Norm(step), strength);
            if (c < 0) {
                walk.beyondEdge =
                    walk.beyondEdge || AtTheEdge(node.at + step, step, picture, edgeReach);
                continue;
            }
            if (owner[size_t(c)] >= 0) {
                walk.folded = true;
                break;
            }
            const cv::Point2f at = candidates[size_t(c)].at;
            cv::Point2f nu = node.u;
            cv::Point2f nv = node.v;
            if (di != 0)
                nu = (at - node.at) * float(di);
            else
                nv = (at - node.at) * float(dj);
            if (!check(c, at, nu, nv, ni, nj)) {
                walk.beyondEdge = walk.beyondEdge || AtTheEdge(at, step, picture, edgeReach);
                continue;
            }
            owner[size_t(c)] = int(walk.nodes.size());
            walk.at.emplace(Key(ni, nj), int(walk.nodes.size()));
            walk.nodes.push_back({ni, nj, c, at, nu, nv});
            node.u = nu;
            node.v = nv;
            if (walk.nodes.size() > maxNodes) {
                walk.overgrown = true;
                break;
            }
        }
    }
    return walk;
}

// The smallest window of grid steps that holds every node of a walk: its first column and
// row, its width and height.
struct WalkExtent {
    int i0 = 0;
    int j0 = 0;
    std::int64_t w = 1;
    std::int64_t h = 1;
};

WalkExtent Extent(const Walk& walk) {
    int i0 = 0;
    int i1 = 0;
    int j0 = 0;
    int j1 = 0;
    for (const Node& n : walk.nodes) {
        i0 = std::min(i0, n.i);
        i1 = std::max(i1, n.i);
        j0 = std::min(j0, n.j);
        j1 = std::max(j1, n.j);
    }
    return {i0, j0, std::int64_t(i1) - i0 + 1, std::int64_t(j1) - j0 + 1};
}

// The one window of columns x rows (either way round) that the walk fills, as a grid; or
// nothing when it fills none or several.
std::optional<FoundGrid> TheWindow(const Walk& walk, int columns, int rows) {
    if (walk.folded || walk.overgrown)
        return std::nullopt;
    const WalkExtent extent = Extent(walk);
    const int i0 = extent.i0;
    const int j0 = extent.j0;
    const std::int64_t w = extent.w;
    const std::int64_t h = extent.h;
    // A grid is compact: a walk that sprawls far beyond its nodes is none.
    if (w * h > 16 * std::int64_t(walk.nodes.size()) + 64)
        return std::nullopt;
    // Summed occupancy: the nodes in [0, a) x [0, b).
    std::vector<int> sum(size_t((w + 1) * (h + 1)), 0);
    const auto s = [&](std::int64_t a, std::int64_t b) -> int& {
        return sum[size_t(b * (w + 1) + a)];
    };
    for (const Node& n : walk.nodes)
        s(n.i - i0 + 1, n.j - j0 + 1) = 1;
    for (std::int64_t b = 1; b <= h; ++b)
        for (std::int64_t a = 1; a <= w; ++a)
            s(a, b) += s(a - 1, b) + s(a, b - 1) - s(a - 1, b - 1);
    std::optional<FoundGrid> found;
    int windows = 0;
    const std::array<std::array<int, 2>, 2> shapes{{{columns, rows}, {rows, columns}}};
    for (size_t shape = 0; shape < (columns == rows ? 1U : 2U); ++shape) {
        const int along = shapes[shape][0];
        const int lines = shapes[shape][1];
        for (std::int64_t b = 0; b + lines <= h; ++b) {
            for (std::int64_t a = 0; a + along <= w; ++a) {
                const int inside =
                    s(a + along, b + lines) - s(a, b + lines) - s(a + along, b) + s(a, b);
                if (inside != along * lines)
                    continue;
                if (++windows > 1)
                    return std::nullopt;
                FoundGrid grid;
                grid.along = along;
                grid.lines = lines;
                grid.points.reserve(size_t(along) * size_t(lines));
                for (int l = 0; l < lines; ++l)
                    for (int k = 0; k < along; ++k)
                        grid.points.push_back(
                            walk.nodes[size_t(walk.at.at(Key(int(i0 + a + k), int(j0 + b + l))))]
                                .at);
                found = std::move(grid);
            }
        }
    }
    return found;
}

// What a walk saw, kept when it is the largest so far.
void Sighted(const Walk& walk, GridSighting* seen) {
    if (!seen || walk.nodes.size() <= seen->nodes)
        return;
    const WalkExtent extent = Extent(walk);
    const std::int64_t w = extent.w;
    const std::int64_t h = extent.h;
    const bool whole = !walk.folded && !walk.overgrown && w * h == std::int64_t(walk.nodes.size());
    *seen = {walk.nodes.size(), int(std::min<std::int64_t>(w, INT_MAX)),
             int(std::min<std::int64_t>(h, INT_MAX)), whole, walk.beyondEdge};
}

// The two steps of the grid at a seed: to two of its six nearest neighbours (of at least
// the given strength), across each other (30 to 150 degrees apart, neither more than
// three times the other), with candidates a step the other way too, that the check lets
// pass there and at the two neighbours; with `block`, the seed's eight neighbours must all
// be there and pass (a piece of grid three by three, which texture hardly ever makes).
// False when there are none.
bool SeedSteps(const std::vector<Candidate>& candidates, const PointIndex& index, int seed,
               const NodeCheck& check, float strength, bool block, cv::Point2f& u, cv::Point2f& v) {
    const cv::Point2f p = candidates[size_t(seed)].at;
    const std::vector<int> near = index.NearestTo(seed, 6, strength);
    for (size_t a = 0; a < near.size(); ++a) {
        for (size_t b = a + 1; b < near.size(); ++b) {
            const cv::Point2f su = candidates[size_t(near[a])].at - p;
            const cv::Point2f sv = candidates[size_t(near[b])].at - p;
            const float lu = Norm(su);
            const float lv = Norm(sv);
            if (!(lu > 0.0F) || lv > 3.0F * lu || std::abs(Cross(su, sv)) < 0.5F * lu * lv)
                continue;
            if (index.Nearest(p - su, kStepTolerance * lu, strength) < 0 ||
                index.Nearest(p - sv, kStepTolerance * lv, strength) < 0)
                continue;
            if (!check(seed, p, su, sv, 0, 0) || !check(near[a], p + su, su, sv, 1, 0) ||
                !check(near[b], p + sv, su, sv, 0, 1))
                continue;
            bool whole = true;
            for (int i = -1; i <= 1 && block && whole; ++i) {
                for (int j = -1; j <= 1 && whole; ++j) {
                    const cv::Point2f at = p + float(i) * su + float(j) * sv;
                    const int c = index.Nearest(at, kStepTolerance * std::min(lu, lv), strength);
                    whole = c >= 0 && check(c, at, su, sv, i, j);
                }
            }
            if (!whole)
                continue;
            u = su;
            v = sv;
            return true;
        }
    }
    return false;
}

// ---- dots ---------------------------------------------------------------------------

// The value below which the share of the picture's pixels lies.
int Percentile(const cv::Mat& grey, double share) {
    std::array<std::int64_t, 256> histogram{};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[row[x]];
    }
    const double wanted = share * double(grey.total());
    double seen = 0.0;
    for (int value = 0; value < 256; ++value) {
        seen += double(histogram[size_t(value)]);
        if (seen >= wanted)
            return value;
    }
    return 255;
}

// The dark pieces of a dot's shape: darker than the mean around them (a window of twice
// the largest pitch the grid can have), between minArea and maxArea pixels, their second
// moments those of a filled ellipse not more than four times longer than wide, not
// touching the picture's edge.
std::vector<Candidate> DarkBlobs(const cv::Mat& grey, int block, double minArea, double maxArea) {
    const int offset = std::max(4, (Percentile(grey, 0.99) - Percentile(grey, 0.01)) / 20);
    cv::Mat dark;
    cv::adaptiveThreshold(grey, dark, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV, block,
                          offset);
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(dark, labels, stats, centroids, 8, CV_32S);
    std::vector<Candidate> blobs;
    for (int label = 1; label < count; ++label) {
        const int area = stats.at<int>(label, cv::CC_STAT_AREA);
        const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
        const int top = stats.at<int>(label, cv::CC_STAT_TOP);
        const int width = stats.at<int>(label, cv::CC_STAT_WIDTH);
        const int height = stats.at<int>(label, cv::CC_STAT_HEIGHT);
        if (area < minArea || area > maxArea || left == 0 || top == 0 ||
            left + width == grey.cols || top + height == grey.rows)
            continue;
        const double cx = centroids.at<double>(label, 0);
        const double cy = centroids.at<double>(label, 1);
        double xx = 0.0;
        double yy = 0.0;
        double xy = 0.0;
        for (int y = top; y < top + height; ++y) {
            const int* row = labels.ptr<int>(y);
            for (int x = left; x < left + width; ++x) {
                if (row[x] != label)
                    continue;
                const double dx = x - cx;
                const double dy = y - cy;
                xx += dx * dx;
                yy += dy * dy;
                xy += dx * dy;
            }
        }
        // The pixels' own extent (1/12 a side) belongs to a filled shape too.
        xx = xx / area + 1.0 / 12.0;
        yy = yy / area + 1.0 / 12.0;
        xy /= area;
        const double det = xx * yy - xy * xy;
        const double half = 0.5 * (xx + yy);
        const double root = std::sqrt(std::max(0.0, half * half - det));
        const double major = half + root;
        const double minor = half - root;
        if (!(det > 0.0) || minor < 0.0625 * major)
            continue; // more than four times longer than wide
        // A filled ellipse of these moments has the area 4 pi sqrt(det).
        const double fill = double(area) / (4.0 * std::numbers::pi * std::sqrt(det));
        if (fill < 0.8 || fill > 1.25)
            continue;
        blobs.push_back({cv::Point2f(float(cx), float(cy)),
                         float(2.0 * std::sqrt(double(area) / std::numbers::pi)), 0.0F});
    }
    return blobs;
}

// The largest pitch a columns x rows grid can have in a picture of this size (filling it).
double LargestPitch(int width, int height, int columns, int rows) {
    const auto pitch = [&](int along, int down) {
        return std::min(double(width) / std::max(1, along - 1),
                        double(height) / std::max(1, down - 1));
    };
    return std::max(pitch(columns, rows), pitch(rows, columns));
}

// A grid of dots found inside a larger one: dots of its size go on a step beyond one of
// its edges at half its places or more.
bool GoesOnBeyondAnEdge(const FoundGrid& grid, const std::vector<Candidate>& blobs,
                        const PointIndex& index) {
    std::vector<float> sizes;
    for (const cv::Point2f& p : grid.points) {
        const int b = index.Nearest(p, 2.0F);
        if (b >= 0)
            sizes.push_back(blobs[size_t(b)].size);
    }
    if (sizes.empty())
        return false;
    std::nth_element(sizes.begin(), sizes.begin() + std::ptrdiff_t(sizes.size() / 2), sizes.end());
    const float size = sizes[sizes.size() / 2];
    const auto at = [&](int k, int l) { return grid.points[size_t(l) * size_t(grid.along) + k]; };
    // The edge's nodes and the nodes inside them, `count` of them.
    const auto goesOn = [&](int count, auto&& edge, auto&& inner) {
        int seen = 0;
        for (int n = 0; n < count; ++n) {
            const cv::Point2f step = edge(n) - inner(n);
            const int b = index.Nearest(edge(n) + step, kStepTolerance * Norm(step));
            if (b >= 0 && blobs[size_t(b)].size > 0.6F * size &&
                blobs[size_t(b)].size < 1.6F * size)
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

// ---- chessboard corners -------------------------------------------------------------

// The value of an 8-bit picture at a point between pixels; NaN outside it.
float Sample(const cv::Mat& image, cv::Point2f p) {
    const float x = p.x;
    const float y = p.y;
    if (!(x >= 0.0F && y >= 0.0F && x <= float(image.cols - 1) && y <= float(image.rows - 1)))
        return std::numeric_limits<float>::quiet_NaN();
    const int x0 = std::min(int(x), std::max(0, image.cols - 2));
    const int y0 = std::min(int(y), std::max(0, image.rows - 2));
    const int x1 = std::min(x0 + 1, image.cols - 1);
    const int y1 = std::min(y0 + 1, image.rows - 1);
    const float fx = x - float(x0);
    const float fy = y - float(y0);
    const uchar* r0 = image.ptr<uchar>(y0);
    const uchar* r1 = image.ptr<uchar>(y1);
    return (float(r0[x0]) * (1.0F - fx) + float(r0[x1]) * fx) * (1.0F - fy) +
           (float(r1[x0]) * (1.0F - fx) + float(r1[x1]) * fx) * fy;
}

// The four squares around a corner: the middle of each and four points 60 % of the way
// from it to the square's corners. A chessboard's inner corner has two dark squares on
// one diagonal and two light on the other, every point of each square on its side of the
// level halfway between them; the dark diagonal alternates along the grid.
struct CornerCheck {
    const cv::Mat* smooth = nullptr;
    bool darkFirst = false; // at (0, 0): the squares towards +u+v and -u-v are the dark ones
    float contrast = 0.0F;  // at (0, 0)

    // The contrast between the diagonals when the corner is one, else 0; `darkFirst`
    // says which diagonal is dark.
    float Measure(cv::Point2f at, cv::Point2f u, cv::Point2f v, bool& first) const {
        const std::array<std::array<float, 2>, 4> squares{{{1, 1}, {-1, -1}, {1, -1}, {-1, 1}}};
        std::array<std::array<float, 5>, 4> values{};
        for (size_t q = 0; q < 4; ++q) {
            const cv::Point2f middle = at + 0.5F * (squares[q][0] * u + squares[q][1] * v);
            values[q][0] = Sample(*smooth, middle);
            size_t n = 1;
            for (const float a : {-0.3F, 0.3F})
                for (const float b : {-0.3F, 0.3F})
                    values[q][n++] = Sample(*smooth, middle + a * u + b * v);
            for (const float value : values[q])
                if (std::isnan(value))
                    return 0.0F;
        }
        const float one = 0.5F * (values[0][0] + values[1][0]);
        const float other = 0.5F * (values[2][0] + values[3][0]);
        const float level = 0.5F * (one + other);
        first = one < other;
        for (size_t q = 0; q < 4; ++q) {
            const bool darkSquare = (q < 2) == first;
            for (const float value : values[q])
                if ((value < level) != darkSquare)
                    return 0.0F;
        }
        return std::abs(one - other);
    }

    bool operator()(cv::Point2f at, cv::Point2f u, cv::Point2f v, int i, int j) const {
        bool first = false;
        const float measured = Measure(at, u, v, first);
        if (!(measured >= std::max(10.0F, 0.25F * contrast)))
            return false;
        return first == (darkFirst != (((i + j) & 1) != 0));
    }
};

// The saddle points of the smoothed picture, strongest first, at most `keep` of them:
// where the Hessian's determinant is negative and most so within two pixels, with at
// least 1/200 of the strongest's response; placed between pixels by a parabola's top.
// Worked out in bands of rows, so that the derivatives never take more than a band.
std::vector<Candidate> Saddles(const cv::Mat& smooth, size_t keep) {
    constexpr int kBand = 128;
    constexpr int kMargin = 4; // the derivatives' reach (1) and the peaks' (2), and some
    std::vector<Candidate> saddles;
    float strongest = 0.0F;
    cv::Mat xx;
    cv::Mat yy;
    cv::Mat xy;
    cv::Mat response;
    cv::Mat peaks;
    const cv::Mat box = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    for (int top = 0; top < smooth.rows; top += kBand) {
        const int from = std::max(0, top - kMargin);
        const int to = std::min(smooth.rows, top + kBand + kMargin);
        const cv::Mat band = smooth.rowRange(from, to);
        cv::Sobel(band, xx, CV_16S, 2, 0, 3);
        cv::Sobel(band, yy, CV_16S, 0, 2, 3);
        cv::Sobel(band, xy, CV_16S, 1, 1, 3);
        response.create(band.size(), CV_32F);
        for (int y = 0; y < band.rows; ++y) {
            const short* a = xx.ptr<short>(y);
            const short* b = yy.ptr<short>(y);
            const short* c = xy.ptr<short>(y);
            float* r = response.ptr<float>(y);
            for (int x = 0; x < band.cols; ++x) {
                // A balanced saddle: the determinant negative and the trace small beside
                // it, which keeps the corners (where the trace vanishes) and drops the
                // points along an edge, where noise makes the determinant negative beside
                // a large trace.
                const float fa = a[x];
                const float fb = b[x];
                const float fc = c[x];
                r[x] = fc * fc - fa * fb - 0.25F * (fa + fb) * (fa + fb);
            }
        }
        cv::dilate(response, peaks, box);
        const int last = std::min(smooth.rows, top + kBand);
        for (int y = std::max(top, 2); y < last && y + 2 < smooth.rows; ++y) {
            const int local = y - from;
            const float* r = response.ptr<float>(local);
            const float* up = response.ptr<float>(local - 1);
            const float* down = response.ptr<float>(local + 1);
            const float* m = peaks.ptr<float>(local);
            for (int x = 2; x + 2 < band.cols; ++x) {
                if (!(r[x] > 0.0F) || r[x] < m[x] || r[x] < strongest / 200.0F)
                    continue;
                strongest = std::max(strongest, r[x]);
                const auto vertex = [](float before, float here, float after) {
                    const float curve = before - 2.0F * here + after;
                    return curve < 0.0F ? std::clamp(0.5F * (before - after) / curve, -0.5F, 0.5F)
                                        : 0.0F;
                };
                saddles.push_back({cv::Point2f(float(x) + vertex(r[x - 1], r[x], r[x + 1]),
                                               float(y) + vertex(up[x], r[x], down[x])),
                                   0.0F, r[x]});
            }
        }
        // Those below 1/200 of the strongest so far go now and then.
        if (saddles.size() > 4 * keep) {
            const float floor = strongest / 200.0F;
            saddles.erase(std::remove_if(saddles.begin(), saddles.end(),
                                         [&](const Candidate& c) { return c.strength < floor; }),
                          saddles.end());
            if (saddles.size() > 2 * keep) {
                std::nth_element(
                    saddles.begin(), saddles.begin() + std::ptrdiff_t(keep), saddles.end(),
                    [](const Candidate& a, const Candidate& b) { return a.strength > b.strength; });
                saddles.resize(keep);
            }
        }
    }
    const float floor = strongest / 200.0F;
    saddles.erase(std::remove_if(saddles.begin(), saddles.end(),
                                 [&](const Candidate& c) { return c.strength < floor; }),
                  saddles.end());
    std::sort(saddles.begin(), saddles.end(),
              [](const Candidate& a, const Candidate& b) { return a.strength > b.strength; });
    if (saddles.size() > keep)
        saddles.resize(keep);
    return saddles;
}

} // namespace

int LargestReduction(int width, int height, int columns, int rows, double pixels) {
    const double pitch = 0.3 * double(std::min(width, height)) / double(std::max(columns, rows));
    return std::max(1, int(std::floor(pitch / pixels)));
}

std::optional<FoundGrid> FindDotGrid(const cv::Mat& grey, int columns, int rows,
                                     GridSighting* seen) {
    if (grey.empty() || grey.type() != CV_8UC1 || columns < 2 || rows < 2)
        return std::nullopt;
    const size_t targets = size_t(columns) * size_t(rows);
    const double pitch = LargestPitch(grey.cols, grey.rows, columns, rows);
    const int block = 2 * int(std::clamp(pitch, 7.0, double(std::max(grey.cols, grey.rows)))) + 1;
    // A dot is less than the field shared out among the targets.
    const std::vector<Candidate> blobs =
        DarkBlobs(grey, block, 12.0, double(grey.total()) / double(targets));
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
    const NodeCheck alike = [&](int c, cv::Point2f, cv::Point2f, cv::Point2f, int, int) {
        return blobs[size_t(c)].size > 0.6F * size && blobs[size_t(c)].size < 1.6F * size;
    };
    std::vector<int> owner(blobs.size(), -1);
    std::vector<bool> walked(blobs.size(), false);
    int walks = 0;
    for (size_t n = 0; n < looked && walks < kWalks; ++n) {
        const int seed = seeds[n];
        cv::Point2f u;
        cv::Point2f v;
        size = blobs[size_t(seed)].size;
        if (walked[size_t(seed)] || !SeedSteps(blobs, index, seed, alike, 0.0F, true, u, v))
            continue;
        ++walks;
        // A dot whose middle is within half a step of the edge may touch it.
        const Walk walk = WalkGrid(blobs, index, owner, seed, u, v, alike, 4 * targets + 64, 0.0F,
                                   grey.size(), 0.5F);
        for (const Node& node : walk.nodes) {
            walked[size_t(node.candidate)] = true;
            owner[size_t(node.candidate)] = -1;
        }
        Sighted(walk, seen);
        if (walk.nodes.size() * 2 < targets && !walk.overgrown)
            continue; // a stray piece: try elsewhere
        std::optional<FoundGrid> grid = TheWindow(walk, columns, rows);
        if (grid && GoesOnBeyondAnEdge(*grid, blobs, index))
            return std::nullopt;
        return grid;
    }
    return std::nullopt;
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
    // Seeds from the strongest saddle on: a seed must be a corner, and its contrast and
    // colours then set what the other corners need.
    CornerCheck seedCheck;
    seedCheck.smooth = &smooth;
    // At the seed: a corner of either colouring; at its two neighbours, the other one.
    bool seedFirst = false;
    const NodeCheck isCorner = [&](int, cv::Point2f at, cv::Point2f u, cv::Point2f v, int i,
                                   int j) {
        bool first = false;
        if (!(seedCheck.Measure(at, u, v, first) >= 10.0F))
            return false;
        if (i == 0 && j == 0)
            seedFirst = first;
        return first == (seedFirst != (((i + j) & 1) != 0));
    };
    std::vector<int> owner(saddles.size(), -1);
    std::vector<bool> walked(saddles.size(), false);
    int walks = 0;
    for (size_t k = 0; k < saddles.size() && k < size_t(kSeedsLookedAt) && walks < kWalks; ++k) {
        cv::Point2f u;
        cv::Point2f v;
        // The grid's corners are about as strong as each other: a tenth of the seed's at
        // least (the light across the field, the blur and the slant vary).
        const float strength = 0.1F * saddles[k].strength;
        if (walked[k] || !SeedSteps(saddles, index, int(k), isCorner, strength, false, u, v))
            continue;
        ++walks;
        CornerCheck check = seedCheck;
        check.contrast = check.Measure(saddles[k].at, u, v, check.darkFirst);
        const NodeCheck corner = [&check](int, cv::Point2f at, cv::Point2f su, cv::Point2f sv,
                                          int i, int j) { return check(at, su, sv, i, j); };
        // A corner's squares are looked at up to 0.8 of a step away.
        const Walk walk = WalkGrid(saddles, index, owner, int(k), u, v, corner, 4 * targets + 64,
                                   strength, grey.size(), 0.85F);
        for (const Node& n : walk.nodes) {
            walked[size_t(n.candidate)] = true;
            owner[size_t(n.candidate)] = -1;
        }
        Sighted(walk, seen);
        if (walk.nodes.size() * 2 < targets && !walk.overgrown)
            continue; // a stray piece: try elsewhere
        return TheWindow(walk, columns, rows);
    }
    return std::nullopt;
}

} // namespace vrma
