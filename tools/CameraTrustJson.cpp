#include "tools/CameraTrustJson.h"

#include "drawing/CameraVerdict.h"

#include <QJsonArray>

namespace vrma {

void InsertCameraTrust(QJsonObject& object, const CameraAssessment* assessment,
                       const CameraCalibration* calibration, std::span<const PhotoDetection> photos,
                       const QString& reason) {
    QJsonObject verdict;
    QJsonArray reasons;
    if (!assessment || !calibration) {
        reasons.append(QStringLiteral("no_camera"));
        verdict.insert(QStringLiteral("ok"), false);
        verdict.insert(QStringLiteral("reasons"), reasons);
        verdict.insert(QStringLiteral("text"), reason);
        object.insert(QStringLiteral("verdict"), verdict);
        object.insert(QStringLiteral("uncertainty"), QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("cross_validation"), QJsonValue(QJsonValue::Null));
        return;
    }
    for (VerdictReason r : assessment->reasons)
        reasons.append(QString::fromLatin1(VerdictReasonCode(r)));
    verdict.insert(QStringLiteral("ok"), assessment->Ok());
    verdict.insert(QStringLiteral("reasons"), reasons);
    verdict.insert(QStringLiteral("text"), CameraVerdictText(*assessment, *calibration, photos));
    object.insert(QStringLiteral("verdict"), verdict);

    const ProjectionUncertainty& map = assessment->uncertainty;
    QJsonArray cells;
    for (const UncertaintyCell& cell : map.cells)
        if (!cell.outside)
            cells.append(QJsonArray{cell.x, cell.y, cell.sigmaPx});
    QJsonObject uncertainty;
    uncertainty.insert(QStringLiteral("distance"), map.distance);
    uncertainty.insert(QStringLiteral("cells"), cells);
    uncertainty.insert(QStringLiteral("worst_seen_px"), map.worstSeenPx);
    uncertainty.insert(QStringLiteral("worst_frame_px"), map.worstFramePx);
    object.insert(QStringLiteral("uncertainty"), uncertainty);

    if (const auto& cv = assessment->crossValidation) {
        QJsonObject cross;
        cross.insert(QStringLiteral("median_px"), cv->medianPx);
        cross.insert(QStringLiteral("worst_seen_px"), cv->worstSeenPx);
        cross.insert(QStringLiteral("median_sigma"), cv->ratio);
        cross.insert(QStringLiteral("model_error"), cv->modelError);
        object.insert(QStringLiteral("cross_validation"), cross);
    } else {
        object.insert(QStringLiteral("cross_validation"), QJsonValue(QJsonValue::Null));
    }
}

} // namespace vrma
