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

// OpenCV's grid (pattern.height lines of pattern.width points) in the calibration's
// order; false when it does not have `columns` targets along image x and `rows` along y,
// or its lines are not in order along the image axes.
bool InCalibrationOrder(const std::vector<cv::Point2f>& found, cv::Size pattern, int columns,
                        int rows, std::vector<cv::Point2d>& ordered) {
    const int w = pattern.width;
    const int h = pattern.height;
    if (found.size() != size_t(w) * size_t(h))
        return false;
    const auto at = [&](int line, int index) {
        return cv::Point2d(found[size_t(line) * size_t(w) + size_t(index)]);
    };
    // The mean steps along OpenCV's lines (u) and from line to line (v).
    cv::Point2d u(0.0, 0.0);
    cv::Point2d v(0.0, 0.0);
    for (int line = 0; line < h; ++line)
        for (int index = 0; index + 1 < w; ++index)
            u += at(line, index + 1) - at(line, index);
    for (int line = 0; line + 1 < h; ++line)
        for (int index = 0; index < w; ++index)
            v += at(line + 1, index) - at(line, index);
    const bool uAlongX = std::abs(u.x) * std::abs(v.y) >= std::abs(u.y) * std::abs(v.x);
    if ((uAlongX ? w : h) != columns || (uAlongX ? h : w) != rows)
        return false;
    const bool flipX = (uAlongX ? u.x : v.x) < 0.0;
    const bool flipY = (uAlongX ? v.y : u.y) < 0.0;
    ordered.assign(size_t(columns) * size_t(rows), {});
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            const int a = flipX ? columns - 1 - i : i; // along image x
            const int b = flipY ? rows - 1 - j : j;    // along image y
            ordered[size_t(i) * size_t(rows) + size_t(j)] = uAlongX ? at(b, a) : at(a, b);
        }
    }
    // Every column runs down the image and every row to the right.
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j + 1 < rows; ++j)
            if (!(ordered[size_t(i) * size_t(rows) + size_t(j) + 1].y >
                  ordered[size_t(i) * size_t(rows) + size_t(j)].y))
                return false;
    for (int i = 0; i + 1 < columns; ++i)
        for (int j = 0; j < rows; ++j)
            if (!(ordered[size_t(i + 1) * size_t(rows) + size_t(j)].x >
                  ordered[size_t(i) * size_t(rows) + size_t(j)].x))
                return false;
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

// The pattern sizes to look for: as given, and turned when the grid is not square (the
// finders may want the lines the other way; the order decides which is right).
std::vector<cv::Size> Patterns(int columns, int rows) {
    std::vector<cv::Size> sizes{cv::Size(columns, rows)};
    if (columns != rows)
        sizes.emplace_back(rows, columns);
    return sizes;
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
    const bool found = RefineEach(points.size(), [&](size_t k) {
        const cv::Point2d& coarse = points[k];
        const cv::Rect patch =
            cv::Rect(int(std::lround(coarse.x)) - border, int(std::lround(coarse.y)) - border,
                     2 * border + 1, 2 * border + 1) &
            bounds;
        if (patch.width < 2 * half + 5 || patch.height < 2 * half + 5)
            return false; // a corner at the edge of the photograph: the field is not all in it
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

DetectedTargets DetectTargetsStaged(const cv::Mat& input, TargetKind kind, int columns, int rows,
                                    const DetectionTuning& tuning,
                                    const DetectionProgress& progress, int from, int to);

// The targets on the reduced copy, in the calibration's order; false when not found.
bool FindOnCopy(const cv::Mat& work, TargetKind kind, int columns, int rows,
                const DetectionTuning& tuning, const Stages& stages, bool& lightDots,
                std::vector<cv::Point2d>& ordered) {
    if (kind == TargetKind::Chessboard) {
        if (tuning.finder == ChessboardFinder::Grid) {
            const std::optional<FoundGrid> grid = FindChessboardGrid(work, columns, rows);
            stages.At(80);
            return grid && InCalibrationOrder(grid->points, cv::Size(grid->along, grid->lines),
                                              columns, rows, ordered);
        }
        const std::vector<cv::Size> patterns = Patterns(columns, rows);
        const int attempts = int(patterns.size());
        int attempt = 0;
        for (const cv::Size& pattern : patterns) {
            std::vector<cv::Point2f> corners;
            const bool found = FindChessboardOn(work, pattern, tuning.finder, corners);
            stages.At(10 + 70 * ++attempt / attempts);
            if (found && InCalibrationOrder(corners, pattern, columns, rows, ordered))
                return true;
        }
        return false;
    }
    // Dark dots on light paper, then light dots on dark.
    for (const bool light : {false, true}) {
        cv::Mat image; // a new buffer: the photograph itself is never changed
        if (light)
            cv::bitwise_not(work, image);
        else
            image = work;
        const std::optional<FoundGrid> grid = FindDotGrid(image, columns, rows);
        stages.At(light ? 80 : 45);
        if (grid && InCalibrationOrder(grid->points, cv::Size(grid->along, grid->lines), columns,
                                       rows, ordered)) {
            lightDots = light;
            return true;
        }
    }
    return false;
}

} // namespace

cv::Mat ReadPhotograph(const QString& fileName) {
    return DecodePhotograph(fileName);
}

namespace {

DetectedTargets DetectTargetsStaged(const cv::Mat& input, TargetKind kind, int columns, int rows,
                                    const DetectionTuning& tuning,
                                    const DetectionProgress& progress, int from, int to) {
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
    std::vector<cv::Point2d> points;
    if (!FindOnCopy(work, kind, columns, rows, tuning, stages, lightDots, points))
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

    DetectedTargets targets;
    targets.kind = kind;
    targets.columns = columns;
    targets.rows = rows;
    targets.imageWidth = grey.cols;
    targets.imageHeight = grey.rows;
    targets.points.reserve(points.size());
    for (const cv::Point2d& p : points) {
        if (!(p.x >= -0.5 && p.x <= grey.cols - 0.5 && p.y >= -0.5 && p.y <= grey.rows - 0.5))
            NotFound();
        targets.points.push_back({p.x, p.y});
    }
    stages.At(100);
    return targets;
}

} // namespace

DetectedTargets DetectTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionProgress& progress) {
    return DetectTargetsTuned(grey, kind, columns, rows, DetectionTuning{}, progress);
}

DetectedTargets DetectTargetsTuned(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                                   const DetectionTuning& tuning,
                                   const DetectionProgress& progress) {
    return DetectTargetsStaged(grey, kind, columns, rows, tuning, progress, 0, 100);
}

DetectedTargets DetectTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionProgress& progress) {
    if (columns < 2 || rows < 2)
        throw std::invalid_argument("A grid of targets has at least 2 columns and 2 rows");
    const Stages stages(progress, 0, 100);
    stages.At(0);
    const cv::Mat grey = ReadPhotograph(fileName);
    return DetectTargetsStaged(grey, kind, columns, rows, DetectionTuning{}, progress, 15, 100);
}

} // namespace vrma
