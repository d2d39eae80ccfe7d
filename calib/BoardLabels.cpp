#include "calib/BoardLabels.h"
#include "calib/ImageSampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace vrma {

namespace {

// A grid as a finder gives it, `w` points a line and `h` lines, made right-handed like the
// image: the direction from line to line turned clockwise on screen from the direction
// along a line, as a print's y axis is from its x axis seen from the front.
struct Lattice {
    int w = 0;
    int h = 0;
    std::vector<cv::Point2d> points; // (a, b) at b * w + a

    const cv::Point2d& at(int a, int b) const { return points[size_t(b) * size_t(w) + size_t(a)]; }
};

Lattice RightHanded(const FoundGrid& grid) {
    Lattice lattice;
    lattice.w = grid.along;
    lattice.h = grid.lines;
    const auto at = [&](int a, int b) {
        return cv::Point2d(grid.points[size_t(b) * size_t(grid.along) + size_t(a)]);
    };
    cv::Point2d u(0.0, 0.0);
    cv::Point2d v(0.0, 0.0);
    for (int b = 0; b < grid.lines; ++b)
        for (int a = 0; a + 1 < grid.along; ++a)
            u += at(a + 1, b) - at(a, b);
    for (int b = 0; b + 1 < grid.lines; ++b)
        for (int a = 0; a < grid.along; ++a)
            v += at(a, b + 1) - at(a, b);
    const bool flip = u.x * v.y - u.y * v.x < 0.0;
    lattice.points.reserve(grid.points.size());
    for (int b = 0; b < grid.lines; ++b)
        for (int a = 0; a < grid.along; ++a)
            lattice.points.push_back(at(a, flip ? grid.lines - 1 - b : b));
    return lattice;
}

// The board's target (i, j) in the lattice, the board's x axis along the lattice's
// a (quarter 0), b (1), -a (2) or -b (3), its y axis a quarter turn clockwise from it.
cv::Point LatticeIndex(int quarter, int i, int j, int w, int h) {
    switch (quarter) {
    case 0:
        return {i, j};
    case 1:
        return {w - 1 - j, i};
    case 2:
        return {w - 1 - i, h - 1 - j};
    default:
        return {j, h - 1 - i};
    }
}

// Whether the dark squares of a chessboard labelled so lie where the print has them: the
// square between targets (i, j) and (i + 1, j + 1) is dark when i + j is even (the top left
// square of the board is). +1 when they do, -1 when the light ones do, 0 when the squares
// inside the grid are all of one kind (a grid of 2 x 2) or show no contrast.
int SquaresAgree(const cv::Mat& picture, const std::vector<cv::Point2d>& board, int columns,
                 int rows) {
    const auto at = [&](int i, int j) -> const cv::Point2d& {
        return board[size_t(i) * size_t(rows) + size_t(j)];
    };
    std::array<double, 2> sum{};
    std::array<int, 2> count{};
    for (int i = 0; i + 1 < columns; ++i) {
        for (int j = 0; j + 1 < rows; ++j) {
            const cv::Point2d& a = at(i, j);
            const cv::Point2d& b = at(i + 1, j);
            const cv::Point2d& c = at(i, j + 1);
            const cv::Point2d& d = at(i + 1, j + 1);
            const cv::Point2d middle = 0.25 * (a + b + c + d);
            // The middle and four points a quarter of the way to the square's corners.
            double value = Sample(picture, middle);
            for (const cv::Point2d& corner : {a, b, c, d})
                value += Sample(picture, middle + 0.25 * (corner - middle));
            if (std::isnan(value))
                continue;
            const size_t parity = size_t((i + j) & 1);
            sum[parity] += value / 5.0;
            ++count[parity];
        }
    }
    if (count[0] == 0 || count[1] == 0)
        return 0;
    const double even = sum[0] / count[0];
    const double odd = sum[1] / count[1];
    if (std::abs(even - odd) < 8.0)
        return 0;
    return even < odd ? 1 : -1;
}

// The angle from image x to the board's x axis, clockwise on screen, to the nearest
// quarter.
int TurnOf(const std::vector<cv::Point2d>& board, int columns, int rows) {
    cv::Point2d x(0.0, 0.0);
    for (int i = 0; i + 1 < columns; ++i)
        for (int j = 0; j < rows; ++j)
            x += board[size_t(i + 1) * size_t(rows) + size_t(j)] -
                 board[size_t(i) * size_t(rows) + size_t(j)];
    const double angle = std::atan2(x.y, x.x) * 180.0 / std::numbers::pi;
    const long quarter = std::lround(angle / 90.0);
    return int(((quarter % 4) + 4) % 4) * 90;
}

} // namespace

// The grid labelled in the board's own axes (k = i * rows + j), or false when no quarter
// turn of it has the board's columns and rows. `picture` is the one the grid was found in
// (for the colours of a chessboard's squares).
bool LabelInBoardAxes(const FoundGrid& grid, const cv::Mat& picture, TargetKind kind, int columns,
                      int rows, std::vector<cv::Point2d>& board, BoardTurn& turn) {
    if (grid.points.size() != size_t(grid.along) * size_t(grid.lines) || grid.along < 2 ||
        grid.lines < 2)
        return false;
    const Lattice lattice = RightHanded(grid);
    struct Labelling {
        std::vector<cv::Point2d> points;
        int turn = 0;
        int squares = 0;
    };
    std::vector<Labelling> fitting;
    for (int quarter = 0; quarter < 4; ++quarter) {
        const bool across = quarter % 2 == 1;
        if ((across ? lattice.h : lattice.w) != columns || (across ? lattice.w : lattice.h) != rows)
            continue;
        Labelling labelling;
        labelling.points.reserve(size_t(columns) * size_t(rows));
        for (int i = 0; i < columns; ++i) {
            for (int j = 0; j < rows; ++j) {
                const cv::Point p = LatticeIndex(quarter, i, j, lattice.w, lattice.h);
                labelling.points.push_back(lattice.at(p.x, p.y));
            }
        }
        labelling.turn = TurnOf(labelling.points, columns, rows);
        if (kind == TargetKind::Chessboard)
            labelling.squares = SquaresAgree(picture, labelling.points, columns, rows);
        fitting.push_back(std::move(labelling));
    }
    if (fitting.empty())
        return false;
    // Those whose dark squares lie where the print has them; all, when none does (a board
    // printed light on dark, or squares that show no contrast).
    std::vector<const Labelling*> consistent;
    for (const Labelling& labelling : fitting)
        if (labelling.squares > 0)
            consistent.push_back(&labelling);
    if (consistent.empty())
        for (const Labelling& labelling : fitting)
            consistent.push_back(&labelling);
    const Labelling* chosen =
        *std::min_element(consistent.begin(), consistent.end(),
                          [](const Labelling* a, const Labelling* b) { return a->turn < b->turn; });
    board = chosen->points;
    turn.degrees = chosen->turn;
    turn.told = consistent.size() == 1;
    return true;
}

DetectedTargets InCalibrationOrder(const BoardTargets& targets) {
    const int nc = targets.columns;
    const int nr = targets.rows;
    if (!targets.indices.empty() && !targets.whole()) {
        SearchFault fault = SearchFault::Of(SearchFaultKind::CornersMissing);
        fault.targets = int(targets.points.size());
        throw GridNotFound(fault, targets.kind, nc, nr);
    }
    if (nc < 2 || nr < 2 || targets.points.size() != size_t(nc) * size_t(nr))
        throw std::invalid_argument("InCalibrationOrder: no grid of targets");
    const auto at = [&](int i, int j) -> const PlanePoint& {
        return targets.points[size_t(i) * size_t(nr) + size_t(j)];
    };
    // The mean steps along the board's x (ex) and y (ey).
    double exx = 0.0, exy = 0.0, eyx = 0.0, eyy = 0.0;
    for (int i = 0; i < nc; ++i) {
        for (int j = 0; j < nr; ++j) {
            if (i + 1 < nc) {
                exx += at(i + 1, j).x - at(i, j).x;
                exy += at(i + 1, j).y - at(i, j).y;
            }
            if (j + 1 < nr) {
                eyx += at(i, j + 1).x - at(i, j).x;
                eyy += at(i, j + 1).y - at(i, j).y;
            }
        }
    }
    DetectedTargets ordered;
    ordered.kind = targets.kind;
    ordered.imageWidth = targets.imageWidth;
    ordered.imageHeight = targets.imageHeight;
    ordered.turn = targets.turn;
    ordered.swapped = std::abs(exx) * std::abs(eyy) < std::abs(exy) * std::abs(eyx);
    const bool swapped = ordered.swapped;
    const int columns = swapped ? nr : nc;
    const int rows = swapped ? nc : nr;
    ordered.columns = columns;
    ordered.rows = rows;
    const bool flipX = (swapped ? eyx : exx) < 0.0;
    const bool flipY = (swapped ? exy : eyy) < 0.0;
    ordered.points.reserve(targets.points.size());
    for (int a = 0; a < columns; ++a) {
        for (int b = 0; b < rows; ++b) {
            const int alongX = flipX ? columns - 1 - a : a;
            const int alongY = flipY ? rows - 1 - b : b;
            ordered.points.push_back(swapped ? at(alongY, alongX) : at(alongX, alongY));
        }
    }
    // Every column runs down the image and every row to the right.
    const auto point = [&](int a, int b) -> const PlanePoint& {
        return ordered.points[size_t(a) * size_t(rows) + size_t(b)];
    };
    for (int a = 0; a < columns; ++a)
        for (int b = 0; b + 1 < rows; ++b)
            if (!(point(a, b + 1).y > point(a, b).y))
                throw GridNotFound(SearchFault::Of(SearchFaultKind::TurnedAslant), targets.kind, nc,
                                   nr);
    for (int a = 0; a + 1 < columns; ++a)
        for (int b = 0; b < rows; ++b)
            if (!(point(a + 1, b).x > point(a, b).x))
                throw GridNotFound(SearchFault::Of(SearchFaultKind::TurnedAslant), targets.kind, nc,
                                   nr);
    return ordered;
}

std::vector<PlanePoint> CalibrationScene(const Board& board, const DetectedTargets& targets) {
    return targets.swapped ? SceneGrid(targets.columns, targets.rows, board.pitchY, board.pitch)
                           : SceneGrid(targets.columns, targets.rows, board.pitch, board.pitchY);
}

} // namespace vrma
