#pragma once
// vrma-calib's calibration of coordinate files (those given, or those measured in a
// photograph), as the calibration window runs it: the list's lines on standard output, the
// geometry of the field when it is asked for, and every file ordered written at the end as
// one set (data/OutputFiles).
#include "data/Numbers.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vrma {

// A calibration as the command line orders it, checked.
struct CalibrationRequest {
    QString sceneFile;
    QString imageFile;
    QString columns;
    QString rows;
    QString width; // texts, as the window's fields hold them
    QString height;
    std::optional<QString> table;
    std::optional<QString> camera;
    std::optional<QString> report;
    std::optional<QString> json;
    // The geometry of the field: asked for by --focal, --view or --json.
    bool fieldCheck = false;
    std::optional<double> focal;
    QList<QStringList> views;
    // The image size is the photograph's, known once it is read: the focal length is
    // checked against it then (CheckFocalAgainstSize).
    bool sizeFromPhoto = false;

    std::optional<double> widthPx() const { return ParseRealDouble(width); }
    std::optional<double> heightPx() const { return ParseRealDouble(height); }
    bool sizeKnown() const {
        return widthPx() && heightPx() && *widthPx() > 0.0 && *heightPx() > 0.0;
    }
};

// The two coordinate files of a measured photograph: their names and bytes. The calibration
// reads the bytes as the reader would read the files, which are written with the rest.
struct MeasuredFiles {
    QString sceneOut;
    QString imageOut;
    QByteArray scene;
    QByteArray image;
};

// After the reader's message: when the file that failed (the scene file, else the image
// file) stopped at a line whose numbers are written with the other decimal separator, the
// user is told so, since the message itself names neither the file nor the reason.
void ExplainReadFailure(const QString& sceneFile, const QString& imageFile);

// The calibration window's command, step for step (the reader prints its own message),
// then the figures, and every file ordered written at the end as one set: the measured
// photograph's coordinate files, the table and the camera file, the report, the JSON.
int Calibrate(const CalibrationRequest& request, const MeasuredFiles* measured);

} // namespace vrma
