#pragma once
// A camera calibrated from several photographs of one printed board, as the windows and
// vrma-calib do it:
// - each photograph is searched for the board, described once as printed (calib/Board),
//   in any orientation (calib/TargetDetection): the targets found are labelled in the
//   board's own axes, so that one printed target has one place on the board in every
//   photograph; the same search gives what the calibration of that photograph alone needs
//   (the targets in the calibration's order and the scene grid that pairs with them);
// - the camera is fitted to the photographs found (calib/CameraCalibration), those the
//   user leaves out kept aside but given their RMS under the camera found;
// - the camera is written as OpenCV's FileStorage YAML, which OpenCV reads back in C++ and
//   Python, and as the program's camera file with its focal length and principal point
//   (data/ExportFiles).
// Core only: OpenCV and Qt Core.
#include "calib/Board.h"
#include "calib/Camera.h"
#include "calib/CameraCalibration.h"
#include "calib/TargetDetection.h"
#include "data/PlanePoint.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <span>
#include <vector>

namespace vrma {

// The longer side of a photograph's thumbnail, pixels.
inline constexpr int kThumbnailSide = 240;

// What the search of one photograph found.
struct PhotoDetection {
    QString file;
    TargetKind kind = TargetKind::Chessboard; // of the board searched for
    bool read = false;                        // the photograph could be read
    bool found = false; // the board was found in it (whole, or a ChArUco board in part)
    QString reason;     // not found: why, in Russian (the reader's or the search's message)
    int width = 0;      // of the photograph, pixels, once read
    int height = 0;
    std::optional<BoardTurn> turn; // found: how the board lies in it
    // Found: every target's place on the board, in the board's own axes and scene units
    // (X = i * pitch, Y = j * pitchY; k = i * rows + j), and its place in the photograph,
    // pixels, in the same order: the whole grid, or the corners of a ChArUco board seen
    // (`indices`: the board's index k of each, ascending).
    std::vector<int> indices;
    std::vector<PlanePoint> board;
    std::vector<PlanePoint> image;
    // The calibration of this photograph alone (the calibration window's, vrma-calib
    // --photo): the targets in the calibration's order, and the scene grid that pairs with
    // them (the pitch of the board's axis along image x between its columns). Empty when
    // no axis of the board runs along image x (a board turned by about 45 degrees) or a
    // ChArUco board is seen in part; `singleReason` then says so.
    std::optional<DetectedTargets> single;
    std::vector<PlanePoint> singleScene;
    QString singleReason;
    // A small grey copy of the photograph for lists and reports (its longer side
    // kThumbnailSide, or the photograph's own when that is smaller), reduced from the image
    // read for the search: no second reading, and the photograph itself is not kept. Empty
    // when the photograph could not be read.
    cv::Mat thumbnail;
    // Not read: the memory it needs was not free (PhotoMemoryError); it may be once others
    // give theirs back.
    bool memoryShort = false;
    // How the file stores it (calib/PhotoHeader), once read: the turn its EXIF tag asks a
    // viewer for (1: none) and the pages of a TIFF file. The pixels are used as stored, from
    // the first page.
    int orientation = 1;
    int pages = 1;

    size_t points() const { return image.size(); }
};

// Reads the photograph and searches it for the board (its targets of the board's kind, NC x
// NR, any orientation; dots corrected for perspective with the board's pitches; a ChArUco
// board's corners, as many as are seen). A photograph that cannot be read, or in which the
// board is not found (whole, but for a ChArUco board), comes back with found = false and
// the reason. Told the share done, 0..100, between stages; throws
// DetectionCancelled when `progress` returns false. Safe to run on several threads at once.
PhotoDetection DetectBoardInPhoto(const QString& fileName, const Board& board,
                                  const DetectionProgress& progress = {});

// The photographs as the calibration takes them: those without the board empty, of the
// size of the first found; photograph k left out when leftOut[k] is true.
std::vector<BoardPhoto> BoardPhotosOf(std::span<const PhotoDetection> photos,
                                      const std::vector<bool>& leftOut = {});

// The camera from the photographs in which the board was found; photograph k is left out
// when leftOut[k] is true (leftOut may be shorter than photos: the rest are taken). The
// result lists every photograph in the order given: PhotoUse::NotFound for one without
// the board, LeftOutByUser, LeftOutRms for one the RMS rule leaves out (three times the
// median), LeftOutNoPose, LeftOutSize (another size than most), or Used. The image size
// is that of most photographs. Throws CameraFitError as CalibrateCamera does (fewer than
// three usable photographs, focal lengths not fixed).
CameraCalibration CalibrateFromPhotos(std::span<const PhotoDetection> photos,
                                      const std::vector<bool>& leftOut = {},
                                      CameraSelection selection = CameraSelection::OpenCvDefault());

// The residual of every target of photograph k (found minus projected, pixels, in the
// order of photo.image) under the calibration's camera and that photograph's pose. Empty
// when the photograph has no pose (the board not found in it, or no pose explains its
// targets).
std::vector<PlanePoint> PhotoResiduals(const CameraCalibration& calibration, size_t k,
                                       const PhotoDetection& photo);

// The RMS over which the calibration's rule leaves a photograph out, for the photographs
// it uses now: kRmsLimitFactor times their median, but no less than kRmsFloorPx.
double RmsLimit(const CameraCalibration& calibration);

// A corner region of the frame: within this share of the width and of the height from a
// corner.
inline constexpr double kCornerShare = 0.2;

// Where in the frame the targets of the photographs used lie: where there are none, the
// lens is not known.
struct FrameCoverage {
    // Top left, top right, bottom right, bottom left: a target of a photograph used lies in
    // that corner region.
    std::array<bool, 4> corners{};
    // The farthest target from the principal point, as a share of the way to the farthest
    // corner of the frame.
    double reach = 0.0;
    bool AllCorners() const { return corners[0] && corners[1] && corners[2] && corners[3]; }
};
FrameCoverage CoverageOf(const CameraCalibration& calibration,
                         std::span<const PhotoDetection> photos);

// OpenCV's FileStorage YAML of a calibration, written by cv::FileStorage: camera_matrix
// (3 x 3), distortion_coefficients (5 x 1: k1 k2 p1 p2 k3), image_width, image_height and
// avg_reprojection_error (the RMS of all targets used, pixels).
QByteArray OpenCvCameraYaml(const CameraCalibration& calibration);
// The same written to a file atomically (WriteFileAtomically). Throws FileError.
void WriteOpenCvCameraYaml(const QString& fileName, const CameraCalibration& calibration);

} // namespace vrma
