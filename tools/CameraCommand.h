#pragma once
// vrma-calib --photo A --photo B [--photo ...]: the calibration of a camera from several
// photographs of one printed board (calib/PhotoCalibration), each photograph in any
// orientation. Standard output gets a short Russian summary; on request the figures as
// JSON, OpenCV's YAML of the camera, the correction table with fy/fx and the camera file
// with the focal length and the principal point.
#include "calib/PhotoCalibration.h"

#include <QByteArray>
#include <QStringList>
#include <vector>

namespace vrma {

// True when the arguments (the program's name first) give --photo more than once.
bool NamesSeveralPhotos(const QStringList& arguments);

// The command; returns the exit code (CommandLine.h): 0 done; 1 a wrong command line
// (nothing read or written); 2 a photograph that cannot be read (nothing written); 5 a
// file that cannot be written; 6 the board found in fewer than three photographs; 7 no
// camera from the photographs found (fewer than three usable after the size and RMS rules,
// the focal lengths not fixed by them). Nothing is written but
// on 0 (or on 5, the files before the one that failed).
int RunCameraCommand(const QStringList& arguments);

// The JSON object of a calibration: "photos" (in the order given: file, found, used,
// turned_deg, points, rms_px), "camera" (width, height and the nine parameters),
// "camera_se" (their standard errors; null for what the fit held), "ratio", "ratio_se",
// "rms_px"; UTF-8, ending in a newline.
QByteArray CameraCalibrationJson(const QStringList& files,
                                 const std::vector<PhotoDetection>& detections,
                                 const CameraCalibration& calibration);

// The part of vrma-calib --help about the calibration of a camera.
const char* CameraCommandHelp();

} // namespace vrma
