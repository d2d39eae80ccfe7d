#include "calib/PhotoCalibration.h"

#include "data/Errors.h"
#include "data/TextFile.h"

#include <opencv2/core.hpp>
#include <opencv2/core/persistence.hpp>
#include <string>

namespace vrma {

PhotoDetection DetectBoardInPhoto(const QString& fileName, const Board& board,
                                  const DetectionProgress& progress) {
    // The reading is the first 15 % of the work, as in DetectTargetsInFile.
    constexpr int kReadShare = 15;
    PhotoDetection detection;
    detection.file = fileName;
    if (progress && !progress(0))
        throw DetectionCancelled("Поиск мишеней прерван.");
    cv::Mat grey;
    try {
        grey = ReadPhotograph(fileName);
    } catch (const PhotoReadError& error) {
        detection.reason = QString::fromUtf8(error.what());
        return detection;
    }
    detection.read = true;
    detection.width = grey.cols;
    detection.height = grey.rows;

    DetectionTuning tuning;
    tuning.pitchRatio = board.pitchY / board.pitch;
    const DetectionProgress searched = [&progress](int percent) {
        return !progress || progress(kReadShare + (100 - kReadShare) * percent / 100);
    };
    BoardTargets targets;
    try {
        targets = FindBoardTargets(grey, board.kind, board.columns, board.rows, tuning, searched);
    } catch (const GridNotFound& error) {
        detection.reason = QString::fromUtf8(error.what());
        return detection;
    }
    detection.found = true;
    detection.turn = targets.turn;
    try {
        detection.single = InCalibrationOrder(targets);
        detection.singleScene = CalibrationScene(board, *detection.single);
    } catch (const GridNotFound& error) {
        detection.singleReason = QString::fromUtf8(error.what());
    }
    detection.board = SceneGrid(board);
    detection.image = std::move(targets.points);
    return detection;
}

CameraCalibration CalibrateFromPhotos(std::span<const PhotoDetection> photos,
                                      const std::vector<bool>& leftOut, CameraSelection selection) {
    const auto isLeftOut = [&](size_t k) { return k < leftOut.size() && leftOut[k]; };
    // Photographs without the board take no part: they get the size of the first that
    // does, so that only the sizes of those found are compared.
    int width = 0;
    int height = 0;
    for (size_t k = 0; k < photos.size(); ++k) {
        if (photos[k].found && !isLeftOut(k)) {
            width = photos[k].width;
            height = photos[k].height;
            break;
        }
    }
    std::vector<BoardPhoto> input(photos.size());
    for (size_t k = 0; k < photos.size(); ++k) {
        BoardPhoto& photo = input[k];
        photo.leftOut = isLeftOut(k);
        if (!photos[k].found) {
            photo.width = width;
            photo.height = height;
            continue;
        }
        photo.board = photos[k].board;
        photo.image = photos[k].image;
        photo.width = photos[k].width;
        photo.height = photos[k].height;
    }
    CameraCalibrationOptions options;
    options.selection = selection;
    CameraCalibration calibration = CalibrateCamera(input, options);
    for (size_t k = 0; k < photos.size(); ++k) {
        if (photos[k].found)
            continue;
        PhotoFit& fit = calibration.photos[k];
        fit.use = PhotoUse::NotFound;
        fit.rmsPx.reset();
        fit.points = 0;
    }
    return calibration;
}

QByteArray OpenCvCameraYaml(const CameraCalibration& calibration) {
    const Camera& camera = calibration.camera;
    cv::FileStorage storage("camera.yml", cv::FileStorage::WRITE | cv::FileStorage::MEMORY |
                                              cv::FileStorage::FORMAT_YAML);
    if (!storage.isOpened())
        throw FileError("OpenCV cannot write YAML");
    storage << "image_width" << int(camera.width);
    storage << "image_height" << int(camera.height);
    storage << "camera_matrix" << cv::Mat(camera.Matrix());
    storage << "distortion_coefficients" << cv::Mat(camera.Distortion());
    storage << "avg_reprojection_error" << calibration.rmsPx;
    const std::string text = storage.releaseAndGetString();
    return QByteArray(text.data(), qsizetype(text.size()));
}

void WriteOpenCvCameraYaml(const QString& fileName, const CameraCalibration& calibration) {
    WriteFileAtomically(fileName, OpenCvCameraYaml(calibration));
}

} // namespace vrma
