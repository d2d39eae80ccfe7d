#pragma once
// What else a calibrated camera gives besides its own files: the orientation file of each
// photograph (its exterior orientation, calib/Orientation.h), the camera as ROS's
// camera_info YAML, and the photographs with the lens taken out.
#include "calib/Camera.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

namespace vrma {

// The 21 lines of the orientation file of a photograph at the pose, with their comments;
// the numbers in the 15-digit general format with the separator of the moment.
QStringList OrientationFileLines(const Pose& pose);

// The orientation file's name for a photograph: its base name (the last suffix dropped)
// with ".ort", in `folder`.
QString OrientationFileName(const QString& folder, const QString& photo);

// The camera as ROS's camera_info YAML (image_width, image_height, camera_name,
// camera_matrix, distortion_model plumb_bob, distortion_coefficients k1 k2 p1 p2 k3,
// rectification_matrix, projection_matrix), plain YAML 1.1 with "." as the separator, the
// pixel coordinates OpenCV's (as ROS takes them).
QByteArray RosCameraInfoYaml(const Camera& camera, const QString& cameraName);

// The image with the lens taken out: the same size, each pixel where the camera without
// its lens (the same fx, fy, cx, cy) would have seen it; bilinear, black outside (a
// fisheye through cv::fisheye's maps).
cv::Mat UndistortedImage(const cv::Mat& image, const Camera& camera);

// The photograph read (grey, as the calibration reads it), undistorted, as PNG bytes.
// Throws PhotoReadError as DecodePhotograph does.
QByteArray UndistortedPhotoPng(const QString& photo, const Camera& camera);

// The undistorted copy's name for a photograph: its base name with ".png", in `folder`.
QString UndistortedFileName(const QString& folder, const QString& photo);

} // namespace vrma
