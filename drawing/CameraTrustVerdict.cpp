// The assessment's part of a camera's verdict (drawing/CameraVerdict.h).
#include "data/CameraMessages.h"
#include "data/Locale.h"

#include "drawing/CameraVerdict.h"
#include <algorithm>

#include <QFileInfo>

namespace vrma {

QString CameraModelLabel(CameraSelection selection) {
    if (selection == CameraSelection::NoDistortion())
        return messages::ModelNoDistortion();
    if (selection == CameraSelection::RadialOnly())
        return messages::ModelRadial();
    if (selection == CameraSelection::OpenCvDefault())
        return messages::ModelOpenCv();
    if (selection == CameraSelection::PrincipalPointFixed())
        return messages::ModelFixedCentre();
    if (selection == CameraSelection::Rational())
        return messages::ModelRational();
    if (selection == CameraSelection::Fisheye())
        return messages::ModelFisheye();
    QStringList names;
    for (CameraParameter p : selection.Parameters())
        names << QString::fromLatin1(CameraParameterName(p));
    return names.join(QStringLiteral(", "));
}

QStringList CameraTrustLines(const CameraAssessment& assessment,
                             const CameraCalibration& calibration,
                             std::span<const PhotoDetection> photos) {
    QStringList lines;
    if (assessment.modelChosen)
        lines << messages::ModelChosen(CameraModelLabel(calibration.selection));
    if (calibration.unfounded.Count() > 0) {
        QStringList names;
        for (CameraParameter p : calibration.unfounded.Parameters())
            names << QString::fromLatin1(CameraParameterName(p));
        lines << messages::LensTermsHeld(names.join(QStringLiteral(", ")));
    }
    if (!assessment.fragile.empty()) {
        QStringList names;
        for (size_t k : assessment.fragile)
            if (k < photos.size())
                names << QFileInfo(photos[k].file).fileName();
        lines << messages::PhotosMoveCamera(names.join(QStringLiteral(", ")),
                                            FormatFixed(kFragileShiftSe, 0));
    }
    const ProjectionUncertainty& map = assessment.uncertainty;
    lines << messages::UncertaintyFigures(FormatFixed(map.distance, 0),
                                          FormatFixed(map.worstSeenPx, 3),
                                          FormatFixed(map.worstFramePx, 3));
    if (assessment.crossValidation) {
        lines << messages::CrossValidationFigures(
            FormatFixed(assessment.crossValidation->medianPx, 3),
            FormatFixed(assessment.crossValidation->worstSeenPx, 3));
        if (assessment.crossValidation->modelError)
            lines << messages::ModelErrorFound();
    }
    const auto& reasons = assessment.reasons;
    if (std::find(reasons.begin(), reasons.end(), VerdictReason::CornerUncertainty) !=
        reasons.end())
        lines << messages::CornerUncertaintyHigh(FormatFixed(kCornerUncertaintyPx, 0));
    lines << (assessment.Ok() ? messages::CameraTrusted() : messages::CameraNotTrusted());
    return lines;
}

QStringList CameraCheckLines(const CameraCheck& check) {
    return {
        messages::CameraCheckFigures(FormatFixed(check.rmsPx, 3), FormatFixed(check.fittedRmsPx, 3),
                                     FormatFixed(check.worstPx, 3), FormatFixed(check.boundPx, 3)),
        messages::CameraExplainsPhotos(check.ok)};
}

QString CameraVerdictText(const CameraAssessment& assessment, const CameraCalibration& calibration,
                          std::span<const PhotoDetection> photos) {
    return (CameraVerdictLines(calibration, photos) +
            CameraTrustLines(assessment, calibration, photos))
        .join(QLatin1Char(' '));
}

} // namespace vrma
