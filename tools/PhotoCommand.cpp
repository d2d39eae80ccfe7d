#include "tools/PhotoCommand.h"

#include "data/PointFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <exception>
#include <opencv2/core.hpp>

namespace vrma {

namespace {

QString SamePath(const QString& name) {
    return QDir::cleanPath(QFileInfo(name).absoluteFilePath());
}

} // namespace

std::optional<QString> CheckPhotoRequest(const PhotoRequest& request) {
    Board board;
    if (const auto error = ReadBoardOptions(request.board, board))
        return error;
    if (request.sceneOut.isEmpty() || request.imageOut.isEmpty())
        return QStringLiteral("Для снимка нужны файлы --scene-out и --image-out");
    if (SamePath(request.sceneOut) == SamePath(request.imageOut))
        return QStringLiteral("Файлы --scene-out и --image-out должны быть разными");
    if (SamePath(request.photo) == SamePath(request.sceneOut) ||
        SamePath(request.photo) == SamePath(request.imageOut))
        return QStringLiteral("Файл снимка не может быть файлом координат");
    return std::nullopt;
}

PhotoResult RunPhotoDetection(const PhotoRequest& request) {
    PhotoResult result;
    Board board;
    ReadBoardOptions(request.board, board); // checked by CheckPhotoRequest
    cv::Mat grey;
    try {
        grey = ReadPhotograph(request.photo);
    } catch (const PhotoReadError& error) {
        result.status = PhotoStatus::Unreadable;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.width = grey.cols;
    result.height = grey.rows;
    DetectedTargets targets;
    try {
        DetectionTuning tuning;
        tuning.pitchRatio = board.pitchY / board.pitch;
        targets = DetectTargetsTuned(grey, board.kind, board.columns, board.rows, tuning);
    } catch (const GridNotFound& error) {
        result.status = PhotoStatus::GridNotFound;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.targets = int(targets.points.size());
    result.columns = targets.columns;
    result.rows = targets.rows;
    try {
        WritePointFiles(request.sceneOut, CalibrationScene(board, targets), request.imageOut,
                        targets.points);
    } catch (const std::exception& error) {
        result.status = PhotoStatus::WriteFailed;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.status = PhotoStatus::Done;
    return result;
}

} // namespace vrma
