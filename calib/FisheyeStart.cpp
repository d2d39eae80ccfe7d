#include "calib/FisheyeStart.h"

#include "calib/CameraCalibration.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/calib3d.hpp>

namespace vrma {

namespace {

// The rays beyond this angle off the axis do not meet a plane in front of the camera well
// enough for a homography.
constexpr double kLargestAngle = 80.0 * std::numbers::pi / 180.0;

// The mean squared residual (pixels) of the boards under the equidistant projection of
// focal length f, and how many photographs took part.
std::pair<double, int> PlaneResidual(std::span<const BoardPhoto> photos, double cx, double cy,
                                     double f) {
    double squares = 0.0;
    size_t points = 0;
    int photosFitted = 0;
    std::vector<cv::Point2d> board, plain;
    std::vector<cv::Point2d> image;
    for (const BoardPhoto& photo : photos) {
        board.clear();
        plain.clear();
        image.clear();
        for (size_t k = 0; k < photo.board.size(); ++k) {
            const double dx = photo.image[k].x - cx;
            const double dy = photo.image[k].y - cy;
            const double r = std::hypot(dx, dy);
            const double theta = r / f;
            if (theta >= kLargestAngle)
                continue;
            const double scale = r > 0.0 ? std::tan(theta) / r : 1.0 / f;
            board.emplace_back(photo.board[k].x, photo.board[k].y);
            plain.emplace_back(dx * scale, dy * scale);
            image.emplace_back(photo.image[k].x, photo.image[k].y);
        }
        if (board.size() < 6)
            continue;
        const cv::Mat h = cv::findHomography(board, plain, 0);
        if (h.empty())
            continue;
        std::vector<cv::Point2d> mapped;
        cv::perspectiveTransform(board, mapped, h);
        for (size_t k = 0; k < mapped.size(); ++k) {
            const double rho = std::hypot(mapped[k].x, mapped[k].y);
            const double scale = rho > 0.0 ? f * std::atan(rho) / rho : f;
            const double ex = cx + mapped[k].x * scale - image[k].x;
            const double ey = cy + mapped[k].y * scale - image[k].y;
            squares += ex * ex + ey * ey;
        }
        points += mapped.size();
        ++photosFitted;
    }
    if (points == 0 || !std::isfinite(squares))
        return {std::numeric_limits<double>::infinity(), 0};
    return {squares / double(points), photosFitted};
}

} // namespace

std::optional<double> EquidistantFocalLength(std::span<const BoardPhoto> photos, double cx,
                                             double cy, double frameSide) {
    // A fifth of the frame's side (a circle of some 300 degrees) to three times it (a lens
    // nearly without distortion), in steps of 5 %, then narrowed by golden sections.
    const auto cost = [&](double f) {
        const auto [residual, fitted] = PlaneResidual(photos, cx, cy, f);
        return fitted >= std::min<int>(3, int(photos.size()))
                   ? residual
                   : std::numeric_limits<double>::infinity();
    };
    double best = 0.0;
    double bestCost = std::numeric_limits<double>::infinity();
    constexpr double kStep = 1.05;
    for (double f = 0.2 * frameSide; f <= 3.0 * frameSide; f *= kStep) {
        const double c = cost(f);
        if (c < bestCost) {
            bestCost = c;
            best = f;
        }
    }
    if (!std::isfinite(bestCost))
        return std::nullopt;
    double low = best / kStep, high = best * kStep;
    const double golden = 0.5 * (std::sqrt(5.0) - 1.0);
    for (int iteration = 0; iteration < 40; ++iteration) {
        const double a = high - golden * (high - low);
        const double b = low + golden * (high - low);
        if (cost(a) < cost(b))
            high = b;
        else
            low = a;
    }
    return 0.5 * (low + high);
}

} // namespace vrma
