#pragma once
// The calibration as a whole, for the calibration window and vrma-calib alike: the grid
// size from its texts, both coordinate files read into their lists, the counts checked,
// the scale-ratio run with its plot. It only works things out and says what happened; the
// caller shows it (a window in its controls and message boxes, vrma-calib on its streams).
// It stands with the drawing because the run stops where its plot cannot place a step,
// which vrma-calib must do alike without drawing anything.
#include "calib/ScaleRatio.h"
#include "data/Data_structures.h"
#include "drawing/ScaleRatioPlot.h"

#include <QString>

namespace vrma {

// What happened, in the order of the steps.
enum class ScaleRatioStatus {
    BadGridSize,       // a grid-size text is not an integer; nothing was read
    ReadFailed,        // a file could not be read; the reader has shown its message
    CountMismatch,     // a file does not hold NC * NR points
    CalculationFailed, // the run stopped part-way (run tells where)
    Done,
};

struct ScaleRatioOutcome {
    ScaleRatioStatus status = ScaleRatioStatus::BadGridSize;
    qint32 columns = 0;
    qint32 rows = 0;
    ScaleRatioRun run;   // the staged run, when status is CalculationFailed or Done
    ScaleRatioPlot plot; // its plot, as far as the run went

    // The lists were read: the previous results are replaced by this run's.
    bool read() const { return status >= ScaleRatioStatus::CountMismatch; }
    bool ran() const { return status >= ScaleRatioStatus::CalculationFailed; }
    bool done() const { return status == ScaleRatioStatus::Done; }
};

// Reads the scene file and then, only when that succeeded, the image file into the two
// lists with the reader's guard (which shows "Ошибка чтения файла сцены!").
bool ReadCoordinateFiles(const QString& sceneFile, const QString& imageFile, VT_Points& scene,
                         VT_Points& image);

// The steps of a calibration. The lists receive the files' points. Throws nothing but a
// failure to get memory outside the run.
ScaleRatioOutcome RunScaleRatioCommand(const QString& columnsText, const QString& rowsText,
                                       const QString& sceneFile, const QString& imageFile,
                                       VT_Points& scene, VT_Points& image);

// The fixed message for a status that the user is told about (BadGridSize and
// CalculationFailed share one; ReadFailed has the reader's); empty for Done.
QString ScaleRatioMessage(ScaleRatioStatus status);

} // namespace vrma
