#include "drawing/ScaleRatioCommand.h"

#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/Procedures.h"

#include <optional>
#include <utility>

namespace vrma {

bool ReadCalibrationFiles(const QString& sceneFile, const QString& imageFile, VT_Points& scene,
                          VT_Points& image) {
    if (!ReadPointFile(sceneFile, &scene))
        return false;
    return ReadPointFile(imageFile, &image);
}

Calibration RunCalibration(const QString& columnsText, const QString& rowsText,
                           const QString& sceneFile, const QString& imageFile, VT_Points& scene,
                           VT_Points& image) {
    Calibration result;
    const std::optional<qint32> nc = ParseInteger(columnsText);
    const std::optional<qint32> nr = ParseInteger(rowsText);
    if (!nc || !nr)
        return result; // BadGridSize
    result.columns = *nc;
    result.rows = *nr;

    if (!ReadCalibrationFiles(sceneFile, imageFile, scene, image)) {
        result.status = CalibrationStatus::ReadFailed;
        return result;
    }
    const qint64 expected = GridPointCount(*nc, *nr);
    if (scene.Count() != expected || image.Count() != expected) {
        result.status = CalibrationStatus::CountMismatch;
        return result;
    }
    PlottedScaleRatio plotted = RunPlottedScaleRatio(*nc, *nr, scene, image);
    result.run = std::move(plotted.run);
    result.plot = std::move(plotted.plot);
    result.status =
        result.run.complete() ? CalibrationStatus::Done : CalibrationStatus::CalculationFailed;
    return result;
}

QString CalibrationMessage(CalibrationStatus status) {
    switch (status) {
    case CalibrationStatus::BadGridSize:
    case CalibrationStatus::CalculationFailed:
        return messages::CalculationFailed();
    case CalibrationStatus::ReadFailed:
        return messages::ReadFailed();
    case CalibrationStatus::CountMismatch:
        return messages::CountMismatch();
    case CalibrationStatus::Done:
        break;
    }
    return {};
}

} // namespace vrma
