#include "calib/PhotoCalibration.h"

#include "calib/PhotoHeader.h"
#include "data/Errors.h"
#include "data/TextFile.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/core/persistence.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace vrma {

PhotoDetection DetectBoardInPhoto(const QString& fileName, const Board& board,
                                  const DetectionProgress& progress) {
    // The reading is the first 15 % of the work, as in DetectTargetsInFile.
    constexpr int kReadShare = 15;
    PhotoDetection detection;
    detection.file = fileName;
    detection.kind = board.kind;
    if (progress && !progress(0))
        throw DetectionCancelled();
    cv::Mat grey;
    try {
        grey = ReadPhotograph(fileName);
    } catch (const PhotoReadError& error) {
        detection.reason = QString::fromUtf8(error.what());
        detection.memoryShort = dynamic_cast<const PhotoMemoryError*>(&error) != nullptr;
        return detection;
    }
    detection.read = true;
    detection.width = grey.cols;
    detection.height = grey.rows;
    const PhotoHeader header = ReadPhotoHeader(fileName);
    detection.orientation = header.orientation;
    detection.pages = header.pages;
    const double reduce = double(kThumbnailSide) / std::max(grey.cols, grey.rows);
    if (reduce < 1.0)
        cv::resize(grey, detection.thumbnail,
                   cv::Size(std::max(1, int(std::lround(grey.cols * reduce))),
                            std::max(1, int(std::lround(grey.rows * reduce)))),
                   0.0, 0.0, cv::INTER_AREA);
    else
        detection.thumbnail = grey.clone();

    const DetectionTuning tuning = TuningFor(board);
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
    const std::vector<PlanePoint> grid = SceneGrid(board);
    detection.indices.reserve(targets.points.size());
    detection.board.reserve(targets.points.size());
    for (size_t n = 0; n < targets.points.size(); ++n) {
        detection.indices.push_back(targets.IndexOf(n));
        detection.board.push_back(grid[size_t(targets.IndexOf(n))]);
    }
    detection.image = std::move(targets.points);
    return detection;
}

std::vector<BoardPhoto> BoardPhotosOf(std::span<const PhotoDetection> photos,
                                      const std::vector<bool>& leftOut) {
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
    return input;
}

CameraCalibration CalibrateFromPhotos(std::span<const PhotoDetection> photos,
                                      const std::vector<bool>& leftOut, CameraSelection selection) {
    const std::vector<BoardPhoto> input = BoardPhotosOf(photos, leftOut);
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

std::vector<PlanePoint> PhotoResiduals(const CameraCalibration& calibration, size_t k,
                                       const PhotoDetection& photo) {
    if (k >= calibration.photos.size() || !calibration.photos[k].rmsPx || !photo.found ||
        photo.board.size() != photo.image.size())
        return {};
    const std::vector<PlanePoint> projected =
        ProjectFieldPoints(calibration.camera, calibration.photos[k].pose, photo.board);
    std::vector<PlanePoint> residuals(projected.size());
    for (size_t j = 0; j < projected.size(); ++j)
        residuals[j] = {photo.image[j].x - projected[j].x, photo.image[j].y - projected[j].y};
    return residuals;
}

double RmsLimit(const CameraCalibration& calibration) {
    std::vector<double> used;
    for (const PhotoFit& photo : calibration.photos)
        if (photo.use == PhotoUse::Used && photo.rmsPx)
            used.push_back(*photo.rmsPx);
    if (used.empty())
        return kRmsFloorPx;
    const size_t middle = used.size() / 2;
    std::nth_element(used.begin(), used.begin() + std::ptrdiff_t(middle), used.end());
    double median = used[middle];
    if (used.size() % 2 == 0)
        median =
            0.5 * (median + *std::max_element(used.begin(), used.begin() + std::ptrdiff_t(middle)));
    return std::max(kRmsLimitFactor * median, kRmsFloorPx);
}

FrameCoverage CoverageOf(const CameraCalibration& calibration,
                         std::span<const PhotoDetection> photos) {
    FrameCoverage coverage;
    const Camera& camera = calibration.camera;
    const double w = camera.width;
    const double h = camera.height;
    if (!(w > 0.0 && h > 0.0))
        return coverage;
    // Pixel centres run from 0 to w - 1.
    const double right = w - 1.0;
    const double bottom = h - 1.0;
    const double farthest = std::max({std::hypot(camera.cx(), camera.cy()),
                                      std::hypot(right - camera.cx(), camera.cy()),
                                      std::hypot(right - camera.cx(), bottom - camera.cy()),
                                      std::hypot(camera.cx(), bottom - camera.cy())});
    const double marginX = kCornerShare * w;
    const double marginY = kCornerShare * h;
    for (size_t k = 0; k < photos.size() && k < calibration.photos.size(); ++k) {
        if (calibration.photos[k].use != PhotoUse::Used)
            continue;
        for (const PlanePoint& p : photos[k].image) {
            const bool left = p.x < marginX;
            const bool atRight = p.x > right - marginX;
            const bool top = p.y < marginY;
            const bool atBottom = p.y > bottom - marginY;
            coverage.corners[0] = coverage.corners[0] || (left && top);
            coverage.corners[1] = coverage.corners[1] || (atRight && top);
            coverage.corners[2] = coverage.corners[2] || (atRight && atBottom);
            coverage.corners[3] = coverage.corners[3] || (left && atBottom);
            if (farthest > 0.0)
                coverage.reach = std::max(
                    coverage.reach, std::hypot(p.x - camera.cx(), p.y - camera.cy()) / farthest);
        }
    }
    return coverage;
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
    storage << "distortion_model" << CameraModelName(camera);
    storage << "distortion_coefficients" << cv::Mat(camera.Distortion());
    storage << "avg_reprojection_error" << calibration.rmsPx;
    const std::string text = storage.releaseAndGetString();
    return QByteArray(text.data(), qsizetype(text.size()));
}

void WriteOpenCvCameraYaml(const QString& fileName, const CameraCalibration& calibration) {
    WriteFileAtomically(fileName, OpenCvCameraYaml(calibration));
}

} // namespace vrma
