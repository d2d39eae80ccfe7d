// The calibration command of the calibration window: runs the calibration
// (drawing/ScaleRatioCommand.h) on the window's fields and files, then shows what it produced.
#include "app/Alfa_form.h"
#include "data/Messages.h"
#include "data/Procedures.h"
#include "drawing/FieldCheckVerdict.h"
#include "drawing/ScaleRatioCommand.h"
#include "drawing/ScaleRatioLines.h"
#include "drawing/ScaleRatioPlot.h"
#include "platform/Dialogs.h"
#include "platform/ImageControl.h"
#include "platform/ListBoxModel.h"

#include <QColor>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <optional>
#include <utility>

namespace vrma {

void TAlfaKalibr_Form::N4Click(QObject* /*sender*/) {
    // One guard around the whole command: whatever fails in it ends in the one message.
    try {
        // The lists are read again: the photograph of the results on screen is taken out
        // of them first, since a file that cannot be read leaves those results.
        LastGeometry();
        ShowScaleRatios(RunScaleRatioCommand(columnsField->text(), rowsField->text(), sceneFileName,
                                             imageFileName, *scenePoints, *imagePoints));
    } catch (const std::exception&) {
        ShowScaleRatioMessage(ScaleRatioStatus::CalculationFailed);
    }
}

void TAlfaKalibr_Form::ShowScaleRatioMessage(ScaleRatioStatus status) {
    MessageBoxA(this, ScaleRatioMessage(status), messages::ErrorCaption(), MB_OK);
}

void TAlfaKalibr_Form::ClearResults() {
    SetListBoxLines(QStringList());
    SetLastRatios(std::nullopt);
    SetLastReport(std::nullopt);
    coefficientField->clear();
    sdField->clear();
    {
        QPainter canvas(&plotImage->Picture());
        canvas.fillRect(QRect(0, 0, plotImage->width(), plotImage->height()),
                        QColor(255, 255, 255));
    }
    plotImage->update();
    UpdateTiltWarning(); // no run on screen: no warning
}

void TAlfaKalibr_Form::ShowScaleRatios(ScaleRatioOutcome calibration) {
    if (calibration.status == ScaleRatioStatus::BadGridSize) {
        ShowScaleRatioMessage(calibration.status);
        return;
    }
    if (!calibration.read())
        return; // the reader has told the user; the results on screen stay
    ClearResults();
    if (!calibration.ran()) {
        ShowScaleRatioMessage(calibration.status);
        return;
    }

    const ScaleRatioRun& run = calibration.run;
    if (run.coefficientSet) {
        coefficient = run.coefficient;
        coefficientInterrupted = run.coefficientInterrupted();
    }
    DrawScaleRatioPlot(plotImage->Picture(), calibration.plot);
    plotImage->update();
    if (run.meanKnown())
        splashImage->hide();
    // The list keeps the ratios and makes a line's text when it is shown.
    ratioListModel->setFixed4Lines(run.ratios, ScaleRatioSummaryLines(run));
    if (run.statisticsKnown()) {
        coefficientField->setText(FormatFixed4(run.coefficient));
        sdField->setText(FormatFixed4(run.sd));
    }
    if (!calibration.done()) {
        ShowScaleRatioMessage(calibration.status);
        return;
    }
    SetLastRatios(NodeRatios{calibration.columns, calibration.rows, run.ratios});
    try {
        // The run is not used after this: the report takes it over.
        SetLastReport(MakeScaleRatioReport(
            sceneFileName, imageFileName, calibration.columns, calibration.rows, widthField->text(),
            heightField->text(), std::move(calibration.run), QDateTime::currentDateTime()));
    } catch (const std::exception&) {
        // A report that cannot be kept (no memory for it) leaves "Отчёт…" disabled.
    }
    KeepGeometryOfLists(widthField->text(), heightField->text());
    UpdateTiltWarning();
}

void TAlfaKalibr_Form::TakeCalibratedCamera(const Camera& camera) {
    calibratedCamera = camera;
    UpdateTiltWarning();
}

void TAlfaKalibr_Form::UpdateTiltWarning() {
    const quint64 generation = ++tiltGeneration_;
    ShowTiltWarning(QString());
    // Only with a completed run on screen and something known of the camera: without a
    // focal length the check finds no tilt.
    if (!lastReport || !lastRatios || (!calibratedCamera && cameraFileName.isEmpty()))
        return;
    std::optional<FieldGeometry> geometry;
    try {
        geometry = CheckGeometry();
    } catch (const std::exception&) {
        return; // a camera file that cannot be read: the node analysis says why
    }
    if (!geometry || (!geometry->camera && !geometry->focal))
        return;
    const auto shot = std::make_shared<const FieldGeometry>(std::move(*geometry));
    const double coefficient = lastReport->run.coefficient;
    const double sd = lastReport->run.sd;
    const qint64 n = qint64(lastReport->run.ratios.size());
    ++tiltChecks_;
    tiltPool_.start([this, shot, coefficient, sd, n, generation] {
        QString warning;
        try {
            FieldCheckInput input;
            input.scene = shot->scene;
            input.image = shot->image;
            input.width = shot->width;
            input.height = shot->height;
            input.focal = shot->focal;
            input.camera = shot->camera;
            input.coefficient = coefficient;
            input.sd = sd;
            input.n = n;
            const FieldCheck check = CheckField(input);
            if (check.warning)
                warning = FieldCheckWarning(check);
        } catch (const std::exception&) {
            // A check that cannot be made warns of nothing; the node analysis says why.
        }
        QMetaObject::invokeMethod(
            this,
            [this, warning, generation] {
                --tiltChecks_;
                if (generation == tiltGeneration_)
                    ShowTiltWarning(warning);
                emit tiltChecked();
            },
            Qt::QueuedConnection);
    });
}

void TAlfaKalibr_Form::ShowTiltWarning(const QString& text) {
    const bool wasShown = !TiltWarning->isHidden();
    TiltWarning->setText(text);
    TiltWarning->setVisible(!text.isEmpty());
    if (!wasShown && text.isEmpty())
        return;
    // The lower part of the panel grows by the warning's lines; the list gives them up.
    const int extra = text.isEmpty()
                          ? 0
                          : TiltWarning->heightForWidth(std::max(1, resultsBox_->width() - 10)) + 4;
    resultsBox_->setFixedHeight(kResultPanelHeight + extra);
}

} // namespace vrma
