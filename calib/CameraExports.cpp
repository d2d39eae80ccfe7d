#include "calib/CameraExports.h"

#include "calib/Orientation.h"
#include "calib/Photograph.h"
#include "data/GeometryFiles.h"
#include "data/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace vrma {

namespace {

// A number as YAML reads it back exactly.
QByteArray YamlNumber(double v) {
    return QByteArray::number(v, 'g', 17);
}

QByteArray YamlMatrix(const char* name, int rows, int cols, const double* values) {
    QByteArray out = QByteArray(name) + ":\n  rows: " + QByteArray::number(rows) +
                     "\n  cols: " + QByteArray::number(cols) + "\n  data: [";
    for (int k = 0; k < rows * cols; ++k)
        out += (k ? ", " : "") + YamlNumber(values[k]);
    return out + "]\n";
}

QString InFolder(const QString& folder, const QString& photo, const char* suffix) {
    return QDir(folder).filePath(QFileInfo(photo).completeBaseName() + QLatin1String(suffix));
}

} // namespace

QStringList OrientationFileLines(const Pose& pose) {
    QStringList values;
    for (const std::optional<double>& v : OrientationFileValues(OrientationOf(pose)))
        values << (v ? FormatGeneral15(*v) : QString());
    return GeometryLines(GeometryFormat::Orientation, values);
}

QString OrientationFileName(const QString& folder, const QString& photo) {
    return InFolder(folder, photo, ".ort");
}

QByteArray RosCameraInfoYaml(const Camera& camera, const QString& cameraName) {
    const cv::Matx33d k = camera.Matrix();
    const std::vector<double> d = camera.Distortion();
    const cv::Matx33d identity = cv::Matx33d::eye();
    const cv::Matx34d p(camera.fx(), 0, camera.cx(), 0, 0, camera.fy(), camera.cy(), 0, 0, 0, 1, 0);
    QByteArray name = cameraName.toUtf8();
    name.replace('\\', "\\\\").replace('"', "\\\"");
    return "image_width: " + QByteArray::number(int(camera.width)) +
           "\nimage_height: " + QByteArray::number(int(camera.height)) + "\ncamera_name: \"" +
           name + "\"\n" + YamlMatrix("camera_matrix", 3, 3, k.val) +
           "distortion_model: " + QByteArray(CameraModelName(camera)) + "\n" +
           YamlMatrix("distortion_coefficients", 1, int(d.size()), d.data()) +
           YamlMatrix("rectification_matrix", 3, 3, identity.val) +
           YamlMatrix("projection_matrix", 3, 4, p.val);
}

cv::Mat UndistortedImage(const cv::Mat& image, const Camera& camera) {
    cv::Mat out;
    if (camera.Fisheye()) {
        cv::Mat mapX, mapY;
        cv::fisheye::initUndistortRectifyMap(camera.Matrix(), camera.Distortion(),
                                             cv::Matx33d::eye(), camera.Matrix(), image.size(),
                                             CV_32FC1, mapX, mapY);
        cv::remap(image, out, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        return out;
    }
    cv::undistort(image, out, cv::Mat(camera.Matrix()), cv::Mat(camera.Distortion()),
                  cv::Mat(camera.Matrix()));
    return out;
}

QByteArray UndistortedPhotoPng(const QString& photo, const Camera& camera) {
    const cv::Mat undistorted = UndistortedImage(DecodePhotograph(photo), camera);
    std::vector<unsigned char> bytes;
    if (!cv::imencode(".png", undistorted, bytes))
        throw std::runtime_error("PNG encoding failed");
    return {reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())};
}

QString UndistortedFileName(const QString& folder, const QString& photo) {
    return InFolder(folder, photo, ".png");
}

} // namespace vrma
