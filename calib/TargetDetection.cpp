#include "calib/TargetDetection.h"

#include "calib/GridFinder.h"
#include "calib/Photograph.h"
#include "data/Errors.h"
#include "data/Messages.h"
#include "data/TextFile.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>

namespace vrma {

namespace {

// The smallest photograph in which a grid can be looked for, pixels a side.
constexpr int kSmallestSide = 8;
// The grid must be found on a copy no longer than this a side; a smaller photograph is
// searched as it is.
constexpr int kWorkingSide = 1800;
// Dots are searched on a smaller copy: a dot stays a dot where small squares' corners
// would blur together.
constexpr int kDotsWorkingSide = 1200;

[[noreturn]] void Unreadable() {
    throw PhotoReadError(messages::PhotoUnreadable().toStdString());
}

[[noreturn]] void NotFound() {
    throw GridNotFound(messages::GridNotFound().toStdString());
}

// One 8-bit grey channel; a deeper image is stretched from its darkest to its lightest
// value, so that 12 bits in a 16-bit file keep their contrast.
cv::Mat ToGrey8(const cv::Mat& image) {
    cv::Mat grey = image;
    if (grey.channels() == 3)
        cv::cvtColor(grey, grey, cv::COLOR_BGR2GRAY);
    else if (grey.channels() == 4)
        cv::cvtColor(grey, grey, cv::COLOR_BGRA2GRAY);
    else if (grey.channels() != 1)
        Unreadable();
    if (grey.depth() == CV_8U)
        return grey;
    cv::Mat wide;
    grey.convertTo(wide, CV_32F);
    cv::patchNaNs(wide, 0.0);
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(wide, &low, &high);
    if (!std::isfinite(low) || !std::isfinite(high))
        Unreadable();
    cv::Mat out;
    const double span = high - low;
    if (!(span > 0.0))
        return cv::Mat(grey.size(), CV_8U, cv::Scalar(0));
    wide.convertTo(out, CV_8U, 255.0 / span, -low * 255.0 / span);
    return out;
}

// The share done, told to the caller between stages; percent from..to of the whole.
class Stages {
public:
    Stages(const DetectionProgress& progress, int from, int to)
        : progress_(progress), from_(from), to_(to) {}

    // A stage boundary at the share (0..100 of this part); throws when the caller stops.
    void At(int percent) const {
        if (!progress_)
            return;
        const int whole = from_ + (to_ - from_) * std::clamp(percent, 0, 100) / 100;
        if (!progress_(whole))
            throw DetectionCancelled("Поиск мишеней прерван.");
    }

private:
    const DetectionProgress& progress_;
    int from_;
    int to_;
};

// ---- the board's own axes -------------------------------------------------------------

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

// The value of an 8-bit picture between pixels; NaN outside it.
double Sample(const cv::Mat& image, const cv::Point2d& p) {
    if (!(p.x >= 0.0 && p.y >= 0.0 && p.x <= image.cols - 1.0 && p.y <= image.rows - 1.0))
        return std::numeric_limits<double>::quiet_NaN();
    const int x0 = std::min(int(p.x), std::max(0, image.cols - 2));
    const int y0 = std::min(int(p.y), std::max(0, image.rows - 2));
    const int x1 = std::min(x0 + 1, image.cols - 1);
    const int y1 = std::min(y0 + 1, image.rows - 1);
    const double fx = p.x - x0;
    const double fy = p.y - y0;
    const uchar* r0 = image.ptr<uchar>(y0);
    const uchar* r1 = image.ptr<uchar>(y1);
    return (r0[x0] * (1.0 - fx) + r0[x1] * fx) * (1.0 - fy) +
           (r1[x0] * (1.0 - fx) + r1[x1] * fx) * fy;
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

// The distance from each target to its nearest neighbour in the grid.
std::vector<double> NeighbourSpacing(const std::vector<cv::Point2d>& points, int columns,
                                     int rows) {
    std::vector<double> spacing(points.size(), 0.0);
    const auto at = [&](int i, int j) -> const cv::Point2d& {
        return points[size_t(i) * size_t(rows) + size_t(j)];
    };
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            double nearest = std::numeric_limits<double>::max();
            const std::array<std::array<int, 2>, 4> steps{{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}};
            for (const auto& step : steps) {
                const int ni = i + step[0];
                const int nj = j + step[1];
                if (ni >= 0 && ni < columns && nj >= 0 && nj < rows)
                    nearest = std::min(nearest, cv::norm(at(ni, nj) - at(i, j)));
            }
            spacing[size_t(i) * size_t(rows) + size_t(j)] = nearest;
        }
    }
    return spacing;
}

// ---- the chessboard -----------------------------------------------------------------

bool FindChessboardOn(const cv::Mat& work, cv::Size pattern, ChessboardFinder finder,
                      std::vector<cv::Point2f>& corners) {
    try {
        if (finder == ChessboardFinder::Saddle)
            return cv::findChessboardCornersSB(
                work, pattern, corners, cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_EXHAUSTIVE);
        // With the fast check, which costs some 20 ms on a copy that shows the field and
        // saves minutes on one of noise or texture that does not.
        return cv::findChessboardCorners(
            work, pattern, corners,
            cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK);
    } catch (const cv::Exception&) {
        return false;
    }
}

// Runs refine(k) for each of `count` targets, shared out among OpenCV's threads (each
// target's measurement is its own: a large grid's tens of thousands take seconds on one
// core); false when any of them fails.
bool RefineEach(size_t count, const std::function<bool(size_t)>& refine) {
    std::atomic<bool> failed{false};
    cv::parallel_for_(cv::Range(0, int(count)), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end && !failed.load(std::memory_order_relaxed); ++k)
            if (!refine(size_t(k)))
                failed = true;
    });
    return !failed;
}

// The smoothing of the photograph around a corner before its saddle point is measured:
// on a sharp edge the gradients sit in one or two pixels and pull the saddle towards the
// pixel grid.
constexpr double kCornerSmoothing = 1.2;

// The corners at full resolution: the saddle point in a window that stays inside the
// four squares around each corner, on a lightly smoothed patch of the photograph.
void RefineCorners(const cv::Mat& grey, std::vector<cv::Point2d>& points,
                   const std::vector<double>& spacing) {
    const double smallest = *std::min_element(spacing.begin(), spacing.end());
    const int half = std::clamp(int(std::floor(0.35 * smallest)), 2, 40);
    const int border = half + 2 + int(std::ceil(3.0 * kCornerSmoothing));
    const cv::Rect bounds(0, 0, grey.cols, grey.rows);
    std::atomic<bool> atEdge{false};
    const bool found = RefineEach(points.size(), [&](size_t k) {
        const cv::Point2d& coarse = points[k];
        const cv::Rect patch =
            cv::Rect(int(std::lround(coarse.x)) - border, int(std::lround(coarse.y)) - border,
                     2 * border + 1, 2 * border + 1) &
            bounds;
        if (patch.width < 2 * half + 5 || patch.height < 2 * half + 5) {
            atEdge = true; // a corner at the edge of the photograph: the field is not all in it
            return false;
        }
        cv::Mat smooth;
        cv::GaussianBlur(grey(patch), smooth, cv::Size(0, 0), kCornerSmoothing, kCornerSmoothing,
                         cv::BORDER_REPLICATE);
        std::vector<cv::Point2f> corner{
            cv::Point2f(float(coarse.x - patch.x), float(coarse.y - patch.y))};
        cv::cornerSubPix(
            smooth, corner, cv::Size(half, half), cv::Size(-1, -1),
            cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 100, 1e-4));
        const cv::Point2d refined(double(corner[0].x) + patch.x, double(corner[0].y) + patch.y);
        // A corner that ran off is a window that met something else: the field is not what
        // the search took it for.
        if (!std::isfinite(refined.x) || !std::isfinite(refined.y) ||
            cv::norm(refined - coarse) > 0.3 * spacing[k])
            return false;
        points[k] = refined;
        return true;
    });
    if (atEdge)
        throw GridNotFound(messages::GridPartlyOutside().toStdString());
    if (!found)
        NotFound();
}

// ---- the dots -----------------------------------------------------------------------

// A value below which the given share of the pixels lies (8-bit image).
int Percentile(const cv::Mat& roi, double share) {
    std::array<int, 256> histogram{};
    for (int y = 0; y < roi.rows; ++y) {
        const uchar* row = roi.ptr<uchar>(y);
        for (int x = 0; x < roi.cols; ++x)
            ++histogram[row[x]];
    }
    const double wanted = share * double(roi.total());
    double seen = 0.0;
    for (int value = 0; value < 256; ++value) {
        seen += histogram[size_t(value)];
        if (seen >= wanted)
            return value;
    }
    return 255;
}

// The centre of a dark dot near `centre`, its nearest neighbour `spacing` away: the
// centroid of the dot's coverage. The dot's own outline (at the level halfway between it
// and the paper) gives its size and the levels of dot and paper around it; the coverage
// runs linearly from 0 on the paper to 1 inside the dot, so a blurred or anti-aliased edge
// counts by the share of the dot in each pixel and the lighting across the window moves
// nothing. False when there is no dot to be seen there.
bool RefineDot(const cv::Mat& grey, cv::Point2d& centre, double spacing, double& area) {
    const cv::Rect bounds(0, 0, grey.cols, grey.rows);
    const int half = std::max(2, int(std::floor(0.5 * spacing)));
    const cv::Rect window =
        cv::Rect(int(std::lround(centre.x)) - half, int(std::lround(centre.y)) - half, 2 * half + 1,
                 2 * half + 1) &
        bounds;
    if (window.width < 3 || window.height < 3)
        return false;
    // The outline of a large dot is looked for on a reduced window: its size and rough
    // middle need no more.
    const int factor = std::max(1, half / 32);
    cv::Mat roi = grey(window);
    if (factor > 1)
        cv::resize(roi, roi, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    const double fx = double(window.width) / double(roi.cols);
    const double fy = double(window.height) / double(roi.rows);
    const int low = Percentile(roi, 0.05);
    const int high = Percentile(roi, 0.95);
    if (high - low < 8)
        return false;
    cv::Mat inside;
    cv::threshold(roi, inside, 0.5 * (low + high), 255, cv::THRESH_BINARY_INV);
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(inside, labels, stats, centroids, 8, CV_32S);
    // The piece nearest the window's middle.
    int best = -1;
    double bestDistance = std::numeric_limits<double>::max();
    const cv::Point2d local((centre.x - window.x + 0.5) / fx - 0.5,
                            (centre.y - window.y + 0.5) / fy - 0.5);
    for (int label = 1; label < count; ++label) {
        const double distance = cv::norm(
            cv::Point2d(centroids.at<double>(label, 0), centroids.at<double>(label, 1)) - local);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = label;
        }
    }
    if (best < 0)
        return false;
    const double radius =
        std::sqrt(double(stats.at<int>(best, cv::CC_STAT_AREA)) * fx * fy / std::numbers::pi);
    cv::Point2d c((centroids.at<double>(best, 0) + 0.5) * fx - 0.5 + window.x,
                  (centroids.at<double>(best, 1) + 0.5) * fy - 0.5 + window.y);
    const double reach =
        std::max(radius + 2.0, std::min(1.5 * radius + 3.0, spacing - radius - 2.0));

    // The levels: the dot's middle and the paper just outside its outline.
    std::vector<uchar> dot;
    std::vector<uchar> paper;
    const auto pixelsAround = [&](const cv::Point2d& at, double r, int stride, auto&& visit) {
        const cv::Rect box = cv::Rect(int(std::floor(at.x - r)), int(std::floor(at.y - r)),
                                      int(std::ceil(2.0 * r)) + 2, int(std::ceil(2.0 * r)) + 2) &
                             bounds;
        for (int y = box.y; y < box.y + box.height; y += stride) {
            const uchar* row = grey.ptr<uchar>(y);
            for (int x = box.x; x < box.x + box.width; x += stride) {
                const double dx = x - at.x;
                const double dy = y - at.y;
                const double d2 = dx * dx + dy * dy;
                if (d2 <= r * r)
                    visit(x, y, d2, row[x]);
            }
        }
    };
    pixelsAround(c, reach, factor, [&](int, int, double d2, uchar value) {
        if (d2 <= 0.25 * radius * radius)
            dot.push_back(value);
        else if (d2 >= (1.25 * radius + 1.5) * (1.25 * radius + 1.5))
            paper.push_back(value);
    });
    const auto median = [](std::vector<uchar>& values, int fallback) {
        if (values.empty())
            return double(fallback);
        const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
        std::nth_element(values.begin(), middle, values.end());
        return double(*middle);
    };
    const double dotLevel = median(dot, low);
    const double paperLevel = median(paper, high);
    const double contrast = paperLevel - dotLevel;
    if (!(contrast >= 8.0))
        return false;
    // Linear between 15 % and 85 % of the contrast: noise and light on the paper and in the
    // dot weigh nothing.
    const double top = paperLevel - 0.15 * contrast;
    const double bottom = dotLevel + 0.15 * contrast;
    double sum = 0.0;
    for (int pass = 0; pass < 4; ++pass) {
        sum = 0.0;
        double sx = 0.0;
        double sy = 0.0;
        pixelsAround(c, reach, 1, [&](int x, int y, double, uchar value) {
            const double w = std::clamp((top - double(value)) / (top - bottom), 0.0, 1.0);
            sum += w;
            sx += w * x;
            sy += w * y;
        });
        if (!(sum > 1.0))
            return false;
        const cv::Point2d next(sx / sum, sy / sum);
        const double moved = cv::norm(next - c);
        c = next;
        if (moved < 1e-3)
            break;
    }
    centre = c;
    area = sum;
    return true;
}

// The middle of a dot's image is not the image of its middle: under perspective the
// nearer part of the dot comes out larger. The grid's plane-to-image homography (the
// targets one step apart, rows `pitchRatio` steps) gives each dot's image, an ellipse, and
// the centroids are moved by the distance between its middle and the image of the dot's
// middle. The dots' radius on the plane is the median of what their areas in the image
// say. Nothing moves when the homography cannot be had.
void CorrectPerspective(std::vector<cv::Point2d>& points, const std::vector<double>& areas,
                        int columns, int rows, double pitchRatio) {
    std::vector<cv::Point2d> plane;
    plane.reserve(points.size());
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            plane.emplace_back(double(i), double(j) * pitchRatio);
    cv::Mat found;
    try {
        found = cv::findHomography(plane, points, 0);
    } catch (const cv::Exception&) {
        return;
    }
    if (found.empty())
        return;
    const cv::Matx33d h = found;
    cv::Matx33d inverse;
    if (!cv::invert(h, inverse))
        return;
    // The scale of the homography at a plane point: |det J|.
    const auto scaleAt = [&](const cv::Point2d& q) {
        const double w = h(2, 0) * q.x + h(2, 1) * q.y + h(2, 2);
        const double u = (h(0, 0) * q.x + h(0, 1) * q.y + h(0, 2)) / w;
        const double v = (h(1, 0) * q.x + h(1, 1) * q.y + h(1, 2)) / w;
        const double a = (h(0, 0) - u * h(2, 0)) / w;
        const double b = (h(0, 1) - u * h(2, 1)) / w;
        const double c = (h(1, 0) - v * h(2, 0)) / w;
        const double d = (h(1, 1) - v * h(2, 1)) / w;
        return std::abs(a * d - b * c);
    };
    std::vector<double> squares;
    squares.reserve(points.size());
    for (size_t k = 0; k < points.size(); ++k) {
        const double scale = scaleAt(plane[k]);
        if (scale > 0.0 && std::isfinite(scale))
            squares.push_back(areas[k] / (std::numbers::pi * scale));
    }
    if (squares.size() != points.size())
        return;
    std::nth_element(squares.begin(), squares.begin() + std::ptrdiff_t(squares.size() / 2),
                     squares.end());
    const double r2 = squares[squares.size() / 2];
    if (!(r2 > 0.0) || !std::isfinite(r2))
        return;
    for (size_t k = 0; k < points.size(); ++k) {
        const cv::Point2d& q = plane[k];
        // The circle as a conic, carried into the image: C' = H^-T C H^-1.
        const cv::Matx33d circle(1.0, 0.0, -q.x, 0.0, 1.0, -q.y, -q.x, -q.y,
                                 q.x * q.x + q.y * q.y - r2);
        const cv::Matx33d conic = inverse.t() * circle * inverse;
        const cv::Matx22d quadratic(conic(0, 0), conic(0, 1), conic(1, 0), conic(1, 1));
        const double det = cv::determinant(quadratic);
        if (!(det > 0.0))
            return; // no ellipse: the field is seen too much at a slant for this
        const cv::Vec2d middle = -(quadratic.inv() * cv::Vec2d(conic(0, 2), conic(1, 2)));
        const double w = h(2, 0) * q.x + h(2, 1) * q.y + h(2, 2);
        const cv::Point2d image((h(0, 0) * q.x + h(0, 1) * q.y + h(0, 2)) / w,
                                (h(1, 0) * q.x + h(1, 1) * q.y + h(1, 2)) / w);
        const cv::Point2d shift(middle[0] - image.x, middle[1] - image.y);
        if (!std::isfinite(shift.x) || !std::isfinite(shift.y))
            return;
        points[k] -= shift;
    }
}

void RefineDots(const cv::Mat& grey, std::vector<cv::Point2d>& points,
                const std::vector<double>& spacing, int columns, int rows, double pitchRatio) {
    std::vector<double> areas(points.size(), 0.0);
    const bool found = RefineEach(points.size(), [&](size_t k) {
        cv::Point2d refined = points[k];
        if (!RefineDot(grey, refined, spacing[k], areas[k]) ||
            cv::norm(refined - points[k]) > 0.3 * spacing[k])
            return false;
        points[k] = refined;
        return true;
    });
    if (!found)
        NotFound();
    CorrectPerspective(points, areas, columns, rows, pitchRatio);
}

// The grid on the reduced copy, as the finder walked it; false when not found, `seen`
// telling what was seen of a lattice then.
bool FindOnCopy(const cv::Mat& work, TargetKind kind, int columns, int rows,
                const DetectionTuning& tuning, const Stages& stages, bool& lightDots,
                FoundGrid& grid, GridSighting& seen) {
    if (kind == TargetKind::Chessboard) {
        if (tuning.finder == ChessboardFinder::Grid) {
            std::optional<FoundGrid> found = FindChessboardGrid(work, columns, rows, &seen);
            stages.At(80);
            if (!found)
                return false;
            grid = std::move(*found);
            return true;
        }
        // OpenCV's finders take the board in any orientation.
        std::vector<cv::Point2f> corners;
        const bool found = FindChessboardOn(work, cv::Size(columns, rows), tuning.finder, corners);
        stages.At(80);
        if (!found || corners.size() != size_t(columns) * size_t(rows))
            return false;
        grid = {columns, rows, std::move(corners)};
        return true;
    }
    // Dark dots on light paper, then light dots on dark.
    for (const bool light : {false, true}) {
        cv::Mat image; // a new buffer: the photograph itself is never changed
        if (light)
            cv::bitwise_not(work, image);
        else
            image = work;
        GridSighting sighting;
        std::optional<FoundGrid> found = FindDotGrid(image, columns, rows, &sighting);
        stages.At(light ? 80 : 45);
        if (sighting.nodes > seen.nodes)
            seen = sighting;
        if (found) {
            lightDots = light;
            grid = std::move(*found);
            return true;
        }
    }
    return false;
}

// Not found: what was seen, when it tells the user something; otherwise the one message.
// A piece of lattice of at least 3 x 3 targets that fills its rectangle (three quarters of
// it, where the photograph's edge cuts it aslant) and is no larger than the grid asked
// for, running on beyond the photograph's edge: the field is partly outside; one that
// fills its rectangle whole and is of another size: a grid of that size.
[[noreturn]] void NotFoundSeeing(const GridSighting& seen, TargetKind kind, int columns, int rows) {
    constexpr size_t kTold = 9;
    const double extent = double(seen.along) * double(seen.lines);
    const bool within = (seen.along <= columns && seen.lines <= rows) ||
                        (seen.along <= rows && seen.lines <= columns);
    if (seen.nodes >= kTold && seen.beyondEdge && within && double(seen.nodes) >= 0.75 * extent)
        throw GridNotFound(messages::GridPartlyOutside().toStdString());
    if (seen.whole && seen.along >= 3 && seen.lines >= 3 && seen.nodes >= kTold) {
        // Counted the way the user counts: the longer side where the typed one is.
        const int longer = std::max(seen.along, seen.lines);
        const int shorter = std::min(seen.along, seen.lines);
        const bool wide = columns >= rows;
        const int seenColumns = wide ? longer : shorter;
        const int seenRows = wide ? shorter : longer;
        if (seenColumns != columns || seenRows != rows)
            throw GridNotFound(messages::GridOfOtherSize(seenColumns, seenRows, columns, rows,
                                                         kind == TargetKind::Chessboard)
                                   .toStdString());
    }
    NotFound();
}

} // namespace

cv::Mat ReadPhotograph(const QString& fileName) {
    return DecodePhotograph(fileName);
}

namespace {

BoardTargets FindStaged(const cv::Mat& input, TargetKind kind, int columns, int rows,
                        const DetectionTuning& tuning, const DetectionProgress& progress, int from,
                        int to) {
    if (columns < 2 || rows < 2)
        throw std::invalid_argument("A grid of targets has at least 2 columns and 2 rows");
    const Stages stages(progress, from, to);
    stages.At(0);
    if (input.empty() || input.cols < kSmallestSide || input.rows < kSmallestSide)
        NotFound();
    // Every target needs a few pixels of its own.
    if (double(columns) * double(rows) * 16.0 > double(input.total()))
        NotFound();
    cv::Mat grey = input;
    if (grey.type() != CV_8UC1)
        grey = ToGrey8(input);

    // The search on a reduced copy, the measurement on the photograph itself.
    const int side = std::max(grey.cols, grey.rows);
    const int workingSide = tuning.workingSide > 0     ? tuning.workingSide
                            : kind == TargetKind::Dots ? kDotsWorkingSide
                                                       : kWorkingSide;
    cv::Mat work = grey;
    if (side > workingSide) {
        // By a whole factor: a pixel of the copy is the mean of factor x factor pixels (the
        // fast way of the area interpolation).
        // Not so far that the targets come closer than some 12 pixels on the copy.
        const int factor = std::min((side + workingSide - 1) / workingSide,
                                    LargestReduction(grey.cols, grey.rows, columns, rows, 12.0));
        if (factor > 1)
            cv::resize(grey, work, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    }
    stages.At(10);

    bool lightDots = false;
    FoundGrid grid;
    GridSighting seen;
    if (!FindOnCopy(work, kind, columns, rows, tuning, stages, lightDots, grid, seen))
        NotFoundSeeing(seen, kind, columns, rows);
    std::vector<cv::Point2d> points;
    BoardTurn turn;
    if (!LabelInBoardAxes(grid, work, kind, columns, rows, points, turn))
        NotFound();
    // Pixel centres: (x + 0.5) / scale - 0.5 on each axis.
    const double sx = double(grey.cols) / double(work.cols);
    const double sy = double(grey.rows) / double(work.rows);
    for (cv::Point2d& p : points)
        p = cv::Point2d((p.x + 0.5) * sx - 0.5, (p.y + 0.5) * sy - 0.5);

    const std::vector<double> spacing = NeighbourSpacing(points, columns, rows);
    const double pitchRatio =
        tuning.pitchRatio > 0.0 && std::isfinite(tuning.pitchRatio) ? tuning.pitchRatio : 1.0;
    if (*std::min_element(spacing.begin(), spacing.end()) < 3.0)
        NotFound();
    if (kind == TargetKind::Chessboard) {
        RefineCorners(grey, points, spacing);
    } else if (lightDots) {
        cv::Mat dark;
        cv::bitwise_not(grey, dark);
        RefineDots(dark, points, spacing, columns, rows, pitchRatio);
    } else {
        RefineDots(grey, points, spacing, columns, rows, pitchRatio);
    }
    stages.At(95);

    BoardTargets targets;
    targets.kind = kind;
    targets.columns = columns;
    targets.rows = rows;
    targets.imageWidth = grey.cols;
    targets.imageHeight = grey.rows;
    targets.turn = turn;
    targets.points.reserve(points.size());
    for (const cv::Point2d& p : points) {
        if (!(p.x >= -0.5 && p.x <= grey.cols - 0.5 && p.y >= -0.5 && p.y <= grey.rows - 0.5))
            NotFound();
        targets.points.push_back({p.x, p.y});
    }
    stages.At(100);
    return targets;
}

// The photograph read as the first 15 % of the work.
cv::Mat ReadStaged(const QString& fileName, int columns, int rows,
                   const DetectionProgress& progress) {
    if (columns < 2 || rows < 2)
        throw std::invalid_argument("A grid of targets has at least 2 columns and 2 rows");
    const Stages stages(progress, 0, 100);
    stages.At(0);
    return ReadPhotograph(fileName);
}

constexpr int kReadShare = 15;

} // namespace

DetectedTargets DetectTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionProgress& progress) {
    return DetectTargetsTuned(grey, kind, columns, rows, DetectionTuning{}, progress);
}

DetectedTargets DetectTargetsTuned(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                                   const DetectionTuning& tuning,
                                   const DetectionProgress& progress) {
    return InCalibrationOrder(FindStaged(grey, kind, columns, rows, tuning, progress, 0, 100));
}

DetectedTargets DetectTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionProgress& progress) {
    const cv::Mat grey = ReadStaged(fileName, columns, rows, progress);
    return InCalibrationOrder(
        FindStaged(grey, kind, columns, rows, DetectionTuning{}, progress, kReadShare, 100));
}

BoardTargets FindBoardTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionTuning& tuning, const DetectionProgress& progress) {
    return FindStaged(grey, kind, columns, rows, tuning, progress, 0, 100);
}

BoardTargets FindBoardTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionTuning& tuning,
                                    const DetectionProgress& progress) {
    const cv::Mat grey = ReadStaged(fileName, columns, rows, progress);
    return FindStaged(grey, kind, columns, rows, tuning, progress, kReadShare, 100);
}

DetectedTargets InCalibrationOrder(const BoardTargets& targets) {
    const int nc = targets.columns;
    const int nr = targets.rows;
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
                throw GridNotFound(messages::GridTurnedAslant().toStdString());
    for (int a = 0; a + 1 < columns; ++a)
        for (int b = 0; b < rows; ++b)
            if (!(point(a + 1, b).x > point(a, b).x))
                throw GridNotFound(messages::GridTurnedAslant().toStdString());
    return ordered;
}

std::vector<PlanePoint> CalibrationScene(const Board& board, const DetectedTargets& targets) {
    return targets.swapped ? SceneGrid(targets.columns, targets.rows, board.pitchY, board.pitch)
                           : SceneGrid(targets.columns, targets.rows, board.pitch, board.pitchY);
}

} // namespace vrma
