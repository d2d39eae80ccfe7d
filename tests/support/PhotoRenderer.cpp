#include "support/PhotoRenderer.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/aruco/charuco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace vrma::test {

namespace {

constexpr int kSamples = 16; // per side, in a pixel that an edge crosses

// A ChArUco board is drawn by OpenCV at this many pixels a square (its squares' edges, and
// so its corners, fall on whole pixels).
constexpr int kCharucoSquarePx = 112;

// Reflectances of the field's parts (0..1).
constexpr double kPaper = 0.92;
constexpr double kInk = 0.06;
constexpr double kTable = 0.35;

double Radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// The scene on the plane: what lies at (X, Y), and how far the nearest edge is.
class Field {
public:
    explicit Field(const PhotoScene& scene)
        : scene_(scene), px_(scene.pitch), py_(scene.pitchY > 0.0 ? scene.pitchY : scene.pitch),
          radius_(0.25 * std::min(px_, py_)) {
        const double border = 1.0 + scene.margin;
        left_ = -border * px_;
        right_ = (scene.columns - 1 + border) * px_;
        top_ = -border * py_;
        bottom_ = (scene.rows - 1 + border) * py_;
        light_ = scene.kind == TargetKind::Dots && scene.lightOnDark;
        if (scene.kind == TargetKind::Charuco)
            DrawCharuco();
    }

    double left() const { return left_; }
    double right() const { return right_; }
    double top() const { return top_; }
    double bottom() const { return bottom_; }

    double Value(double x, double y) const {
        if (x < left_ || x >= right_ || y < top_ || y >= bottom_)
            return kTable;
        const double ground = light_ ? kInk : kPaper;
        const double mark = light_ ? kPaper : kInk;
        if (scene_.kind == TargetKind::Charuco) {
            const cv::Point at = PatternPixel(x, y);
            if (at.x < 0 || at.y < 0 || at.x >= pattern_.cols || at.y >= pattern_.rows)
                return ground;
            return pattern_.at<uchar>(at) < 128 ? mark : ground;
        }
        if (scene_.kind == TargetKind::Chessboard) {
            const double ix = std::floor(x / px_);
            const double iy = std::floor(y / py_);
            if (ix < -1.0 || ix > scene_.columns - 1 || iy < -1.0 || iy > scene_.rows - 1)
                return ground;
            return std::fmod(std::abs(ix + iy), 2.0) == 0.0 ? mark : ground;
        }
        const double dx =
            x - px_ * std::clamp(std::round(x / px_), 0.0, double(scene_.columns - 1));
        const double dy = y - py_ * std::clamp(std::round(y / py_), 0.0, double(scene_.rows - 1));
        return dx * dx + dy * dy < radius_ * radius_ ? mark : ground;
    }

    // No edge of the scene within `reach` of (x, y) (plane units).
    bool Uniform(double x, double y, double reach) const {
        if (std::min({std::abs(x - left_), std::abs(x - right_), std::abs(y - top_),
                      std::abs(y - bottom_)}) <= reach)
            return false;
        if (scene_.kind == TargetKind::Charuco) {
            // The pattern's outline, and its edges inside (their distance, pattern pixels).
            const double px = px_ / kCharucoSquarePx;
            if (std::min({std::abs(x + px_), std::abs(x - scene_.columns * px_), std::abs(y + py_),
                          std::abs(y - scene_.rows * py_)}) <= reach + px)
                return false;
            const cv::Point at = PatternPixel(x, y);
            if (at.x < 0 || at.y < 0 || at.x >= pattern_.cols || at.y >= pattern_.rows)
                return true;
            return double(edges_.at<float>(at)) * px > reach + 2.0 * px;
        }
        if (scene_.kind == TargetKind::Chessboard) {
            const double gx = std::abs(x - px_ * std::round(x / px_));
            const double gy = std::abs(y - py_ * std::round(y / py_));
            return gx > reach && gy > reach;
        }
        const double dx =
            x - px_ * std::clamp(std::round(x / px_), 0.0, double(scene_.columns - 1));
        const double dy = y - py_ * std::clamp(std::round(y / py_), 0.0, double(scene_.rows - 1));
        return std::abs(std::hypot(dx, dy) - radius_) > reach;
    }

    bool OnPaper(double x, double y) const {
        return x >= left_ && x < right_ && y >= top_ && y < bottom_;
    }

    double pitchX() const { return px_; }
    double pitchY() const { return py_; }

private:
    // The board as OpenCV draws it, and how far each of its pixels lies from an edge.
    void DrawCharuco() {
        const cv::Ptr<cv::aruco::CharucoBoard> board = cv::aruco::CharucoBoard::create(
            scene_.columns + 1, scene_.rows + 1, 1.0F, float(scene_.markerShare),
            cv::aruco::getPredefinedDictionary(scene_.dictionary));
        board->draw(
            cv::Size((scene_.columns + 1) * kCharucoSquarePx, (scene_.rows + 1) * kCharucoSquarePx),
            pattern_, 0, 1);
        cv::Mat apart(pattern_.size(), CV_8U, cv::Scalar(255));
        for (int v = 0; v < pattern_.rows; ++v)
            for (int u = 0; u < pattern_.cols; ++u) {
                const bool dark = pattern_.at<uchar>(v, u) < 128;
                if ((u + 1 < pattern_.cols && (pattern_.at<uchar>(v, u + 1) < 128) != dark) ||
                    (v + 1 < pattern_.rows && (pattern_.at<uchar>(v + 1, u) < 128) != dark))
                    apart.at<uchar>(v, u) = 0;
            }
        cv::distanceTransform(apart, edges_, cv::DIST_L2, 3);
    }

    cv::Point PatternPixel(double x, double y) const {
        return {int(std::floor((x / px_ + 1.0) * kCharucoSquarePx)),
                int(std::floor((y / py_ + 1.0) * kCharucoSquarePx))};
    }

    const PhotoScene& scene_;
    double px_;
    double py_;
    double radius_;
    double left_ = 0.0;
    double right_ = 0.0;
    double top_ = 0.0;
    double bottom_ = 0.0;
    bool light_ = false;
    cv::Mat pattern_; // a ChArUco board: 8-bit, kCharucoSquarePx a square
    cv::Mat edges_;   // its pixels' distance from an edge, pattern pixels
};

cv::Matx33d Rotation(const PhotoScene& scene) {
    const double ax = Radians(scene.tiltX);
    const double ay = Radians(scene.tiltY);
    const double az = Radians(scene.roll);
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(ax), -std::sin(ax), 0, std::sin(ax), std::cos(ax));
    const cv::Matx33d ry(std::cos(ay), 0, std::sin(ay), 0, 1, 0, -std::sin(ay), 0, std::cos(ay));
    const cv::Matx33d rz(std::cos(az), -std::sin(az), 0, std::sin(az), std::cos(az), 0, 0, 0, 1);
    return rz * ry * rx;
}

cv::Point2d Apply(const cv::Matx33d& h, double x, double y) {
    const double w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    return {(h(0, 0) * x + h(0, 1) * y + h(0, 2)) / w, (h(1, 0) * x + h(1, 1) * y + h(1, 2)) / w};
}

// The camera and the board's place in front of it.
struct View {
    Camera camera;
    Pose pose;
    cv::Matx33d toImage;  // the field's plane to the image of the camera without its lens
    cv::Matx33d toPlane;  // and back
    cv::Matx33d rotation; // the board's frame to the camera's: camera = R board + origin
    cv::Vec3d origin;
    cv::Matx33d rayToPlane;  // a ray's direction in the camera's frame to the plane's point
    cv::Vec3d cameraOnBoard; // the camera's centre in the board's frame
};

View MakeView(const PhotoScene& scene, const Field& field) {
    View view;
    Camera& camera = view.camera;
    camera.width = scene.width;
    camera.height = scene.height;
    camera[CameraParameter::Fx] = scene.fx;
    camera[CameraParameter::Fy] = scene.fy;
    camera[CameraParameter::Cx] = scene.cx >= 0.0 ? scene.cx : 0.5 * (scene.width - 1);
    camera[CameraParameter::Cy] = scene.cy >= 0.0 ? scene.cy : 0.5 * (scene.height - 1);
    camera[CameraParameter::K1] = scene.k1;
    camera[CameraParameter::K2] = scene.k2;
    camera[CameraParameter::P1] = scene.p1;
    camera[CameraParameter::P2] = scene.p2;
    camera[CameraParameter::K3] = scene.k3;
    camera[CameraParameter::K4] = scene.k4;
    camera[CameraParameter::K5] = scene.k5;
    camera[CameraParameter::K6] = scene.k6;
    if (scene.fisheye)
        camera.model = CameraModel::Fisheye;

    // The field's middle on the line of sight (shifted), as far as the fill asks.
    const double paperWidth = field.right() - field.left();
    const double paperHeight = field.bottom() - field.top();
    const double distance = std::max(scene.fx * paperWidth / (scene.fill * scene.width),
                                     scene.fy * paperHeight / (scene.fill * scene.height));
    const cv::Vec3d middle(0.5 * (field.left() + field.right()),
                           0.5 * (field.top() + field.bottom()), 0.0);
    const cv::Matx33d r = Rotation(scene);
    const cv::Vec3d t(scene.shiftX * scene.width * distance / scene.fx,
                      scene.shiftY * scene.height * distance / scene.fy, distance);
    // Camera = R (plane - middle) + t, the plane at z = 0.
    const cv::Vec3d origin = t - r * middle;
    cv::Rodrigues(r, view.pose.rotation);
    view.pose.translation = origin;
    const cv::Matx33d plane(r(0, 0), r(0, 1), origin[0], r(1, 0), r(1, 1), origin[1], r(2, 0),
                            r(2, 1), origin[2]);
    view.toImage = camera.Matrix() * plane;
    view.toPlane = view.toImage.inv();
    view.rotation = r;
    view.origin = origin;
    view.rayToPlane = plane.inv();
    view.cameraOnBoard = r.t() * (-origin);
    return view;
}

// The sheet: flat, or bent as a cylinder about a line along the board's y axis through the
// paper's middle, of radius `radius` (its middle stays at z = 0; `side` is -1 when the
// sides come towards the camera, whose line of sight is the board's +z with no tilt).
struct Sheet {
    double middle = 0.0; // x of the paper's middle
    double half = 0.0;   // half the paper's width, along the paper
    double radius = 0.0; // 0: flat
    double side = -1.0;
    double sinHalf = 0.0; // the sine of the half arc (below a quarter round)

    // The board's point at (x, y) on the paper, in the board's frame.
    cv::Vec3d At(double x, double y) const {
        if (radius == 0.0)
            return {x, y, 0.0};
        const double a = (x - middle) / radius;
        return {middle + radius * std::sin(a), y, side * radius * (1.0 - std::cos(a))};
    }
};

Sheet MakeSheet(const PhotoScene& scene, const Field& field) {
    Sheet sheet;
    sheet.middle = 0.5 * (field.left() + field.right());
    sheet.half = 0.5 * (field.right() - field.left());
    if (scene.bend != 0.0) {
        sheet.radius = sheet.half / Radians(0.5 * std::abs(scene.bend));
        sheet.side = scene.bend > 0.0 ? -1.0 : 1.0;
        sheet.sinHalf = std::sin(Radians(std::min(0.5 * std::abs(scene.bend), 90.0)));
    }
    return sheet;
}

constexpr double kMissed = 1e12; // a plane point far off the paper: the table

// Where a ray from the camera (its direction in the camera's frame) meets the sheet, as the
// paper's point; the table (a point far off the paper) where it misses it.
cv::Point2d Trace(const View& view, const Sheet& sheet, const cv::Vec3d& ray) {
    if (sheet.radius == 0.0) {
        const cv::Vec3d q = view.rayToPlane * ray;
        if (!(q[2] > 0.0))
            return {kMissed, kMissed};
        return {q[0] / q[2], q[1] / q[2]};
    }
    // In the board's frame: o + s e.
    const cv::Vec3d& o = view.cameraOnBoard;
    const cv::Vec3d e = view.rotation.t() * ray;
    const double centre = sheet.side * sheet.radius;
    const double ox = o[0] - sheet.middle;
    const double oz = o[2] - centre;
    const double a = e[0] * e[0] + e[2] * e[2];
    const double b = 2.0 * (ox * e[0] + oz * e[2]);
    const double c = ox * ox + oz * oz - sheet.radius * sheet.radius;
    const double disc = b * b - 4.0 * a * c;
    if (a > 0.0 && disc >= 0.0) {
        const double root = std::sqrt(disc);
        for (const double s : {(-b - root) / (2.0 * a), (-b + root) / (2.0 * a)}) {
            if (!(s > 0.0))
                continue;
            // On the arc: the near half of the cylinder, within the paper's half arc.
            const double x = ox + s * e[0];
            const double z = oz + s * e[2];
            if (-sheet.side * z > 0.0 && std::abs(x) <= sheet.radius * sheet.sinHalf)
                return {sheet.middle +
                            sheet.radius * std::asin(std::clamp(x / sheet.radius, -1.0, 1.0)),
                        o[1] + s * e[1]};
        }
    }
    return {kMissed, kMissed};
}

// A fisheye's theta_d of a ray theta off the axis.
double FisheyeDistorted(const PhotoScene& scene, double theta) {
    const double t2 = theta * theta;
    return theta * (1.0 + scene.k1 * t2 + scene.k2 * t2 * t2 + scene.k3 * t2 * t2 * t2 +
                    scene.k4 * t2 * t2 * t2 * t2);
}

// Its inverse, by Newton's steps from theta = theta_d (the lens's theta_d grows over its
// field).
double FisheyeAngle(const PhotoScene& scene, double distorted) {
    double theta = distorted;
    if (scene.k1 == 0.0 && scene.k2 == 0.0 && scene.k3 == 0.0 && scene.k4 == 0.0)
        return theta;
    for (int k = 0; k < 30; ++k) {
        const double t2 = theta * theta;
        const double slope = 1.0 + 3.0 * scene.k1 * t2 + 5.0 * scene.k2 * t2 * t2 +
                             7.0 * scene.k3 * t2 * t2 * t2 + 9.0 * scene.k4 * t2 * t2 * t2 * t2;
        const double step = (FisheyeDistorted(scene, theta) - distorted) / slope;
        theta -= step;
        if (std::abs(step) < 1e-14)
            break;
    }
    return theta;
}

// The ray of an image point (pixels) of a fisheye: theta_d = r / f; false beyond its circle.
bool FisheyeRay(const PhotoScene& scene, const Camera& camera, double u, double v, cv::Vec3d& ray) {
    const double a = (u - camera.cx()) / scene.fx;
    const double b = (v - camera.cy()) / scene.fy;
    const double distorted = std::hypot(a, b);
    const double theta = FisheyeAngle(scene, distorted);
    const double s = distorted > 0.0 ? std::sin(theta) / distorted : 1.0;
    ray = {a * s, b * s, std::cos(theta)};
    return scene.fisheyeField <= 0.0 || theta <= Radians(0.5 * scene.fisheyeField);
}

// The projections of the board's targets on a bent sheet or through a fisheye.
std::vector<PlanePoint> ProjectOnSheet(const PhotoScene& scene, const View& view,
                                       const Sheet& sheet, const std::vector<PlanePoint>& board) {
    std::vector<cv::Point3d> inCamera;
    inCamera.reserve(board.size());
    for (const PlanePoint& p : board) {
        const cv::Vec3d c = view.rotation * sheet.At(p.x, p.y) + view.origin;
        inCamera.emplace_back(c[0], c[1], c[2]);
    }
    std::vector<PlanePoint> image;
    image.reserve(board.size());
    if (!scene.fisheye) {
        std::vector<cv::Point2d> projected;
        cv::projectPoints(inCamera, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), view.camera.Matrix(),
                          view.camera.Distortion(), projected);
        for (const cv::Point2d& p : projected)
            image.push_back({p.x, p.y});
        return image;
    }
    for (const cv::Point3d& c : inCamera) {
        const double rho = std::hypot(c.x, c.y);
        const double theta = std::atan2(rho, c.z);
        const double s = rho > 0.0 ? FisheyeDistorted(scene, theta) / rho : 0.0;
        image.push_back(
            {view.camera.cx() + scene.fx * c.x * s, view.camera.cy() + scene.fy * c.y * s});
    }
    return image;
}

// The mean image steps along the board's x and y.
void MeanSteps(const std::vector<PlanePoint>& points, int columns, int rows, cv::Point2d& ex,
               cv::Point2d& ey) {
    ex = ey = cv::Point2d(0.0, 0.0);
    const auto at = [&](int i, int j) {
        const PlanePoint& p = points[size_t(i) * size_t(rows) + size_t(j)];
        return cv::Point2d(p.x, p.y);
    };
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            if (i + 1 < columns)
                ex += at(i + 1, j) - at(i, j);
            if (j + 1 < rows)
                ey += at(i, j + 1) - at(i, j);
        }
    }
}

SceneTargets Targets(const PhotoScene& scene, const Field& field, const View& view) {
    SceneTargets targets;
    targets.camera = view.camera;
    targets.pose = view.pose;
    const size_t count = size_t(scene.columns) * size_t(scene.rows);
    targets.board.reserve(count);
    for (int i = 0; i < scene.columns; ++i)
        for (int j = 0; j < scene.rows; ++j)
            targets.board.push_back({i * field.pitchX(), j * field.pitchY()});
    const bool plain = !scene.fisheye && scene.bend == 0.0;
    targets.boardTruth = plain
                             ? ProjectFieldPoints(view.camera, view.pose, targets.board)
                             : ProjectOnSheet(scene, view, MakeSheet(scene, field), targets.board);

    // The calibration's order: the board's axis that runs more along image x gives the
    // columns, each taken in the direction in which its image coordinate grows.
    const cv::Point2d o = Apply(view.toImage, 0.0, 0.0);
    cv::Point2d ex = Apply(view.toImage, field.pitchX(), 0.0) - o;
    cv::Point2d ey = Apply(view.toImage, 0.0, field.pitchY()) - o;
    if (!plain)
        MeanSteps(targets.boardTruth, scene.columns, scene.rows, ex, ey);
    const bool swapped = std::abs(ex.x) * std::abs(ey.y) < std::abs(ex.y) * std::abs(ey.x);
    const int columns = swapped ? scene.rows : scene.columns;
    const int rows = swapped ? scene.columns : scene.rows;
    const bool flipColumns = swapped ? ey.x < 0.0 : ex.x < 0.0;
    const bool flipRows = swapped ? ex.y < 0.0 : ey.y < 0.0;
    targets.truthColumns = columns;
    targets.truthRows = rows;
    targets.truth.reserve(count);
    for (int a = 0; a < columns; ++a) {
        for (int b = 0; b < rows; ++b) {
            const int alongX = flipColumns ? columns - 1 - a : a;
            const int alongY = flipRows ? rows - 1 - b : b;
            const int i = swapped ? alongY : alongX;
            const int j = swapped ? alongX : alongY;
            const PlanePoint& p = targets.boardTruth[size_t(i) * size_t(scene.rows) + size_t(j)];
            targets.truth.emplace_back(p.x, p.y);
        }
    }
    return targets;
}

void CheckScene(const PhotoScene& scene) {
    if (scene.columns < 2 || scene.rows < 2 || scene.width < 1 || scene.height < 1 ||
        !(scene.pitch > 0.0))
        throw std::invalid_argument("RenderPhoto: no field");
}

// The rays of the corners of a row of pixels (v - 0.5, u - 0.5 for u = 0 .. width) traced
// back through the lens, in the camera's frame, and where they meet the sheet; `inside`:
// the corner is within a fisheye's circle.
struct CornerRays {
    std::vector<cv::Vec3d> rays;
    std::vector<cv::Point2d> plane;
    std::vector<char> inside;
};

void TraceCornerRow(const PhotoScene& scene, const View& view, const Sheet& sheet, int v,
                    CornerRays& row) {
    const size_t count = size_t(scene.width) + 1;
    row.rays.resize(count);
    row.plane.resize(count);
    row.inside.assign(count, 1);
    if (scene.fisheye) {
        for (size_t u = 0; u < count; ++u)
            row.inside[u] = FisheyeRay(scene, view.camera, double(u) - 0.5, v - 0.5, row.rays[u]);
    } else {
        std::vector<cv::Point2d> ideal(count);
        for (size_t u = 0; u < count; ++u)
            ideal[u] = {double(u) - 0.5, v - 0.5};
        // OpenCV's inverse of the lens, iterated a fixed number of times: on lenses a camera
        // has, each step shrinks the error some tenfold, so that 20 leave none (checking the
        // error at each step, as UndistortImagePoints does, takes three times as long).
        if (view.camera.HasLens())
            cv::undistortPoints(ideal, ideal, view.camera.Matrix(), view.camera.Distortion(),
                                cv::noArray(), cv::noArray(),
                                cv::TermCriteria(cv::TermCriteria::COUNT, 20, 0.0));
        else
            for (cv::Point2d& p : ideal)
                p = {(p.x - view.camera.cx()) / view.camera.fx(),
                     (p.y - view.camera.cy()) / view.camera.fy()};
        for (size_t u = 0; u < count; ++u)
            row.rays[u] = {ideal[u].x, ideal[u].y, 1.0};
    }
    for (size_t u = 0; u < count; ++u)
        row.plane[u] = Trace(view, sheet, row.rays[u]);
}

// The table textured with speckle, or empty.
cv::Mat Speckles(const PhotoScene& scene) {
    cv::Mat speckles;
    if (!(scene.speckle > 0.0))
        return speckles;
    speckles.create(scene.height, scene.width, CV_32F);
    cv::RNG rng(scene.seed + 7);
    if (scene.speckle < 1.0) {
        rng.fill(speckles, cv::RNG::UNIFORM, 0.0, 1.0);
    } else {
        speckles.setTo(0.5);
        const int count = int(double(speckles.total()) / (scene.speckle * scene.speckle));
        for (int n = 0; n < count; ++n)
            cv::circle(speckles, {rng.uniform(0, scene.width), rng.uniform(0, scene.height)},
                       rng.uniform(1, int(scene.speckle) + 1), cv::Scalar(rng.uniform(0.0, 1.0)),
                       -1);
    }
    return speckles;
}

// The scene's reflectance in every pixel, before blur, light and noise.
cv::Mat Reflectance(const PhotoScene& scene, const Field& field, const View& view) {
    const Sheet sheet = MakeSheet(scene, field);
    const cv::Mat speckles = Speckles(scene);
    // The fisheye's circle, for the pixels it crosses.
    const double circle =
        scene.fisheye && scene.fisheyeField > 0.0 ? Radians(0.5 * scene.fisheyeField) : 0.0;
    // theta_d grows over the lens's field: the circle is where it reaches the circle's.
    const double circleDistorted = FisheyeDistorted(scene, circle);
    const auto inCircle = [&](double u, double v) {
        return circle == 0.0 || std::hypot((u - view.camera.cx()) / scene.fx,
                                           (v - view.camera.cy()) / scene.fy) <= circleDistorted;
    };
    // Within a pixel the lens is as good as linear: a point of the pixel is traced back by
    // interpolating between its corners' rays, bilinearly.
    cv::Mat level(scene.height, scene.width, CV_32F);
    CornerRays top;
    CornerRays bottom;
    TraceCornerRow(scene, view, sheet, 0, top);
    for (int v = 0; v < scene.height; ++v) {
        TraceCornerRow(scene, view, sheet, v + 1, bottom);
        float* row = level.ptr<float>(v);
        for (int u = 0; u < scene.width; ++u) {
            const size_t a = size_t(u);
            const int corners =
                top.inside[a] + top.inside[a + 1] + bottom.inside[a] + bottom.inside[a + 1];
            if (corners == 0) {
                row[u] = 0.0F; // outside the fisheye's circle
                continue;
            }
            const auto at = [&](double s, double t) {
                const cv::Vec3d q = (1.0 - t) * ((1.0 - s) * top.rays[a] + s * top.rays[a + 1]) +
                                    t * ((1.0 - s) * bottom.rays[a] + s * bottom.rays[a + 1]);
                return Trace(view, sheet, q);
            };
            const cv::Point2d p = at(0.5, 0.5);
            // How far the pixel's square reaches on the plane (with room to spare).
            const auto far2 = [&](const cv::Point2d& corner) {
                const cv::Point2d d = corner - p;
                return d.x * d.x + d.y * d.y;
            };
            const double reach =
                1.5 * std::sqrt(std::max({far2(top.plane[a]), far2(top.plane[a + 1]),
                                          far2(bottom.plane[a]), far2(bottom.plane[a + 1])}));
            if (corners == 4 && field.Uniform(p.x, p.y, reach)) {
                row[u] = !speckles.empty() && !field.OnPaper(p.x, p.y)
                             ? speckles.at<float>(v, u)
                             : float(field.Value(p.x, p.y));
                continue;
            }
            double sum = 0.0;
            for (int b = 0; b < kSamples; ++b) {
                for (int c = 0; c < kSamples; ++c) {
                    const double s = (c + 0.5) / kSamples;
                    const double t = (b + 0.5) / kSamples;
                    if (!inCircle(u - 0.5 + s, v - 0.5 + t))
                        continue;
                    const cv::Point2d q = at(s, t);
                    sum += field.Value(q.x, q.y);
                }
            }
            row[u] = float(sum / (kSamples * kSamples));
        }
        std::swap(top, bottom);
    }
    return level;
}

// Light falling off across the image and towards its corners.
void Light(const PhotoScene& scene, cv::Mat& level) {
    if (scene.lighting == 0.0 && scene.vignette == 0.0)
        return;
    const double mx = 0.5 * scene.width;
    const double my = 0.5 * scene.height;
    const double corner2 = mx * mx + my * my;
    for (int v = 0; v < scene.height; ++v) {
        float* row = level.ptr<float>(v);
        for (int u = 0; u < scene.width; ++u) {
            const double along = 0.7 * u / scene.width + 0.3 * v / scene.height;
            const double r2 = ((u - mx) * (u - mx) + (v - my) * (v - my)) / corner2;
            row[u] = float(row[u] * (1.0 - scene.lighting * along) * (1.0 - scene.vignette * r2));
        }
    }
}

} // namespace

SceneTargets TrueTargets(const PhotoScene& scene) {
    CheckScene(scene);
    const Field field(scene);
    return Targets(scene, field, MakeView(scene, field));
}

std::vector<PlanePoint> ProjectBoardPoints(const PhotoScene& scene,
                                           const std::vector<PlanePoint>& board) {
    CheckScene(scene);
    const Field field(scene);
    const View view = MakeView(scene, field);
    if (!scene.fisheye && scene.bend == 0.0)
        return ProjectFieldPoints(view.camera, view.pose, board);
    return ProjectOnSheet(scene, view, MakeSheet(scene, field), board);
}

RenderedPhoto RenderPhoto(const PhotoScene& scene) {
    CheckScene(scene);
    const Field field(scene);
    const View view = MakeView(scene, field);
    cv::Mat level = Reflectance(scene, field, view);

    if (scene.blur > 0.0)
        cv::GaussianBlur(level, level, cv::Size(0, 0), scene.blur, scene.blur,
                         cv::BORDER_REPLICATE);
    Light(scene, level);
    if (scene.noise > 0.0) {
        cv::Mat noise(level.size(), CV_32F);
        cv::RNG rng(scene.seed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, scene.noise / 255.0);
        level += noise;
    }

    RenderedPhoto photo;
    static_cast<SceneTargets&>(photo) = Targets(scene, field, view);
    const double full = scene.sixteenBit ? 65535.0 : 255.0;
    cv::Mat grey;
    level.convertTo(grey, scene.sixteenBit ? CV_16U : CV_8U, full);
    if (scene.colour) {
        // A slightly warm light: the channels differ, the grey does not vanish.
        std::vector<cv::Mat> channels(3);
        grey.convertTo(channels[0], grey.type(), 0.82);
        channels[1] = grey;
        grey.convertTo(channels[2], grey.type(), 0.95);
        cv::merge(channels, photo.image);
    } else {
        photo.image = grey;
    }
    if (scene.jpegQuality > 0) {
        if (scene.sixteenBit)
            throw std::invalid_argument("RenderPhoto: JPEG holds 8 bits");
        if (!cv::imencode(".jpg", photo.image, photo.jpeg,
                          {cv::IMWRITE_JPEG_QUALITY, scene.jpegQuality}))
            throw std::runtime_error("RenderPhoto: JPEG encoding failed");
        photo.image = cv::imdecode(photo.jpeg, cv::IMREAD_UNCHANGED);
    }
    return photo;
}

void WritePhoto(const RenderedPhoto& photo, const QString& fileName) {
    std::vector<unsigned char> bytes = photo.jpeg;
    if (bytes.empty()) {
        const QString extension = QStringLiteral(".") + fileName.section(QLatin1Char('.'), -1);
        if (!cv::imencode(extension.toStdString(), photo.image, bytes))
            throw std::runtime_error("WritePhoto: cannot encode " + fileName.toStdString());
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
            qint64(bytes.size()))
        throw std::runtime_error("WritePhoto: cannot write " + fileName.toStdString());
}

double RmsError(const std::vector<PlanePoint>& found, const std::vector<cv::Point2d>& truth) {
    if (found.size() != truth.size() || found.empty())
        return std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (size_t k = 0; k < found.size(); ++k) {
        const double dx = found[k].x - truth[k].x;
        const double dy = found[k].y - truth[k].y;
        sum += dx * dx + dy * dy;
    }
    return std::sqrt(sum / double(found.size()));
}

} // namespace vrma::test
