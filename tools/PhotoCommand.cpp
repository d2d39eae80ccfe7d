#include "tools/PhotoCommand.h"

#include "calib/PhotoHeader.h"
#include "data/Messages.h"
#include "data/PointFileWriter.h"
#include "tools/CommandLine.h"

#include <opencv2/core.hpp>

namespace vrma {

std::optional<QString> CheckPhotoRequest(const PhotoRequest& request) {
    Board board;
    if (auto error = ReadBoardOptions(request.board, board))
        return error;
    if (request.sceneOut.isEmpty() || request.imageOut.isEmpty())
        return QStringLiteral("Для снимка нужны файлы --scene-out и --image-out");
    const NamedFile photo{QStringLiteral("--photo"), request.photo};
    const NamedFile outputs[] = {{QStringLiteral("--scene-out"), request.sceneOut},
                                 {QStringLiteral("--image-out"), request.imageOut}};
    return FileClashMessage(std::span(&photo, 1), outputs);
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
    if (request.acceptSize)
        if (const auto refusal = request.acceptSize(grey.cols, grey.rows)) {
            result.status = PhotoStatus::Refused;
            result.message = *refusal;
            return result;
        }
    DetectedTargets targets;
    try {
        targets = DetectTargetsTuned(grey, board.kind, board.columns, board.rows, TuningFor(board));
    } catch (const GridNotFound& error) {
        result.status = PhotoStatus::GridNotFound;
        result.message = QString::fromUtf8(error.what());
        return result;
    }
    result.targets = int(targets.points.size());
    result.columns = targets.columns;
    result.rows = targets.rows;
    result.scene = EncodePointFile(CalibrationScene(board, targets));
    result.image = EncodePointFile(targets.points);
    const PhotoHeader header = ReadPhotoHeader(request.photo);
    if (header.orientation != 1)
        result.notes << messages::PhotoOrientationNote(header.orientation);
    if (header.pages > 1)
        result.notes << messages::PhotoPagesNote(header.pages);
    result.status = PhotoStatus::Done;
    return result;
}

} // namespace vrma
