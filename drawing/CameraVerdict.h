#pragma once
// A camera calibrated from several photographs, in words, as the calibration window for
// cameras and the report state it: each photograph's outcome, the camera's parameters with
// their standard errors, and the verdict in plain Russian (enough photographs or not, the
// corners of the frame covered or not, the photographs left out and why).
#include "calib/CameraAssessment.h"
#include "calib/CameraCheck.h"
#include "calib/PhotoCalibration.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace vrma {

// One photograph's outcome in a few words, as vrma-calib says it too: "в калибровке", "поле
// не найдено", "исключён вами", "снимок не читается", or "не взят: " and why (its RMS over
// the rule's limit, no pose, another size than the calibration's camera's).
QString PhotoUseText(const PhotoDetection& photo, const PhotoFit& fit, const Camera& camera);
// Why a photograph is not taken (the words after "не взят: "), or empty for one taken, one
// without the field and one you left out.
QString NotTakenWhy(const PhotoDetection& photo, const PhotoFit& fit,
                    const std::optional<double>& limit, const Camera& camera);
// The turn of the board ("90°") or a dash.
QString PhotoTurnText(const PhotoDetection& photo);
// The RMS ("0,123") or a dash.
QString PhotoRmsText(const PhotoFit& fit);

// The camera's parameters, each "name", "value ± standard error unit" ("(не уточнялся)"
// for one held), then fy/fx with its standard error and the RMS of all targets used.
std::vector<std::pair<QString, QString>> CameraResultRows(const CameraCalibration& calibration);

// A camera's model as the window offers it ("без дисторсии", "радиальная дисторсия (k1, k2,
// k3)"); the freed parameters for one it does not offer.
QString CameraModelLabel(CameraSelection selection);

// The verdict: one sentence a line.
QStringList CameraVerdictLines(const CameraCalibration& calibration,
                               std::span<const PhotoDetection> photos);
// What the assessment adds to the verdict (calib/CameraAssessment): the lens terms held,
// the photographs that move the camera, the projection's uncertainty and the
// cross-validation in figures, and the conclusion, one sentence a line.
QStringList CameraTrustLines(const CameraAssessment& assessment,
                             const CameraCalibration& calibration,
                             std::span<const PhotoDetection> photos);
// The whole verdict as one text: CameraVerdictLines and CameraTrustLines joined.
QString CameraVerdictText(const CameraAssessment& assessment, const CameraCalibration& calibration,
                          std::span<const PhotoDetection> photos);

// The check of a saved camera against photographs (calib/CameraCheck): its figures (the
// RMS held and the bound, the refitted RMS, the worst photograph) and whether the camera
// explains them or has drifted, a line each.
QStringList CameraCheckLines(const CameraCheck& check);

// When no camera could be found: the reason and what to do.
QStringList CameraFailureLines(const QString& reason, std::span<const PhotoDetection> photos);
// What the photographs' files show otherwise than the calibration takes them (an EXIF turn,
// further TIFF pages), a line a photograph and note; both verdicts end with them.
QStringList PhotoStorageLines(std::span<const PhotoDetection> photos);

} // namespace vrma
