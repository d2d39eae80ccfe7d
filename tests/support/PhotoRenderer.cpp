#include "support/PhotoRenderer.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace vrma::test {

namespace {

constexpr int kSamples = 16; // per side, in a pixel that an edge crosses

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
    const PhotoScene& scene_;
    double px_;
    double py_;
    double radius_;
    double left_ = 0.0;
    double right_ = 0.0;
    double top_ = 0.0;
    double bottom_ = 0.0;
    bool light_ = false;
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
    cv::Matx33d toImage; // the field's plane to the image of the camera without its lens
    cv::Matx33d toPlane; // and back
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
    return view;
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
    targets.boardTruth = ProjectFieldPoints(view.camera, view.pose, targets.board);

    // The calibration's order: the board's axis that runs more along image x gives the
    // columns, each taken in the direction in which its image coordinate grows.
    const cv::Point2d o = Apply(view.toImage, 0.0, 0.0);
    const cv::Point2d ex = Apply(view.toImage, field.pitchX(), 0.0) - o;
    const cv::Point2d ey = Apply(view.toImage, 0.0, field.pitchY()) - o;
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

// The corners of a row of pixels (v - 0.5, u - 0.5 for u = 0 .. width) traced back through
// the lens: where the camera without its lens sees the same rays, and the points of the
// field there.
void CornerRow(const View& view, int width, int v, std::vector<cv::Point2d>& ideal,
               std::vector<cv::Point2d>& plane) {
    ideal.resize(size_t(width) + 1);
    plane.resize(ideal.size());
    for (int u = 0; u <= width; ++u)
        ideal[size_t(u)] = {u - 0.5, v - 0.5};
    // OpenCV's inverse of the lens, iterated a fixed number of times: on lenses a camera
    // has, each step shrinks the error some tenfold, so that 20 leave none (checking the
    // error at each step, as UndistortImagePoints does, takes three times as long).
    if (view.camera.HasLens())
        cv::undistortPoints(ideal, ideal, view.camera.Matrix(), view.camera.Distortion(),
                            cv::noArray(), view.camera.Matrix(),
                            cv::TermCriteria(cv::TermCriteria::COUNT, 20, 0.0));
    for (size_t u = 0; u < ideal.size(); ++u)
        plane[u] = Apply(view.toPlane, ideal[u].x, ideal[u].y);
}

} // namespace

SceneTargets TrueTargets(const PhotoScene& scene) {
    CheckScene(scene);
    const Field field(scene);
    return Targets(scene, field, MakeView(scene, field));
}

RenderedPhoto RenderPhoto(const PhotoScene& scene) {
    CheckScene(scene);
    const Field field(scene);
    const View view = MakeView(scene, field);

    cv::Mat speckles;
    if (scene.speckle > 0.0) {
        speckles.create(scene.height, scene.width, CV_32F);
        cv::RNG rng(scene.seed + 7);
        if (scene.speckle < 1.0) {
            rng.fill(speckles, cv::RNG::UNIFORM, 0.0, 1.0);
        } else {
            speckles.setTo(0.5);
            const int count = int(double(speckles.total()) / (scene.speckle * scene.speckle));
            for (int n = 0; n < count; ++n)
                cv::circle(speckles, {rng.uniform(0, scene.width), rng.uniform(0, scene.height)},
                           rng.uniform(1, int(scene.speckle) + 1),
                           cv::Scalar(rng.uniform(0.0, 1.0)), -1);
        }
    }
    // Within a pixel the lens is as good as linear: a point of the pixel is traced back by
    // interpolating between its corners' traces, bilinearly.
    cv::Mat level(scene.height, scene.width, CV_32F);
    std::vector<cv::Point2d> idealTop, planeTop, idealBottom, planeBottom;
    CornerRow(view, scene.width, 0, idealTop, planeTop);
    for (int v = 0; v < scene.height; ++v) {
        CornerRow(view, scene.width, v + 1, idealBottom, planeBottom);
        float* row = level.ptr<float>(v);
        for (int u = 0; u < scene.width; ++u) {
            const size_t a = size_t(u);
            const cv::Point2d& i00 = idealTop[a];
            const cv::Point2d& i10 = idealTop[a + 1];
            const cv::Point2d& i01 = idealBottom[a];
            const cv::Point2d& i11 = idealBottom[a + 1];
            const auto at = [&](double s, double t) {
                const cv::Point2d q =
                    (1.0 - t) * ((1.0 - s) * i00 + s * i10) + t * ((1.0 - s) * i01 + s * i11);
                return Apply(view.toPlane, q.x, q.y);
            };
            const cv::Point2d p = at(0.5, 0.5);
            // How far the pixel's square reaches on the plane (with room to spare).
            const auto far2 = [&](const cv::Point2d& corner) {
                const cv::Point2d d = corner - p;
                return d.x * d.x + d.y * d.y;
            };
            const double reach =
                1.5 * std::sqrt(std::max({far2(planeTop[a]), far2(planeTop[a + 1]),
                                          far2(planeBottom[a]), far2(planeBottom[a + 1])}));
            if (field.Uniform(p.x, p.y, reach)) {
                row[u] = !speckles.empty() && !field.OnPaper(p.x, p.y)
                             ? speckles.at<float>(v, u)
                             : float(field.Value(p.x, p.y));
                continue;
            }
            double sum = 0.0;
            for (int b = 0; b < kSamples; ++b) {
                for (int c = 0; c < kSamples; ++c) {
                    const cv::Point2d q = at((c + 0.5) / kSamples, (b + 0.5) / kSamples);
                    sum += field.Value(q.x, q.y);
                }
            }
            row[u] = float(sum / (kSamples * kSamples));
        }
        std::swap(idealTop, idealBottom);
        std::swap(planeTop, planeBottom);
    }

    if (scene.blur > 0.0)
        cv::GaussianBlur(level, level, cv::Size(0, 0), scene.blur, scene.blur,
                         cv::BORDER_REPLICATE);
    if (scene.lighting != 0.0) {
        for (int v = 0; v < scene.height; ++v) {
            float* row = level.ptr<float>(v);
            for (int u = 0; u < scene.width; ++u) {
                const double along = 0.7 * u / scene.width + 0.3 * v / scene.height;
                row[u] = float(row[u] * (1.0 - scene.lighting * along));
            }
        }
    }
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
