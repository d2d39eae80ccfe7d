#include "drawing/CameraVerdict.h"

#include "data/CameraMessages.h"
#include "data/Locale.h"
#include "data/Messages.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace vrma {

QString NotTakenWhy(const PhotoDetection& photo, const PhotoFit& fit,
                    const std::optional<double>& limit, const Camera& camera) {
    switch (fit.use) {
    case PhotoUse::LeftOutRms:
        return fit.rmsPx && limit
                   ? messages::RmsOverLimit(FormatFixed(*fit.rmsPx, 3), FormatFixed(*limit, 3))
                   : messages::RmsOverLimit();
    case PhotoUse::LeftOutNoPose:
        return messages::NoPoseInPhoto();
    case PhotoUse::LeftOutSize:
        return messages::OtherPhotoSize(photo.width, photo.height, int(camera.width),
                                        int(camera.height));
    case PhotoUse::Used:
    case PhotoUse::NotFound:
    case PhotoUse::LeftOutByUser:
        break;
    }
    return QString();
}

namespace {

QString Name(const PhotoDetection& photo) {
    return QFileInfo(photo.file).fileName();
}

// "3 снимка", "5 снимков", "1 снимок".
QString Photographs(qsizetype n) {
    const qsizetype tens = n % 100;
    const qsizetype ones = n % 10;
    if (tens >= 11 && tens <= 14)
        return QStringLiteral("%1 снимков").arg(n);
    if (ones == 1)
        return QStringLiteral("%1 снимок").arg(n);
    if (ones >= 2 && ones <= 4)
        return QStringLiteral("%1 снимка").arg(n);
    return QStringLiteral("%1 снимков").arg(n);
}

// Why a photograph takes no part, in a few words, for the verdict.
QString LeftOutWhy(const PhotoDetection& photo, const PhotoFit& fit, double limit,
                   const Camera& camera) {
    if (!photo.read)
        return messages::PhotoNotRead();
    switch (fit.use) {
    case PhotoUse::NotFound:
        return messages::PhotoFieldNotFound();
    case PhotoUse::LeftOutByUser:
        return messages::PhotoLeftOutByYou();
    case PhotoUse::Used:
        return QString();
    case PhotoUse::LeftOutRms:
    case PhotoUse::LeftOutNoPose:
    case PhotoUse::LeftOutSize:
        break;
    }
    return NotTakenWhy(photo, fit, limit, camera);
}

const char* const kCornerNames[4] = {"левом верхнем", "правом верхнем", "правом нижнем",
                                     "левом нижнем"};

} // namespace

QString PhotoUseText(const PhotoDetection& photo, const PhotoFit& fit, const Camera& camera) {
    if (!photo.read)
        return messages::PhotoNotRead();
    switch (fit.use) {
    case PhotoUse::Used:
        return messages::PhotoInCalibration();
    case PhotoUse::NotFound:
        return messages::PhotoFieldNotFound();
    case PhotoUse::LeftOutByUser:
        return messages::PhotoLeftOutByYou();
    case PhotoUse::LeftOutRms:
    case PhotoUse::LeftOutNoPose:
    case PhotoUse::LeftOutSize:
        break;
    }
    return messages::NotTaken(NotTakenWhy(photo, fit, std::nullopt, camera));
}

QString PhotoTurnText(const PhotoDetection& photo) {
    return photo.turn ? QStringLiteral("%1°").arg(photo.turn->degrees) : QStringLiteral("—");
}

QString PhotoRmsText(const PhotoFit& fit) {
    return fit.rmsPx ? FormatFixed(*fit.rmsPx, 3) : QStringLiteral("—");
}

std::vector<std::pair<QString, QString>> CameraResultRows(const CameraCalibration& calibration) {
    std::vector<std::pair<QString, QString>> rows;
    const Camera& camera = calibration.camera;
    for (CameraParameter p : ModelParameters(camera, calibration.selection)) {
        const bool lens = p >= CameraParameter::K1;
        const int decimals = lens ? 6 : 2;
        const QString unit = lens ? QString() : QStringLiteral(" пикс.");
        const QString name = QString::fromLatin1(CameraParameterName(p)) + QLatin1Char(':');
        rows.emplace_back(
            name,
            calibration.selection.Frees(p)
                ? FormatFixed(camera[p], decimals) + QStringLiteral(" ± ") +
                      FormatFixed(calibration.covariance.StandardError(p), decimals) + unit
                : FormatFixed(camera[p], decimals) + unit + QStringLiteral(" (не уточнялся)"));
    }
    rows.emplace_back(QStringLiteral("fy/fx:"), FormatFixed(calibration.ratio, 6) +
                                                    QStringLiteral(" ± ") +
                                                    FormatFixed(calibration.ratioSe, 6));
    rows.emplace_back(QStringLiteral("СКО:"), QStringLiteral("%1 пикс. по %2 мишеням")
                                                  .arg(FormatFixed(calibration.rmsPx, 3))
                                                  .arg(qulonglong(calibration.points)));
    return rows;
}

QStringList CameraVerdictLines(const CameraCalibration& calibration,
                               std::span<const PhotoDetection> photos) {
    QStringList lines;
    const int used = calibration.used;
    if (used >= kEnoughPhotos)
        lines << QStringLiteral("В калибровке %1 — этого достаточно.").arg(Photographs(used));
    else
        lines << QStringLiteral("В калибровке %1 — это мало: для надёжной калибровки нужно "
                                "10–20 снимков поля, наклонённого на 20–40° в разные стороны.")
                     .arg(Photographs(used));

    const FrameCoverage coverage = CoverageOf(calibration, photos);
    if (coverage.AllCorners()) {
        lines << QStringLiteral("Углы кадра покрыты: мишени есть во всех четырёх углах, "
                                "дисторсия объектива определена по всему кадру.");
    } else {
        QStringList missing;
        for (int c = 0; c < 4; ++c)
            if (!coverage.corners[size_t(c)])
                missing << QString::fromUtf8(kCornerNames[c]);
        lines << QStringLiteral("Углы кадра покрыты не все: нет мишеней в %1 %2. Там дисторсия "
                                "объектива не определена — добавьте снимки, на которых поле "
                                "заходит в %3.")
                     .arg(missing.join(QStringLiteral(", ")),
                          missing.size() == 1 ? QStringLiteral("углу") : QStringLiteral("углах"),
                          missing.size() == 1 ? QStringLiteral("этот угол")
                                              : QStringLiteral("эти углы"));
        // A board found only whole hardly reaches a corner of the frame; a ChArUco board may
        // run past its edges.
        const bool coded = std::any_of(photos.begin(), photos.end(), [](const PhotoDetection& p) {
            return p.kind == TargetKind::Charuco;
        });
        lines.last() += coded ? QStringLiteral(" Доску ChArUco можно снимать так, чтобы она "
                                               "выходила за край кадра.")
                              : QStringLiteral(" Поле, видное целиком, в угол кадра заходит с "
                                               "трудом: напечатайте доску ChArUco — её углы "
                                               "находятся и там, где доска видна частично.");
    }

    const double limit = RmsLimit(calibration);
    QStringList out;
    for (size_t k = 0; k < photos.size() && k < calibration.photos.size(); ++k) {
        const PhotoFit& fit = calibration.photos[k];
        if (fit.use != PhotoUse::Used || !photos[k].read)
            out << QStringLiteral("%1 — %2").arg(
                Name(photos[k]), LeftOutWhy(photos[k], fit, limit, calibration.camera));
    }
    if (out.isEmpty())
        lines << QStringLiteral("Все снимки взяты в калибровку.");
    else
        lines << QStringLiteral("Не взяты в калибровку (%1): %2.")
                     .arg(out.size())
                     .arg(out.join(QStringLiteral("; ")));
    return lines + PhotoStorageLines(photos);
}

QStringList CameraFailureLines(const QString& reason, std::span<const PhotoDetection> photos) {
    QStringList lines;
    lines << QStringLiteral("Камера не откалибрована. %1").arg(reason);
    qsizetype found = 0;
    QStringList missing;
    for (const PhotoDetection& photo : photos) {
        if (photo.found)
            ++found;
        else
            missing << QStringLiteral("%1 — %2").arg(Name(photo),
                                                     photo.read ? messages::PhotoFieldNotFound()
                                                                : messages::PhotoNotRead());
    }
    const bool one = found % 10 == 1 && found % 100 != 11;
    lines << QStringLiteral("Поле найдено на %1 %2 из %3.")
                 .arg(found)
                 .arg(one ? QStringLiteral("снимке") : QStringLiteral("снимках"))
                 .arg(qulonglong(photos.size()));
    if (!missing.isEmpty())
        lines << QStringLiteral("Без поля: %1.").arg(missing.join(QStringLiteral("; ")));
    return lines + PhotoStorageLines(photos);
}

QStringList PhotoStorageLines(std::span<const PhotoDetection> photos) {
    QStringList lines;
    for (const PhotoDetection& photo : photos) {
        if (!photo.read)
            continue;
        if (photo.orientation != 1)
            lines << QStringLiteral("%1: %2.").arg(
                Name(photo), messages::PhotoOrientationNote(photo.orientation));
        if (photo.pages > 1)
            lines << QStringLiteral("%1: %2.").arg(Name(photo),
                                                   messages::PhotoPagesNote(photo.pages));
    }
    return lines;
}

} // namespace vrma
