#include "support/PhotoRenderer.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
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

} // namespace

RenderedPhoto RenderPhoto(const PhotoScene& scene) {
    if (scene.columns < 2 || scene.rows < 2 || scene.width < 1 || scene.height < 1 ||
        !(scene.pitch > 0.0))
        throw std::invalid_argument("RenderPhoto: no field");
    const Field field(scene);
    const double cx = scene.cx >= 0.0 ? scene.cx : 0.5 * (scene.width - 1);
    const double cy = scene.cy >= 0.0 ? scene.cy : 0.5 * (scene.height - 1);
    const cv::Matx33d k(scene.fx, 0, cx, 0, scene.fy, cy, 0, 0, 1);

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
    const cv::Vec3d r1(r(0, 0), r(1, 0), r(2, 0));
    const cv::Vec3d r2(r(0, 1), r(1, 1), r(2, 1));
    const cv::Vec3d origin = t - r * middle;
    const cv::Matx33d plane(r1[0], r2[0], origin[0], r1[1], r2[1], origin[1], r1[2], r2[2],
                            origin[2]);
    const cv::Matx33d toImage = k * plane;
    const cv::Matx33d toPlane = toImage.inv();

    // How far a pixel's square reaches on the plane, at most (with room to spare).
    double reach = 0.0;
    for (int sy = 0; sy <= 8; ++sy) {
        for (int sx = 0; sx <= 8; ++sx) {
            const double u = scene.width * sx / 8.0;
            const double v = scene.height * sy / 8.0;
            const cv::Point2d c = Apply(toPlane, u, v);
            for (const auto& d : {cv::Point2d(-0.5, -0.5), cv::Point2d(0.5, -0.5),
                                  cv::Point2d(-0.5, 0.5), cv::Point2d(0.5, 0.5)})
                reach = std::max(reach, cv::norm(Apply(toPlane, u + d.x, v + d.y) - c));
        }
    }
    reach *= 1.5;

    cv::Mat level(scene.height, scene.width, CV_32F);
    for (int v = 0; v < scene.height; ++v) {
        float* row = level.ptr<float>(v);
        for (int u = 0; u < scene.width; ++u) {
            const cv::Point2d p = Apply(toPlane, u, v);
            if (field.Uniform(p.x, p.y, reach)) {
                row[u] = float(field.Value(p.x, p.y));
                continue;
            }
            double sum = 0.0;
            for (int a = 0; a < kSamples; ++a) {
                for (int b = 0; b < kSamples; ++b) {
                    const cv::Point2d q = Apply(toPlane, u - 0.5 + (b + 0.5) / kSamples,
                                                v - 0.5 + (a + 0.5) / kSamples);
                    sum += field.Value(q.x, q.y);
                }
            }
            row[u] = float(sum / (kSamples * kSamples));
        }
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

    // The truth, listed as the calibration lists its grid: the field's columns taken from
    // left to right in the image, its rows from top to bottom.
    const cv::Point2d origin2 = Apply(toImage, 0.0, 0.0);
    const bool flipX = Apply(toImage, field.pitchX(), 0.0).x < origin2.x;
    const bool flipY = Apply(toImage, 0.0, field.pitchY()).y < origin2.y;
    photo.truth.reserve(size_t(scene.columns) * size_t(scene.rows));
    for (int i = 0; i < scene.columns; ++i) {
        for (int j = 0; j < scene.rows; ++j) {
            const int a = flipX ? scene.columns - 1 - i : i;
            const int b = flipY ? scene.rows - 1 - j : j;
            photo.truth.push_back(Apply(toImage, a * field.pitchX(), b * field.pitchY()));
        }
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
