#pragma once
// vrma-calib --photo: the targets found in a photograph of the test field and written as
// the two coordinate files, which the calibration then reads as it reads --scene and
// --image. The command line's words come in as texts; what happened goes back to the
// caller, which prints it.
#include "calib/TargetDetection.h"

#include <QString>
#include <optional>

namespace vrma {

// The command line's options of a detection, each taking a value.
inline constexpr const char* kPhotoValueOptions[] = {"photo",   "target",    "pitch",
                                                     "pitch-y", "scene-out", "image-out"};

struct PhotoRequest {
    QString photo;    // --photo
    QString target;   // --target: chessboard | dots
    QString columns;  // --columns
    QString rows;     // --rows
    QString pitch;    // --pitch
    QString pitchY;   // --pitch-y, empty when not given
    QString sceneOut; // --scene-out
    QString imageOut; // --image-out
};

// The request as the command line gives it: a known kind of target, a grid of at least
// 2 x 2 (integers), pitches that are positive numbers with the decimal separator of the
// moment, two different output files. A message for the user when something is wrong.
std::optional<QString> CheckPhotoRequest(const PhotoRequest& request);

enum class PhotoStatus {
    Done,         // both files written
    Unreadable,   // the photograph cannot be read; nothing written
    GridNotFound, // no grid of that kind and size in it; nothing written
    WriteFailed,  // a file could not be written
};

struct PhotoResult {
    PhotoStatus status = PhotoStatus::Unreadable;
    QString message; // for the user, when not Done
    int width = 0;   // the photograph's size, pixels, when it was read
    int height = 0;
    int targets = 0; // found
};

// Detects the targets of a checked request and writes the scene and image files.
PhotoResult RunPhotoDetection(const PhotoRequest& request);

} // namespace vrma
