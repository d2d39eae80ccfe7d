#pragma once
// The camera window's saves (its members are defined here) and what "Сохранить…" keeps after the
// calibration window's export has written the table and the camera file: the camera with its lens
// as OpenCV's YAML beside the camera file, and the orientation file of every photograph used, in
// a folder asked (the camera file's proposed); each asked (Yes goes on).
#include "calib/PhotoCalibration.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <span>

class QWidget;

namespace vrma {

// `photos` are those the calibration was fitted to, in its order. Written files are told
// in `written` (when given). Throws as the files' writing does (the command's guard).
void SaveLensAndOrientations(QWidget* owner, const CameraCalibration& fit,
                             std::span<const PhotoDetection> photos, const QString& cameraFile,
                             QStringList* written);

// The picture of a photograph read reduced (its full size `full`) with the camera's lens
// taken out: the same size, to the camera's own matrix scaled to the picture.
QImage UndistortedPicture(const QImage& picture, const QSize& full, const Camera& camera);

} // namespace vrma
