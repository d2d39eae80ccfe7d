// "Файл" → "Отчёт…": the report of the calibration on screen, as a PDF file chosen in a
// save dialog. It changes nothing of the calibration.
#include "app/Alfa_form.h"
#include "app/NodeAnalysisWindow.h"
#include "data/Errors.h"
#include "drawing/PdfMemory.h"
#include "drawing/ScaleRatioReport.h"

#include <QAction>

namespace vrma {

void TAlfaKalibr_Form::SetLastReport(std::optional<ScaleRatioReport> report) {
    lastReport = std::move(report);
    reportAction->setEnabled(lastReport.has_value());
}

void TAlfaKalibr_Form::SaveReport(QObject* /*sender*/) {
    if (!lastReport)
        return;
    // The field check as the node analysis makes it: the run's photograph, with the camera
    // calibrated in this run or the focal length of the camera file when one is known.
    ScaleRatioReport report = *lastReport;
    // The nodes are analysed now, before any file is asked for; ratios that cannot be
    // analysed end in the message the node analysis gives.
    try {
        ReportAnalysis(report);
    } catch (const CalcError&) {
        ShowScaleRatioMessage(ScaleRatioStatus::CalculationFailed);
        return;
    }
    if (const std::optional<FieldGeometry> geometry = CheckGeometry())
        report.sections.push_back(CheckFieldSection(report, *geometry));
    SaveThroughDialog(this, SaveReportDialog, [&report] {
        return PaintPdf([&report] { return ScaleRatioReportPdf(report); }, PdfItems(report));
    });
}

} // namespace vrma
