#include "tools/FieldCheckJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace vrma {

QByteArray FieldCheckJson(const FieldCheck& check) {
    auto value = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    auto known = [&](bool isKnown, double v) {
        return isKnown ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
    };
    QJsonObject object;
    object.insert(QStringLiteral("coefficient"), check.coefficient);
    object.insert(QStringLiteral("sd"), check.sd);
    object.insert(QStringLiteral("n"), QJsonValue(check.n));
    object.insert(QStringLiteral("sem"), check.sem);
    object.insert(QStringLiteral("homography_rms_px"), check.homographyRmsPx);
    object.insert(QStringLiteral("tilt_vertical_deg"),
                  known(check.tiltKnown, check.tiltVerticalDeg));
    object.insert(QStringLiteral("tilt_horizontal_deg"),
                  known(check.tiltKnown, check.tiltHorizontalDeg));
    object.insert(QStringLiteral("tilt_deg"), known(check.tiltKnown, check.tiltDeg));
    object.insert(QStringLiteral("focal_px"), known(check.tiltKnown, check.focalUsed));
    object.insert(QStringLiteral("corrected_coefficient"), value(check.correctedCoefficient));
    object.insert(QStringLiteral("corrected_se"), value(check.correctedSe));
    object.insert(QStringLiteral("views"), check.viewCount);
    object.insert(QStringLiteral("multiview_fx"), value(check.multiviewFx));
    object.insert(QStringLiteral("multiview_fy"), value(check.multiviewFy));
    object.insert(QStringLiteral("multiview_ratio"), value(check.multiviewRatio));
    object.insert(QStringLiteral("multiview_ratio_se"), value(check.multiviewRatioSe));
    object.insert(QStringLiteral("bias"), value(check.bias));
    object.insert(QStringLiteral("bias_se"), value(check.biasSe));
    object.insert(QStringLiteral("reference_doubtful"), check.referenceDoubtful);
    object.insert(QStringLiteral("warning"), check.warning);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace vrma
