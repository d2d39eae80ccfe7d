#pragma once
// The report of a completed calibration on paper: a PDF document (A4, readable when
// printed in black and white, its fonts embedded) with the inputs, the coefficient, the
// ratios as a table by node, the plot, the node map with its legend, the statistics of
// the field with its outliers, any further checks, and what the export wrote.
#include "calib/FieldCheck.h"
#include "calib/NodeAnalysis.h"
#include "calib/ScaleRatio.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace vrma {

// A further section of the report: a title, lines of label and value, and a note. The
// checks that come beside the coefficient (the tilt of the field, corrected and
// multi-view coefficients) are reported this way.
struct ReportSection {
    QString title;
    std::vector<std::pair<QString, QString>> rows;
    QString note;
};

struct ScaleRatioReport {
    QString sceneFile; // as the calibration read them
    QString imageFile;
    qint32 columns = 0; // NC
    qint32 rows = 0;    // NR
    QString widthText;  // the image size as typed
    QString heightText;
    QDateTime date;
    ScaleRatioRun run; // complete
    // The analysis of the run's nodes, made when it is first needed (ReportAnalysis, the
    // document): the calibration window keeps the report of every run and prints few.
    std::optional<NodeAnalysis> analysis;
    std::vector<ReportSection> sections; // further checks, in order
    // What the export wrote, one line a file ("Таблица коррекции: /path/t.tab"); empty
    // when nothing was written.
    QStringList written;
};

// The report of a completed run (which it keeps: move a run that is not needed
// afterwards), not yet analysed. Throws CalcError when the run did not complete.
ScaleRatioReport MakeScaleRatioReport(const QString& sceneFile, const QString& imageFile,
                                      qint32 columns, qint32 rows, const QString& widthText,
                                      const QString& heightText, ScaleRatioRun run,
                                      const QDateTime& date);

// The analysis of the report's nodes, made now if it was not before. Throws CalcError when
// the ratios cannot be analysed.
const NodeAnalysis& ReportAnalysis(ScaleRatioReport& report);

// The verdict on the outliers as the report states it: "Выбросов нет." or
// "Выбросы: N (столбец i, строка j; …)."
QString OutlierVerdict(const NodeAnalysis& analysis);

// The section of the field check: the homography's fit, the tilt of the field and the
// corrected coefficient when a focal length was known, the coefficient of all the
// photographs together when there were several, and the verdict on the bias.
ReportSection FieldCheckSection(const FieldCheck& check);

// The section when the field check could not be made: its message.
ReportSection FieldCheckFailedSection(const QString& message);

// The field check of the report's photograph (its run's coefficient, the geometry's
// points, size and focal length) as a section; the failed section when the check throws.
ReportSection CheckFieldSection(const ScaleRatioReport& report, const FieldGeometry& geometry);

// The PDF document (with the analysis of the nodes, made for it when the report has none).
// Needs a QGuiApplication (fonts). Throws Exception when it cannot be made, CalcError when
// the ratios cannot be analysed or plotted.
QByteArray ScaleRatioReportPdf(const ScaleRatioReport& report);

// The PDF written to a file in one go. Throws FileError when it cannot be written.
void WriteScaleRatioReport(const QString& fileName, const ScaleRatioReport& report);

} // namespace vrma
