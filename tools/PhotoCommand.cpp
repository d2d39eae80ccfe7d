#include "tools/PhotoCommand.h"

#include "data/Messages.h"
#include "data/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <exception>
#include <opencv2/core.hpp>

namespace vrma {

namespace {

std::optional<double> Pitch(const QString& text) {
    const std::optional<double> value = ParseRealDouble(text);
    if (!value || !(*value > 0.0) || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

QString SamePath(const QString& name) {
    return QDir::cleanPath(QFileInfo(name).absoluteFilePath());
}

} // namespace

std::optional<QString> CheckPhotoRequest(const PhotoRequest& request) {
    TargetKind kind = TargetKind::Chessboard;
    if (!ParseTargetKind(request.target, kind))
        return QStringLiteral("Вид мишеней (--target) должен быть chessboard или dots: %1")
            .arg(request.target);
    const std::optional<qint32> columns = ParseInteger(request.columns);
    const std::optional<qint32> rows = ParseInteger(request.rows);
    if (!columns || !rows || *columns < 2 || *rows < 2)
        return QStringLiteral("Для поиска мишеней на снимке числа столбцов и строк должны быть "
                              "целыми, не меньше 2");
    if (!Pitch(request.pitch))
        return QStringLiteral("Шаг сетки (--pitch) должен быть положительным числом: %1")
            .arg(request.pitch);
    if (!request.pitchY.isNull() && !Pitch(request.pitchY))
        return QStringLiteral("Шаг сетки по строкам (--pitch-y) должен быть положительным "
                              "числом: %1")
            .arg(request.pitchY);
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
    TargetKind kind = TargetKind::Chessboard;
    ParseTargetKind(request.target, kind);
    const int columns = *ParseInteger(request.columns);
    const int rows = *ParseInteger(request.rows);
    const double pitch = *Pitch(request.pitch);
    const double pitchY = request.pitchY.isNull() ? pitch : *Pitch(request.pitchY);

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
        tuning.pitchRatio = pitchY / pitch;
        targets = DetectTargetsTuned(grey, kind, columns, rows, tuning);
    } catch (const GridNotFound& error) {
        result.status = PhotoStatus::GridNotFound;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.targets = int(targets.points.size());
    try {
        WriteDetectedFiles(request.sceneOut, request.imageOut, targets, pitch, pitchY);
    } catch (const std::exception& error) {
        result.status = PhotoStatus::WriteFailed;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.status = PhotoStatus::Done;
    return result;
}

} // namespace vrma
