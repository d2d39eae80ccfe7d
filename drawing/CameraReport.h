#pragma once
// The report of a camera calibrated from several photographs on paper: a PDF document
// (drawing/ReportPages) with the board and the photographs, fy/fx, the verdict, the chart
// of the RMS, the coverage of the frame, the camera with its standard errors, and what was
// written from it.
#include "calib/Board.h"
#include "calib/CameraAssessment.h"
#include "calib/PhotoCalibration.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace vrma {

// The report of a camera calibrated from several photographs: the board and the
// photographs (names, thumbnails, outcomes), fy/fx, the verdict, the chart of the RMS of
// every photograph, the coverage of the frame, the camera with its standard errors, and
// what was written from it.
struct CameraReport {
    Board board;
    QDateTime date;
    std::vector<PhotoDetection> photos; // as searched, in the calibration's order
    CameraCalibration calibration;
    std::optional<CameraAssessment> assessment; // what it adds to the verdict
    QStringList written;                        // as ScaleRatioReport::written
};

// The PDF document. Needs a QGuiApplication (fonts). Throws Exception when it cannot be
// made (photographs and calibration of different counts among them).
QByteArray CameraReportPdf(const CameraReport& report);
void WriteCameraReport(const QString& fileName, const CameraReport& report);

} // namespace vrma
