#include "calib/CharucoDetection.h"
#include "calib/ImageSampling.h"

#include "calib/CharucoBoard.h"
#include "calib/TargetRefinement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <unordered_map>

namespace vrma {

namespace {

// The half side of the window in which OpenCV measures a marker's corners, pixels of the
// copy searched.
constexpr int kMarkerCornerWindow = 2;
// A marker's neighbour agrees with it when it lies within this share of a square of where
// the marker's outline puts it; neighbours up to this many squares away are asked.
constexpr double kNeighbourTolerance = 0.2;
constexpr int kNeighbourReach = 2;
// The corner between two markers: where each alone puts it may differ by this share of the
// paper between the corner and the markers (or this many pixels, when more).
constexpr double kMarkersAgree = 0.25;
constexpr double kMarkersAgreePx = 1.5;
// The paper between a corner and its markers, pixels, that its measurement needs; the
// window that keeps off the markers stays this far from them. Where that window is smaller
// than kWideBelow, a chessboard's window (this share of the room to the corners around)
// measures it again with the markers left out, this far around them; the two must agree to
// within kWindowsAgreePx.
constexpr double kSmallestGapPx = 3.0;
constexpr double kWindowMargin = 2.0;
constexpr int kWideBelow = 6;
constexpr double kWindowShare = 0.35;
constexpr double kMarkerMarginPx = 4.0;
constexpr double kWindowsAgreePx = 0.5;
// A corner measured farther than this share of its window from where the markers put it
// (but never less than a pixel) is not taken.
constexpr double kReachShare = 0.5;
// A corner's squares as printed: its light squares' paper lighter than its dark squares by
// this much at least (grey levels), and this share of the contrast around it.
constexpr double kLeastContrast = 12.0;
constexpr double kContrastShare = 0.3;

struct Marker {
    int id = -1;
    std::array<cv::Point2d, 4> corners; // photograph pixels, in OpenCV's order
    cv::Point2d centre;
    double side = 0.0; // pixels, the mean of its four sides
};

cv::Point2d Apply(const cv::Matx33d& h, const cv::Point2d& p) {
    const double w = h(2, 0) * p.x + h(2, 1) * p.y + h(2, 2);
    return {(h(0, 0) * p.x + h(0, 1) * p.y + h(0, 2)) / w,
            (h(1, 0) * p.x + h(1, 1) * p.y + h(1, 2)) / w};
}

// The board's markers found on the copy, in photograph pixels; a marker found twice is
// none of them.
std::vector<Marker> FoundMarkers(const cv::Mat& photo, const cv::Mat& copy,
                                 const CharucoLayout& layout) {
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    const cv::Ptr<cv::aruco::DetectorParameters> parameters =
        cv::aruco::DetectorParameters::create();
    // The markers' corners to a fraction of a pixel, in a window small enough to keep off
    // the chessboard's corner beside each (an eighth of a square away on a usual board).
    parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
    parameters->cornerRefinementWinSize = kMarkerCornerWindow;
    cv::aruco::detectMarkers(copy, cv::Ptr<cv::aruco::Dictionary>(layout.dictionary), corners, ids,
                             parameters);
    const double sx = double(photo.cols) / double(copy.cols);
    const double sy = double(photo.rows) / double(copy.rows);
    std::unordered_map<int, int> seen;
    for (const int id : ids)
        ++seen[id];
    std::vector<Marker> markers;
    for (size_t n = 0; n < ids.size(); ++n) {
        if (ids[n] < 0 || size_t(ids[n]) >= layout.squares.size() || seen[ids[n]] != 1 ||
            corners[n].size() != 4)
            continue;
        Marker marker;
        marker.id = ids[n];
        for (size_t c = 0; c < 4; ++c) {
            // Pixel centres: (x + 0.5) * scale - 0.5 on each axis.
            marker.corners[c] = {(corners[n][c].x + 0.5) * sx - 0.5,
                                 (corners[n][c].y + 0.5) * sy - 0.5};
            marker.centre += 0.25 * marker.corners[c];
        }
        for (size_t c = 0; c < 4; ++c)
            marker.side += 0.25 * cv::norm(marker.corners[(c + 1) % 4] - marker.corners[c]);
        markers.push_back(marker);
    }
    return markers;
}

// The homography from the board's squares to the photograph that the markers' corners
// give: exact for one marker, the least squares one for more. False when there is none.
bool HomographyOf(const std::vector<const Marker*>& markers, const CharucoLayout& layout,
                  cv::Matx33d& h) {
    std::vector<cv::Point2d> board;
    std::vector<cv::Point2d> image;
    for (const Marker* marker : markers) {
        const std::vector<cv::Point2d> corners = layout.MarkerCorners(marker->id);
        board.insert(board.end(), corners.begin(), corners.end());
        image.insert(image.end(), marker->corners.begin(), marker->corners.end());
    }
    cv::Mat found;
    try {
        found = cv::findHomography(board, image, 0);
    } catch (const cv::Exception&) {
        return false;
    }
    if (found.empty())
        return false;
    h = found;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!std::isfinite(h(r, c)))
                return false;
    return true;
}

// The markers that a neighbour on the board confirms: it lies where the marker's own
// outline puts it.
std::vector<Marker> Confirmed(const std::vector<Marker>& markers, const CharucoLayout& layout) {
    std::vector<Marker> kept;
    for (const Marker& marker : markers) {
        cv::Matx33d h;
        if (!HomographyOf({&marker}, layout, h))
            continue;
        const cv::Point own = layout.squares[size_t(marker.id)];
        const bool agreed = std::any_of(markers.begin(), markers.end(), [&](const Marker& other) {
            const cv::Point square = layout.squares[size_t(other.id)];
            if (other.id == marker.id || std::abs(square.x - own.x) > kNeighbourReach ||
                std::abs(square.y - own.y) > kNeighbourReach)
                return false;
            const cv::Point2d predicted = Apply(h, cv::Point2d(square.x + 0.5, square.y + 0.5));
            const double squarePx = other.side / (1.0 - 2.0 * layout.gap);
            return cv::norm(predicted - other.centre) < kNeighbourTolerance * squarePx;
        });
        if (agreed)
            kept.push_back(marker);
    }
    return kept;
}

// The smallest distance from p's image to the images of p + steps along the board's axes,
// pixels.
double ImageReach(const cv::Matx33d& h, const cv::Point2d& p, double step) {
    const cv::Point2d at = Apply(h, p);
    double nearest = std::numeric_limits<double>::infinity();
    for (const cv::Point2d& d : {cv::Point2d(step, 0.0), cv::Point2d(-step, 0.0),
                                 cv::Point2d(0.0, step), cv::Point2d(0.0, -step)})
        nearest = std::min(nearest, cv::norm(Apply(h, p + d) - at));
    return nearest;
}

// How far a square window about the corner's image may reach (half its side, pixels)
// before it meets a marker: the nearest point of the near sides of the two markers beside
// the corner, by the larger of its distances along image x and y.
double RoomToMarkers(const cv::Matx33d& h, const cv::Point2d& corner, double gap,
                     bool markersLeftAndRight) {
    const cv::Point2d at = Apply(h, corner);
    // The light squares lie towards (+1, -1) and (-1, +1), or (-1, -1) and (+1, +1).
    const double flip = markersLeftAndRight ? -1.0 : 1.0;
    constexpr int kSamples = 16;
    double room = std::numeric_limits<double>::infinity();
    for (const double side : {1.0, -1.0}) {
        const cv::Point2d toward(side, side * flip);
        const cv::Point2d near = corner + gap * toward; // the marker's corner nearest the corner
        for (int n = 0; n <= kSamples; ++n) {
            // Half of each of its two sides from there.
            const double along = 0.5 * double(n) / kSamples;
            for (const cv::Point2d& q : {near + cv::Point2d(toward.x * along, 0.0),
                                         near + cv::Point2d(0.0, toward.y * along)}) {
                const cv::Point2d d = Apply(h, q) - at;
                room = std::min(room, std::max(std::abs(d.x), std::abs(d.y)));
            }
        }
    }
    return room;
}

// How far a square window about the corner's image may reach before it meets one of the
// eight corners around it: the nearest by the larger of its distances along image x and y
// (under a strong slant the squares are narrow and a corner across one of them is near).
double RoomToCorners(const cv::Matx33d& h, const cv::Point2d& corner) {
    const cv::Point2d at = Apply(h, corner);
    double room = std::numeric_limits<double>::infinity();
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            if (dx == 0 && dy == 0)
                continue;
            const cv::Point2d d = Apply(h, corner + cv::Point2d(dx, dy)) - at;
            room = std::min(room, std::max(std::abs(d.x), std::abs(d.y)));
        }
    }
    return room;
}

// Whether the four squares around the corner measured at `at` (which the homography h puts
// at board point `corner`) are dark and light as printed: the paper between the corner and
// the markers in the light ones, half way.
bool SquaresAsPrinted(const cv::Mat& photo, const cv::Matx33d& h, const cv::Point2d& corner,
                      const cv::Point2d& at, double gap) {
    const cv::Point2d shift = at - Apply(h, corner);
    double darkest = 255.0, dark = 0.0, light = 255.0, lightest = 0.0;
    for (const int sx : {-1, 1}) {
        for (const int sy : {-1, 1}) {
            const cv::Point2d inside = corner + 0.5 * gap * cv::Point2d(sx, sy);
            const double value = Sample(photo, Apply(h, inside) + shift);
            if (std::isnan(value))
                return false;
            // The square on that side: (x, y) = the corner's less one where the side is -1.
            const int x = int(std::lround(corner.x)) - (sx < 0 ? 1 : 0);
            const int y = int(std::lround(corner.y)) - (sy < 0 ? 1 : 0);
            if ((x + y) % 2 == 0) {
                darkest = std::min(darkest, value);
                dark = std::max(dark, value);
            } else {
                light = std::min(light, value);
                lightest = std::max(lightest, value);
            }
        }
    }
    const double contrast = light - dark;
    return contrast >= kLeastContrast && contrast >= kContrastShare * (lightest - darkest);
}

// Corner (i, j) put by the markers found beside it and measured on the photograph; false
// when it cannot be.
bool MeasuredCorner(const cv::Mat& photo, const CharucoLayout& layout,
                    const std::unordered_map<int, const Marker*>& byId, int i, int j,
                    cv::Point2d& point) {
    // Its two light squares: (i + 1, j) and (i, j + 1), or (i, j) and (i + 1, j + 1).
    std::vector<const Marker*> beside;
    for (const cv::Point square :
         {cv::Point(i, j), cv::Point(i + 1, j), cv::Point(i, j + 1), cv::Point(i + 1, j + 1)}) {
        const int id = layout.MarkerAt(square.x, square.y);
        if (id < 0)
            continue;
        if (const auto found = byId.find(id); found != byId.end())
            beside.push_back(found->second);
    }
    if (beside.empty())
        return false;
    const cv::Point2d corner(i + 1.0, j + 1.0);
    cv::Matx33d h;
    if (!HomographyOf(beside, layout, h))
        return false;
    const cv::Point2d put = Apply(h, corner);
    const double room = RoomToMarkers(h, corner, layout.gap, (i + j) % 2 == 0);
    if (!(room >= kSmallestGapPx) || !(ImageReach(h, corner, 1.0) >= kSmallestSpacing))
        return false;
    if (beside.size() == 2) {
        cv::Matx33d first;
        cv::Matx33d second;
        if (!HomographyOf({beside[0]}, layout, first) || !HomographyOf({beside[1]}, layout, second))
            return false;
        if (cv::norm(Apply(first, corner) - Apply(second, corner)) >
            std::max(kMarkersAgreePx, kMarkersAgree * room))
            return false;
    }
    // The saddle point in a window that keeps off the markers; where that window is small
    // (small squares, blur), in a chessboard's window with the markers left out of it,
    // which must agree.
    const double reach = std::max(1.0, kReachShare * room);
    const int window = std::clamp(int(std::floor(room - kWindowMargin)), 2, 40);
    point = put;
    if (RefineCorner(photo, point, window, reach) != Refined::Done)
        return false;
    if (window < kWideBelow) {
        std::vector<std::array<cv::Point2d, 4>> away;
        for (const cv::Point square :
             {cv::Point(i, j), cv::Point(i + 1, j), cv::Point(i, j + 1), cv::Point(i + 1, j + 1)}) {
            const int id = layout.MarkerAt(square.x, square.y);
            if (id < 0)
                continue;
            // A marker found is where it was found; another where the markers put it.
            if (const auto found = byId.find(id); found != byId.end()) {
                away.push_back(found->second->corners);
                continue;
            }
            const std::vector<cv::Point2d> corners = layout.MarkerCorners(id);
            away.push_back({Apply(h, corners[0]), Apply(h, corners[1]), Apply(h, corners[2]),
                            Apply(h, corners[3])});
        }
        const cv::Point2d near = point;
        const int wide =
            std::clamp(int(std::floor(kWindowShare * RoomToCorners(h, corner))), 2, 40);
        if (RefineCornerBeside(photo, point, wide, reach, away, kMarkerMarginPx) != Refined::Done ||
            cv::norm(point - near) > kWindowsAgreePx)
            return false;
    }
    return SquaresAsPrinted(photo, h, corner, point, layout.gap);
}

// The angle from image x to the board's x axis, clockwise on screen, to the nearest
// quarter, where the homography of all markers puts the middle of those found.
int TurnOf(const cv::Matx33d& h, const std::vector<Marker>& markers, const CharucoLayout& layout) {
    cv::Point2d middle(0.0, 0.0);
    for (const Marker& marker : markers)
        middle += cv::Point2d(layout.squares[size_t(marker.id)]) + cv::Point2d(0.5, 0.5);
    middle *= 1.0 / double(markers.size());
    const cv::Point2d x = Apply(h, middle + cv::Point2d(1.0, 0.0)) - Apply(h, middle);
    const double angle = std::atan2(x.y, x.x) * 180.0 / std::numbers::pi;
    const long quarter = std::lround(angle / 90.0);
    return int(((quarter % 4) + 4) % 4) * 90;
}

} // namespace

std::optional<BoardTargets> FindCharucoCorners(const cv::Mat& photo, const cv::Mat& copy,
                                               int columns, int rows, double share, int dictionary,
                                               SearchRecord& record) {
    record.coded = true;
    const CharucoLayout layout = CharucoLayoutOf(columns, rows, share, dictionary);
    const std::vector<Marker> markers = Confirmed(FoundMarkers(photo, copy, layout), layout);
    record.markers = std::max(record.markers, int(markers.size()));
    if (markers.empty())
        return std::nullopt;
    std::unordered_map<int, const Marker*> byId;
    for (const Marker& marker : markers)
        byId.emplace(marker.id, &marker);

    BoardTargets targets;
    targets.kind = TargetKind::Charuco;
    targets.columns = columns;
    targets.rows = rows;
    targets.imageWidth = photo.cols;
    targets.imageHeight = photo.rows;
    targets.foundBy = GridSources::Markers;
    std::vector<char> alongX(size_t(columns), 0);
    std::vector<char> alongY(size_t(rows), 0);
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            cv::Point2d point;
            if (!MeasuredCorner(photo, layout, byId, i, j, point))
                continue;
            targets.indices.push_back(i * rows + j);
            targets.points.push_back({point.x, point.y});
            alongX[size_t(i)] = alongY[size_t(j)] = 1;
        }
    }
    record.corners = std::max(record.corners, int(targets.points.size()));
    // Corners on one line of the board fix no pose.
    if (targets.points.size() < size_t(kFewestCorners) ||
        std::count(alongX.begin(), alongX.end(), 1) < 2 ||
        std::count(alongY.begin(), alongY.end(), 1) < 2)
        return std::nullopt;
    std::vector<const Marker*> all;
    all.reserve(markers.size());
    for (const Marker& marker : markers)
        all.push_back(&marker);
    cv::Matx33d h;
    if (!HomographyOf(all, layout, h))
        return std::nullopt;
    targets.turn.degrees = TurnOf(h, markers, layout);
    targets.turn.told = true;
    if (targets.whole())
        targets.indices.clear();
    return targets;
}

} // namespace vrma
