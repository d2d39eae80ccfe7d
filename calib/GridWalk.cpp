#include "calib/GridWalk.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <complex>

namespace vrma {

namespace {

// A step is taken to a candidate within this share of the step predicted.
constexpr float kStepTolerance = 0.3F;
constexpr float kBackTolerance = 0.45F;

float Norm(cv::Point2f p) {
    return std::sqrt(p.x * p.x + p.y * p.y);
}

float Cross(cv::Point2f a, cv::Point2f b) {
    return a.x * b.y - a.y * b.x;
}

std::int64_t Key(int i, int j) {
    return (std::int64_t(i) << 32) ^ std::int64_t(std::uint32_t(j));
}

// The step s1 turned and scaled as it was from s0 to s1 (the next step on a line that
// bends and shortens evenly), within a turn of 30 degrees and a change of 0.6 to 1.6.
cv::Point2f Continued(cv::Point2f s0, cv::Point2f s1) {
    const std::complex<float> a(s0.x, s0.y);
    const std::complex<float> b(s1.x, s1.y);
    if (!(std::abs(a) > 0.0F))
        return s1;
    std::complex<float> ratio = b / a;
    const float length = std::clamp(std::abs(ratio), 0.6F, 1.6F);
    const float angle = std::clamp(std::arg(ratio), -0.52F, 0.52F);
    ratio = std::polar(length, angle);
    const std::complex<float> next = b * ratio;
    return {next.real(), next.imag()};
}

// A place where the next node is expected, and the step that leads there.
struct Prediction {
    cv::Point2f at;
    cv::Point2f step;
};

// Where the neighbour (i + di, j + dj) of a node is expected, best guesses first: the same
// step taken on the lines on both sides (their mean), the steps along the node's own line
// continued with their turn and change, the step on one neighbouring line continued
// across the lines, the plain step before, and the node's own step.
std::vector<Prediction> Predict(const Walk& walk, const WalkNode& node, cv::Point2f ownStep, int di,
                                int dj) {
    std::vector<Prediction> out;
    const cv::Point2f p = node.at;
    const auto add = [&](cv::Point2f step) {
        for (const Prediction& q : out)
            if (Norm(q.step - step) < 0.1F * Norm(step))
                return;
        out.push_back({p + step, step});
    };
    const int pi = dj != 0 ? 1 : 0; // across the way walked
    const int pj = di != 0 ? 1 : 0;
    const auto across = [&](int s, int far, cv::Point2f& step) {
        const WalkNode* a = walk.Find(node.i + far * s * pi, node.j + far * s * pj);
        const WalkNode* b = walk.Find(node.i + di + far * s * pi, node.j + dj + far * s * pj);
        if (!a || !b)
            return false;
        step = b->at - a->at;
        return true;
    };
    std::array<cv::Point2f, 2> side{};
    std::array<bool, 2> known{};
    for (int s = 0; s < 2; ++s)
        known[size_t(s)] = across(s == 0 ? 1 : -1, 1, side[size_t(s)]);
    if (known[0] && known[1])
        add(0.5F * (side[0] + side[1]));
    const WalkNode* before = walk.Find(node.i - di, node.j - dj);
    const WalkNode* twoBefore = before ? walk.Find(node.i - 2 * di, node.j - 2 * dj) : nullptr;
    if (before && twoBefore)
        add(Continued(before->at - twoBefore->at, p - before->at));
    for (int s = 0; s < 2; ++s) {
        cv::Point2f farther;
        if (known[size_t(s)] && across(s == 0 ? 1 : -1, 2, farther))
            add(side[size_t(s)] + (side[size_t(s)] - farther));
    }
    for (int s = 0; s < 2; ++s)
        if (known[size_t(s)])
            add(side[size_t(s)]);
    if (before)
        add(p - before->at);
    add(ownStep);
    return out;
}

// A node's steps along i and j, renewed from the neighbours it has walked.
struct OwnSteps {
    cv::Point2f u;
    cv::Point2f v;
};

OwnSteps Renewed(const Walk& walk, const WalkNode& node, OwnSteps steps) {
    const auto step = [&](int di, int dj, cv::Point2f& out) {
        if (const WalkNode* next = walk.Find(node.i + di, node.j + dj)) {
            out = (next->at - node.at) * float(di + dj);
            return true;
        }
        return false;
    };
    if (!step(1, 0, steps.u))
        step(-1, 0, steps.u);
    if (!step(0, 1, steps.v))
        step(0, -1, steps.v);
    return steps;
}

// The steps from a place taken for node (i, j) to its four neighbours: to those walked,
// where they are; to one not walked, the way back to the one across mirrored, or the
// steps given.
NodeSteps StepsAround(const Walk& walk, int i, int j, cv::Point2f at, const OwnSteps& steps) {
    const auto axis = [&](int di, int dj, cv::Point2f own) {
        const WalkNode* forward = walk.Find(i + di, j + dj);
        const WalkNode* back = walk.Find(i - di, j - dj);
        if (forward && back)
            return std::array<cv::Point2f, 2>{forward->at - at, back->at - at};
        if (forward)
            return std::array<cv::Point2f, 2>{forward->at - at, at - forward->at};
        if (back)
            return std::array<cv::Point2f, 2>{at - back->at, back->at - at};
        return std::array<cv::Point2f, 2>{own, -own};
    };
    return {axis(1, 0, steps.u), axis(0, 1, steps.v)};
}

// The smallest window of grid steps that holds every node of a walk.
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
    for (const WalkNode& n : walk.nodes) {
        i0 = std::min(i0, n.i);
        i1 = std::max(i1, n.i);
        j0 = std::min(j0, n.j);
        j1 = std::max(j1, n.j);
    }
    return {i0, j0, std::int64_t(i1) - i0 + 1, std::int64_t(j1) - j0 + 1};
}

} // namespace

// ---- the spatial index --------------------------------------------------------------

PointIndex::PointIndex(const std::vector<Candidate>& points) : points_(points) {
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

size_t PointIndex::Bucket(cv::Point2f p) const {
    const int cx = std::clamp(int((p.x - x0_) / cell_), 0, columns_ - 1);
    const int cy = std::clamp(int((p.y - y0_) / cell_), 0, rows_ - 1);
    return size_t(cy) * size_t(columns_) + size_t(cx);
}

template <class Visitor>
void PointIndex::Visit(cv::Point2f p, float radius, Visitor&& visit) const {
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

int PointIndex::Nearest(cv::Point2f p, float radius, float strength,
                        const std::function<bool(int)>& accept) const {
    std::array<std::pair<float, int>, 8> near{};
    size_t count = 0;
    Visit(p, radius, [&](int k) {
        if (points_[size_t(k)].strength < strength)
            return;
        const cv::Point2f d = points_[size_t(k)].at - p;
        const float square = d.x * d.x + d.y * d.y;
        if (square > radius * radius)
            return;
        if (count < near.size()) {
            near[count++] = {square, k};
            return;
        }
        auto farthest = std::max_element(near.begin(), near.end());
        if (square < farthest->first)
            *farthest = {square, k};
    });
    // Nearest first (a handful: by insertion).
    for (size_t n = 1; n < count; ++n)
        for (size_t m = n; m > 0 && near[m] < near[m - 1]; --m)
            std::swap(near[m], near[m - 1]);
    for (size_t n = 0; n < count; ++n)
        if (!accept || accept(near[n].second))
            return near[n].second;
    return -1;
}

std::vector<int> PointIndex::NearestTo(int self, size_t count, float strength) const {
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

// ---- the walk -----------------------------------------------------------------------

const WalkNode* Walk::Find(int i, int j) const {
    const auto found = at.find(Key(i, j));
    return found == at.end() ? nullptr : &nodes[size_t(found->second)];
}

Walk WalkGrid(const PointIndex& index, std::vector<int>& owner, int seed, cv::Point2f u,
              cv::Point2f v, const WalkRules& rules) {
    const std::vector<Candidate>& candidates = index.points();
    Walk walk;
    std::vector<OwnSteps> own;
    walk.nodes.push_back(
        {0, 0, seed, candidates[size_t(seed)].at, candidates[size_t(seed)].strength});
    own.push_back({u, v});
    walk.at.emplace(Key(0, 0), 0);
    owner[size_t(seed)] = 0;
    const std::array<std::array<int, 2>, 4> directions{{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}};
    for (size_t q = 0; q < walk.nodes.size() && !walk.folded && !walk.overgrown; ++q) {
        const WalkNode node = walk.nodes[q];
        const OwnSteps steps = Renewed(walk, node, own[q]);
        for (const auto& direction : directions) {
            const int di = direction[0];
            const int dj = direction[1];
            const int ni = node.i + di;
            const int nj = node.j + dj;
            if (walk.Find(ni, nj))
                continue;
            const cv::Point2f ownStep = di != 0 ? steps.u * float(di) : steps.v * float(dj);
            int found = -1;
            for (const Prediction& prediction : Predict(walk, node, ownStep, di, dj)) {
                // The new node sees its walked neighbours where they are, the others
                // mirrored from them or as this one sees them.
                const auto stepsAt = [&](cv::Point2f at) {
                    return StepsAround(walk, ni, nj, at, steps);
                };
                found = index.Nearest(prediction.at, kStepTolerance * Norm(prediction.step),
                                      rules.strength, [&](int c) {
                                          const cv::Point2f at = candidates[size_t(c)].at;
                                          return rules.check(c, node.candidate, at, stepsAt(at), ni,
                                                             nj);
                                      });
                if (found >= 0)
                    break;
            }
            if (found < 0)
                continue;
            if (owner[size_t(found)] >= 0) {
                walk.folded = true;
                break;
            }
            const cv::Point2f at = candidates[size_t(found)].at;
            OwnSteps next = steps;
            (di != 0 ? next.u : next.v) = (at - node.at) * float(di != 0 ? di : dj);
            owner[size_t(found)] = int(walk.nodes.size());
            walk.at.emplace(Key(ni, nj), int(walk.nodes.size()));
            walk.nodes.push_back({ni, nj, found, at, candidates[size_t(found)].strength});
            own.push_back(next);
            if (walk.nodes.size() > rules.maxNodes) {
                walk.overgrown = true;
                break;
            }
        }
    }
    for (const WalkNode& n : walk.nodes)
        owner[size_t(n.candidate)] = -1;
    return walk;
}

bool SeedSteps(const PointIndex& index, int seed, const WalkRules& rules, bool block,
               cv::Point2f& u, cv::Point2f& v) {
    const std::vector<Candidate>& candidates = index.points();
    const cv::Point2f p = candidates[size_t(seed)].at;
    const std::vector<int> near = index.NearestTo(seed, 6, rules.strength);
    for (size_t a = 0; a < near.size(); ++a) {
        for (size_t b = a + 1; b < near.size(); ++b) {
            const cv::Point2f su = candidates[size_t(near[a])].at - p;
            const cv::Point2f sv = candidates[size_t(near[b])].at - p;
            const float lu = Norm(su);
            const float lv = Norm(sv);
            if (!(lu > 0.0F) || lv > 3.0F * lu || std::abs(Cross(su, sv)) < 0.5F * lu * lv)
                continue;
            // The steps back may differ more (the grid's scale changes fast under a fisheye).
            const int backU = index.Nearest(p - su, kBackTolerance * lu, rules.strength);
            const int backV = index.Nearest(p - sv, kBackTolerance * lv, rules.strength);
            if (backU < 0 || backV < 0)
                continue;
            const NodeSteps steps{{su, candidates[size_t(backU)].at - p},
                                  {sv, candidates[size_t(backV)].at - p}};
            const NodeSteps plain = NodeSteps::Mirrored(su, sv);
            if (!rules.check(seed, -1, p, steps, 0, 0) ||
                !rules.check(near[a], -1, p + su, plain, 1, 0) ||
                !rules.check(near[b], -1, p + sv, plain, 0, 1))
                continue;
            bool whole = true;
            for (int i = -1; i <= 1 && block && whole; ++i) {
                for (int j = -1; j <= 1 && whole; ++j) {
                    const cv::Point2f at = p + float(i) * su + float(j) * sv;
                    const int c =
                        index.Nearest(at, kStepTolerance * std::min(lu, lv), rules.strength);
                    whole = c >= 0 && rules.check(c, -1, at, plain, i, j);
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
    for (const WalkNode& n : walk.nodes)
        s(n.i - i0 + 1, n.j - j0 + 1) = 1;
    for (std::int64_t b = 1; b <= h; ++b)
        for (std::int64_t a = 1; a <= w; ++a)
            s(a, b) += s(a - 1, b) + s(a, b - 1) - s(a - 1, b - 1);
    // The windows filled: their first node, and their shape.
    struct Window {
        int i = 0;
        int j = 0;
        int along = 0;
        int lines = 0;
    };
    std::vector<Window> windows;
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
                if (windows.size() == 2)
                    return std::nullopt;
                windows.push_back({int(i0 + a), int(j0 + b), along, lines});
            }
        }
    }
    if (windows.empty())
        return std::nullopt;
    if (windows.size() == 2) {
        // Two a line apart: the mean strength of the line each has alone, beside the rest.
        const Window& one = windows[0];
        const Window& other = windows[1];
        if (one.along != other.along || std::abs(one.i - other.i) + std::abs(one.j - other.j) != 1)
            return std::nullopt;
        const auto inWindow = [](const Window& window, const WalkNode& n) {
            return n.i >= window.i && n.i < window.i + window.along && n.j >= window.j &&
                   n.j < window.j + window.lines;
        };
        std::array<double, 3> strength{}; // one's alone, other's alone, both
        std::array<int, 3> count{};
        for (const WalkNode& n : walk.nodes) {
            const bool a = inWindow(one, n);
            const bool b = inWindow(other, n);
            const size_t k = a && b ? 2 : a ? 0 : b ? 1 : 3;
            if (k < 3) {
                strength[k] += n.strength;
                ++count[k];
            }
        }
        for (size_t k = 0; k < 3; ++k)
            strength[k] /= std::max(1, count[k]);
        const bool oneWeak = strength[0] < 0.4 * strength[2];
        const bool otherWeak = strength[1] < 0.4 * strength[2];
        if (oneWeak == otherWeak)
            return std::nullopt;
        windows.erase(windows.begin() + (oneWeak ? 0 : 1));
    }
    const Window& window = windows.front();
    FoundGrid grid;
    grid.along = window.along;
    grid.lines = window.lines;
    grid.points.reserve(size_t(window.along) * size_t(window.lines));
    for (int l = 0; l < window.lines; ++l)
        for (int k = 0; k < window.along; ++k)
            grid.points.push_back(walk.Find(window.i + k, window.j + l)->at);
    return grid;
}

namespace {

// Whether a place lies outside the picture or within `reach` of its edge.
bool AtTheEdge(cv::Point2f p, float reach, cv::Size picture) {
    return !(p.x >= reach && p.y >= reach && p.x <= float(picture.width - 1) - reach &&
             p.y <= float(picture.height - 1) - reach);
}

// Whether a side of a piece is open to the picture's edge: beyond most of its outermost
// nodes, the next target would lie outside the picture or within half a step of its edge
// (where its squares or its dot are cut: it cannot be seen), so that the walk could not
// go on there. di, dj: the way out of that side.
bool OpenSide(const Walk& walk, const WalkExtent& extent, int di, int dj, cv::Size picture) {
    const std::int64_t lines = di != 0 ? extent.h : extent.w;
    const std::int64_t length = di != 0 ? extent.w : extent.h;
    int looked = 0;
    int open = 0;
    for (std::int64_t line = 0; line < lines; ++line) {
        // The outermost node of the line on this side, and the one inside it.
        const WalkNode* edge = nullptr;
        const WalkNode* inner = nullptr;
        for (std::int64_t n = 0; n < length && !edge; ++n) {
            const std::int64_t k = di + dj > 0 ? length - 1 - n : n;
            const int i = int(di != 0 ? extent.i0 + k : extent.i0 + line);
            const int j = int(di != 0 ? extent.j0 + line : extent.j0 + k);
            edge = walk.Find(i, j);
            if (edge)
                inner = walk.Find(i - di, j - dj);
        }
        if (!edge || !inner)
            continue;
        const cv::Point2f step = edge->at - inner->at;
        ++looked;
        if (AtTheEdge(edge->at + step, 0.5F * Norm(step), picture))
            ++open;
    }
    return looked > 0 && 2 * open >= looked;
}

// The nodes missing inside a piece's extent, as far as walked nodes in line with them
// place them: all at the picture's edge (or beyond), or some of them within it.
struct MissingNodes {
    bool atEdge = false;
    bool within = false;
};

MissingNodes Missing(const Walk& walk, const WalkExtent& extent, cv::Size picture) {
    MissingNodes missing;
    for (std::int64_t a = 0; a < extent.w; ++a) {
        for (std::int64_t b = 0; b < extent.h; ++b) {
            const int i = int(extent.i0 + a);
            const int j = int(extent.j0 + b);
            if (walk.Find(i, j))
                continue;
            for (const auto& d : {std::array<int, 2>{1, 0}, std::array<int, 2>{-1, 0},
                                  std::array<int, 2>{0, 1}, std::array<int, 2>{0, -1}}) {
                const WalkNode* next = walk.Find(i + d[0], j + d[1]);
                const WalkNode* after = walk.Find(i + 2 * d[0], j + 2 * d[1]);
                if (!next || !after)
                    continue;
                const cv::Point2f step = next->at - after->at;
                const bool edge = AtTheEdge(next->at + step, 0.5F * Norm(step), picture);
                missing.atEdge = missing.atEdge || edge;
                missing.within = missing.within || !edge;
                break;
            }
        }
    }
    return missing;
}

// Whether the rest of a columns x rows grid of which the walk is a piece (no larger) lies
// partly outside the picture: the piece lacks lines along a direction, and only beyond a
// side open to the picture's edge can they be (beyond a side the walk left inside the
// picture there were none to be seen), or the nodes it lacks inside its extent lie at
// the picture's edge. Either way round that the piece fits the grid.
bool RestOutside(const Walk& walk, const WalkExtent& extent, int columns, int rows,
                 cv::Size picture) {
    const MissingNodes missing = Missing(walk, extent, picture);
    if (missing.within)
        return false;
    const bool openI =
        OpenSide(walk, extent, -1, 0, picture) || OpenSide(walk, extent, 1, 0, picture);
    const bool openJ =
        OpenSide(walk, extent, 0, -1, picture) || OpenSide(walk, extent, 0, 1, picture);
    const auto cutAs = [&](int c, int r) {
        if (extent.w > c || extent.h > r)
            return false;
        const bool lacksI = extent.w < c;
        const bool lacksJ = extent.h < r;
        return (lacksI || lacksJ || missing.atEdge) && (!lacksI || openI) && (!lacksJ || openJ);
    };
    return cutAs(columns, rows) || cutAs(rows, columns);
}

// The median distance between neighbours along i and along j; the smaller of the two.
double PieceSpacing(const Walk& walk) {
    std::array<std::vector<float>, 2> steps;
    for (const WalkNode& n : walk.nodes) {
        if (const WalkNode* next = walk.Find(n.i + 1, n.j))
            steps[0].push_back(Norm(next->at - n.at));
        if (const WalkNode* next = walk.Find(n.i, n.j + 1))
            steps[1].push_back(Norm(next->at - n.at));
    }
    double spacing = 0.0;
    for (std::vector<float>& s : steps) {
        if (s.empty())
            continue;
        std::nth_element(s.begin(), s.begin() + std::ptrdiff_t(s.size() / 2), s.end());
        const double median = s[s.size() / 2];
        spacing = spacing > 0.0 ? std::min(spacing, median) : median;
    }
    return spacing;
}

} // namespace

void Sighted(const Walk& walk, int columns, int rows, cv::Size picture, GridSighting& seen) {
    if (walk.nodes.size() <= seen.nodes)
        return;
    const size_t candidates = seen.candidates;
    const double clutter = seen.clutter;
    const WalkExtent extent = Extent(walk);
    const bool clean = !walk.folded && !walk.overgrown;
    GridSighting sighting;
    sighting.nodes = walk.nodes.size();
    sighting.along = int(std::min<std::int64_t>(extent.w, INT_MAX));
    sighting.lines = int(std::min<std::int64_t>(extent.h, INT_MAX));
    sighting.whole = clean && extent.w * extent.h == std::int64_t(walk.nodes.size());
    sighting.cut = clean && RestOutside(walk, extent, columns, rows, picture);
    sighting.pitch = PieceSpacing(walk);
    sighting.candidates = candidates;
    sighting.clutter = clutter;
    seen = sighting;
}

} // namespace vrma
