#pragma once
// vrma-calib --photo A --photo B [--photo ...]: the calibration of a camera from several
// photographs of one printed board (calib/PhotoCalibration), each photograph in any
// orientation. Standard output gets a short Russian summary; on request the figures as
// JSON, OpenCV's YAML of the camera, the correction table with fy/fx and the camera file
// with the focal length and the principal point.
#include <QStringList>

namespace vrma {

// True when the arguments (the program's name first) give --photo more than once.
bool NamesSeveralPhotos(const QStringList& arguments);

// The command; returns the exit code (CommandLine.h): 0 done; 1 a wrong command line
// (nothing read or written); 2 a photograph that cannot be read; 5 a file that cannot be
// written (none of them written); 6 the board found in fewer than three photographs; 7 no
// camera from the photographs found (fewer than three usable after the size and RMS rules,
// the focal lengths not fixed by them); 8 out of memory (a photograph that cannot be read
// even alone included). Every file ordered is written on 0, all at once; on 2, 6 and 7 the
// JSON alone, with every photograph's outcome and no camera. A photograph given again (the
// same bytes) is searched and counted once, and said.
int RunCameraCommand(const QStringList& arguments);

// The part of vrma-calib --help about the calibration of a camera.
const char* CameraCommandHelp();

} // namespace vrma
