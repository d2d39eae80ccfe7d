#pragma once
// vrma-calib --photo: the targets found in a photograph of the test field, made into the
// two coordinate files, which the calibration then reads as it reads --scene and --image. The
// command line's words come in as texts; what happened goes back to the caller, which prints it.
#include "calib/TargetDetection.h"
#include "tools/BoardOptions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vrma {

struct PhotoRequest {
    QString photo;      // --photo
    BoardOptions board; // --target, --columns, --rows, --pitch, --pitch-y
    QString sceneOut;   // --scene-out
    QString imageOut;   // --image-out
    // Once the photograph is read, before its targets are searched: a message refusing
    // its size (a focal length no camera of that size can have, say), or none.
    std::function<std::optional<QString>(int width, int height)> acceptSize;
};

// The request as the command line gives it: a board that passes the board check
// (calib/Board) and two output files that are two files, neither of them the photograph
// (compared as files: tools/CommandLine, FileClashMessage). A message for the user when
// something is wrong.
std::optional<QString> CheckPhotoRequest(const PhotoRequest& request);

enum class PhotoStatus {
    Done,         // found: the two files made
    Unreadable,   // the photograph cannot be read
    GridNotFound, // no grid of that kind and size in it
    Refused,      // acceptSize refused the photograph's size
};

struct PhotoResult {
    PhotoStatus status = PhotoStatus::Unreadable;
    QString message; // for the user, when not Done
    int width = 0;   // the photograph's size, pixels, when it was read
    int height = 0;
    int targets = 0; // found
    // The grid as the calibration reads it (the board's columns and rows, swapped when the
    // board is seen turned by a quarter), when found.
    int columns = 0;
    int rows = 0;
    // Done: the bytes of the scene and image files, to be written by the caller (with the
    // rest of the command's files).
    QByteArray scene;
    QByteArray image;
    // What the file does not show as the search takes it (its EXIF turn, further TIFF
    // pages), for the user.
    QStringList notes;
};

// Detects the targets of a checked request and makes the scene and image files. Nothing is
// written.
PhotoResult RunPhotoDetection(const PhotoRequest& request);

} // namespace vrma
