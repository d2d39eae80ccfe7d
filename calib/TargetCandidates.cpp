#include "calib/TargetCandidates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <opencv2/imgproc.hpp>

namespace vrma {

namespace {

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

} // namespace

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

float CornerLook::Measure(cv::Point2f at, const NodeSteps& steps, bool& darkFirst,
                          int* squares) const {
    // The squares towards (+i, +j), (-i, -j), (+i, -j), (-i, +j): the middle of each and
    // four points 40 % of the way from it towards the square's corners.
    constexpr std::array<std::array<size_t, 2>, 4> kQuadrants{{{0, 0}, {1, 1}, {0, 1}, {1, 0}}};
    std::array<float, 4> mean{};
    std::array<std::array<float, 5>, 4> values{};
    std::array<int, 4> seen{};
    std::array<bool, 4> cut{}; // the square's middle outside the picture
    // A point of each square near the corner (a twelfth of the way to its far corner, four
    // pixels at most): of a square the frame cuts it must be seen, and of its colour, where
    // the corner of the board's outer square at the frame has the margin or nothing.
    std::array<float, 4> near{};
    for (size_t q = 0; q < 4; ++q) {
        const cv::Point2f u = steps.i[kQuadrants[q][0]];
        const cv::Point2f v = steps.j[kQuadrants[q][1]];
        const cv::Point2f middle = at + 0.5F * (u + v);
        const float diagonal = std::sqrt((u + v).dot(u + v));
        near[q] = Sample(*smooth_, at + (u + v) * std::min(1.0F / 12.0F, 4.0F / diagonal));
        float sum = 0.0F;
        int n = 0;
        for (const float a : {0.0F, -0.2F, 0.2F}) {
            for (const float b : {-0.2F, 0.2F}) {
                if (a == 0.0F && b > 0.0F)
                    continue; // the middle once
                const cv::Point2f p = a == 0.0F ? middle : middle + a * u + b * v;
                const float value = Sample(*smooth_, p);
                if (std::isnan(value)) {
                    cut[q] = cut[q] || a == 0.0F;
                    continue;
                }
                values[q][size_t(n++)] = value;
                sum += value;
            }
        }
        seen[q] = n;
        mean[q] = n > 0 ? sum / float(n) : 0.0F;
    }
    // Squares of three points seen at least: three of them, both diagonals among them; or
    // two, one of each diagonal, the other two cut off by the picture's edge.
    const auto whole = [&](size_t q) { return seen[q] >= 3; };
    const int count = int(whole(0)) + int(whole(1)) + int(whole(2)) + int(whole(3));
    if (squares)
        *squares = count;
    if (!(whole(0) || whole(1)) || !(whole(2) || whole(3)))
        return 0.0F;
    if (count == 2) {
        for (size_t q = 0; q < 4; ++q)
            if (!whole(q) && !cut[q])
                return 0.0F;
    } else if (count < 2) {
        return 0.0F;
    }
    const auto diagonal = [&](size_t a, size_t b) {
        return whole(a) && whole(b) ? 0.5F * (mean[a] + mean[b]) : whole(a) ? mean[a] : mean[b];
    };
    const float one = diagonal(0, 1);
    const float other = diagonal(2, 3);
    const float level = 0.5F * (one + other);
    const float contrast = std::abs(one - other);
    darkFirst = one < other;
    for (size_t q = 0; q < 4; ++q) {
        const bool darkSquare = (q < 2) == darkFirst;
        if (!whole(q)) {
            if (std::isnan(near[q]) || (near[q] < level) != darkSquare)
                return 0.0F;
            continue;
        }
        for (int n = 0; n < seen[q]; ++n)
            if ((values[q][size_t(n)] < level) != darkSquare)
                return 0.0F;
    }
    return contrast;
}

bool CornerLook::Fits(cv::Point2f at, const NodeSteps& steps, int i, int j, bool darkFirst,
                      float contrast, int* squares) const {
    bool first = false;
    const float measured = Measure(at, steps, first, squares);
    if (!(measured >= std::max(10.0F, 0.25F * contrast)))
        return false;
    return first == (darkFirst != (((i + j) & 1) != 0));
}

} // namespace vrma
