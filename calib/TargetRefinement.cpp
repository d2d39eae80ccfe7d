#include "calib/TargetRefinement.h"
#include "calib/ImageSampling.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace vrma {

namespace {

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

} // namespace

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

Refined RefineCorner(const cv::Mat& grey, cv::Point2d& point, int window, double reach) {
    const cv::Point2d coarse = point;
    // The window stays a pixel inside the photograph: near its edge it is smaller.
    const double edge =
        std::min({coarse.x, coarse.y, grey.cols - 1.0 - coarse.x, grey.rows - 1.0 - coarse.y});
    if (!std::isfinite(edge))
        return Refined::Lost;
    window = std::min(window, int(std::floor(edge)) - 2);
    if (window < 2)
        return Refined::AtEdge;
    const int smoothing = int(std::ceil(3.0 * kCornerSmoothing));
    const int border = window + 2 + smoothing;
    const cv::Rect patch =
        cv::Rect(int(std::lround(coarse.x)) - border, int(std::lround(coarse.y)) - border,
                 2 * border + 1, 2 * border + 1) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    cv::Mat smooth;
    cv::GaussianBlur(grey(patch), smooth, cv::Size(0, 0), kCornerSmoothing, kCornerSmoothing,
                     cv::BORDER_REPLICATE);
    const cv::Point2f start(float(coarse.x - patch.x), float(coarse.y - patch.y));
    std::vector<cv::Point2f> corner{start};
    cv::cornerSubPix(smooth, corner, cv::Size(window, window), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 100, 1e-4));
    if (corner[0] == start)
        return Refined::Unmoved;
    const cv::Point2d refined(double(corner[0].x) + patch.x, double(corner[0].y) + patch.y);
    // A corner that ran off is a window that met something else: the field is not what
    // the search took it for.
    if (!std::isfinite(refined.x) || !std::isfinite(refined.y) ||
        cv::norm(refined - coarse) > reach)
        return Refined::Lost;
    point = refined;
    return Refined::Done;
}

namespace {

// Whether p lies inside the convex quadrilateral q (either way round) grown by `margin`.
bool InsideGrown(const std::array<cv::Point2d, 4>& q, const cv::Point2d& p, double margin) {
    const cv::Point2d a = q[1] - q[0];
    const cv::Point2d b = q[2] - q[1];
    const double turn = a.x * b.y - a.y * b.x > 0.0 ? 1.0 : -1.0;
    for (size_t k = 0; k < 4; ++k) {
        const cv::Point2d edge = q[(k + 1) % 4] - q[k];
        const double length = cv::norm(edge);
        if (!(length > 0.0))
            return false;
        const cv::Point2d d = p - q[k];
        // Distance to the edge's line, positive inside.
        if (turn * (edge.x * d.y - edge.y * d.x) / length < -margin)
            return false;
    }
    return true;
}

} // namespace

Refined RefineCornerBeside(const cv::Mat& grey, cv::Point2d& point, int window, double reach,
                           const std::vector<std::array<cv::Point2d, 4>>& away, double margin) {
    const cv::Point2d coarse = point;
    const double edge =
        std::min({coarse.x, coarse.y, grey.cols - 1.0 - coarse.x, grey.rows - 1.0 - coarse.y});
    if (!std::isfinite(edge))
        return Refined::Lost;
    window = std::min(window, int(std::floor(edge)) - 3);
    if (window < 2)
        return Refined::AtEdge;
    // The patch reaches as far as the point may go and the window and the gradient beyond.
    const int smoothing = int(std::ceil(3.0 * kCornerSmoothing));
    const int border = window + int(std::ceil(reach)) + 3 + smoothing;
    const cv::Rect patch =
        cv::Rect(int(std::lround(coarse.x)) - border, int(std::lround(coarse.y)) - border,
                 2 * border + 1, 2 * border + 1) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    cv::Mat smooth;
    grey(patch).convertTo(smooth, CV_32F);
    cv::GaussianBlur(smooth, smooth, cv::Size(0, 0), kCornerSmoothing, kCornerSmoothing,
                     cv::BORDER_REPLICATE);
    const int side = 2 * window + 3; // the window and a pixel around it for the gradients
    cv::Point2d q = coarse - cv::Point2d(patch.x, patch.y);
    const cv::Point2d start = q;
    for (int iteration = 0; iteration < 100; ++iteration) {
        cv::Mat sub;
        cv::getRectSubPix(smooth, cv::Size(side, side), cv::Point2f(float(q.x), float(q.y)), sub,
                          CV_32F);
        double a = 0.0, b = 0.0, c = 0.0, bx = 0.0, by = 0.0;
        for (int dy = -window; dy <= window; ++dy) {
            const float* above = sub.ptr<float>(dy + window);
            const float* row = sub.ptr<float>(dy + window + 1);
            const float* below = sub.ptr<float>(dy + window + 2);
            for (int dx = -window; dx <= window; ++dx) {
                const cv::Point2d at = q + cv::Point2d(dx, dy);
                const cv::Point2d onPhoto = at + cv::Point2d(patch.x, patch.y);
                if (std::any_of(away.begin(), away.end(), [&](const auto& region) {
                        return InsideGrown(region, onPhoto, margin);
                    }))
                    continue;
                const int x = dx + window + 1;
                const double gx = 0.5 * (double(row[x + 1]) - double(row[x - 1]));
                const double gy = 0.5 * (double(below[x]) - double(above[x]));
                const double weight =
                    std::exp(-double(dx * dx + dy * dy) / double(window * window));
                const double gxx = weight * gx * gx;
                const double gxy = weight * gx * gy;
                const double gyy = weight * gy * gy;
                a += gxx;
                b += gxy;
                c += gyy;
                bx += gxx * at.x + gxy * at.y;
                by += gxy * at.x + gyy * at.y;
            }
        }
        const double det = a * c - b * b;
        if (!(std::abs(det) > 1e-9 * (a + c) * (a + c)))
            return Refined::Lost;
        const cv::Point2d next((c * bx - b * by) / det, (a * by - b * bx) / det);
        if (!std::isfinite(next.x) || !std::isfinite(next.y) || cv::norm(next - start) > reach)
            return Refined::Lost;
        const double moved = cv::norm(next - q);
        q = next;
        if (moved < 1e-4)
            break;
    }
    point = q + cv::Point2d(patch.x, patch.y);
    return Refined::Done;
}

Refined RefineCorners(const cv::Mat& grey, std::vector<cv::Point2d>& points,
                      const std::vector<double>& spacing) {
    const double smallest = *std::min_element(spacing.begin(), spacing.end());
    const int half = std::clamp(int(std::floor(0.35 * smallest)), 2, 40);
    std::atomic<bool> atEdge{false};
    const bool found = RefineEach(points.size(), [&](size_t k) {
        // A chessboard's corner put by the grid is taken where the saddle's search gives up.
        const Refined refined = RefineCorner(grey, points[k], half, 0.3 * spacing[k]);
        if (refined == Refined::AtEdge)
            atEdge = true;
        return refined == Refined::Done || refined == Refined::Unmoved;
    });
    if (atEdge)
        return Refined::AtEdge;
    return found ? Refined::Done : Refined::Lost;
}

Refined RefineDots(const cv::Mat& grey, std::vector<cv::Point2d>& points,
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
        return Refined::Lost;
    CorrectPerspective(points, areas, columns, rows, pitchRatio);
    return Refined::Done;
}

double EdgeBlur(const cv::Mat& grey, const std::vector<cv::Point2d>& points, int columns,
                int rows) {
    // Across the edge between two neighbouring corners, at its middle: the profile from a
    // third of a step on one side to a third on the other.
    std::vector<double> sigmas;
    const auto at = [&](int i, int j) { return points[size_t(i) * size_t(rows) + size_t(j)]; };
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            for (const auto& [di, dj] : {std::array<int, 2>{1, 0}, std::array<int, 2>{0, 1}}) {
                if (i + di >= columns || j + dj >= rows)
                    continue;
                const cv::Point2d a = at(i, j);
                const cv::Point2d b = at(i + di, j + dj);
                const double length = cv::norm(b - a);
                if (!(length > 6.0))
                    continue;
                const cv::Point2d middle = 0.5 * (a + b);
                const cv::Point2d across(-(b - a).y / length, (b - a).x / length);
                const int n = int(std::floor(length / 3.0));
                double low = 255.0;
                double high = 0.0;
                double steepest = 0.0;
                double previous = Sample(grey, middle - double(n) * across);
                bool inside = !std::isnan(previous);
                for (int s = -n + 1; s <= n && inside; ++s) {
                    const double value = Sample(grey, middle + double(s) * across);
                    inside = !std::isnan(value);
                    low = std::min(low, value);
                    high = std::max(high, value);
                    steepest = std::max(steepest, std::abs(value - previous));
                    previous = value;
                }
                // A blurred step of contrast C rises by C / (sigma sqrt(2 pi)) a pixel at most.
                if (inside && high - low > 20.0 && steepest > 0.0)
                    sigmas.push_back((high - low) / (steepest * std::sqrt(2.0 * std::numbers::pi)));
            }
        }
    }
    if (sigmas.empty())
        return 0.0;
    std::nth_element(sigmas.begin(), sigmas.begin() + std::ptrdiff_t(sigmas.size() / 2),
                     sigmas.end());
    return sigmas[sigmas.size() / 2];
}

} // namespace vrma
