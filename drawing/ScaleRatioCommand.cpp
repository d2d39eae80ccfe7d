#include "drawing/ScaleRatioCommand.h"

#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/Procedures.h"

#include <optional>
#include <utility>

namespace vrma {

bool ReadCoordinateFiles(const QString& sceneFile, const QString& imageFile, VT_Points& scene,
                         VT_Points& image) {
    if (!ReadPointFile(sceneFile, &scene))
        return false;
    return ReadPointFile(imageFile, &image);
}

ScaleRatioOutcome RunScaleRatioCommand(const QString& columnsText, const QString& rowsText,
                                       const QString& sceneFile, const QString& imageFile,
                                       VT_Points& scene, VT_Points& image) {
    ScaleRatioOutcome result;
    const std::optional<qint32> nc = ParseInteger(columnsText);
    const std::optional<qint32> nr = ParseInteger(rowsText);
    if (!nc || !nr)
        return result; // BadGridSize
    result.columns = *nc;
    result.rows = *nr;

    if (!ReadCoordinateFiles(sceneFile, imageFile, scene, image)) {
        result.status = ScaleRatioStatus::ReadFailed;
        return result;
    }
    const qint64 expected = GridPointCount(*nc, *nr);
    if (scene.Count() != expected || image.Count() != expected) {
        result.status = ScaleRatioStatus::CountMismatch;
        return result;
    }
    PlottedScaleRatio plotted = RunPlottedScaleRatio(*nc, *nr, scene, image);
    result.run = std::move(plotted.run);
    result.plot = std::move(plotted.plot);
    result.status =
        result.run.complete() ? ScaleRatioStatus::Done : ScaleRatioStatus::CalculationFailed;
    return result;
}

QString ScaleRatioMessage(ScaleRatioStatus status) {
    switch (status) {
    case ScaleRatioStatus::BadGridSize:
    case ScaleRatioStatus::CalculationFailed:
        return messages::CalculationFailed();
    case ScaleRatioStatus::ReadFailed:
        return messages::ReadFailed();
    case ScaleRatioStatus::CountMismatch:
        return messages::CountMismatch();
    case ScaleRatioStatus::Done:
        break;
    }
    return {};
}

} // namespace vrma
