// The context menu of the plot area: the node analysis of the calibration on screen,
// and the plot saved as a picture. Neither changes anything of the calibration.
#include "app/Alfa_form.h"
#include "app/CalibrationGeometry.h"
#include "app/NodeAnalysisWindow.h"
#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"

#include <QAction>
#include <QMenu>
#include <QScrollArea>

namespace vrma {

void TAlfaKalibr_Form::CreatePlotMenu() {
    plotMenu = new QMenu(this);
    plotMenu->setObjectName(QStringLiteral("PopupMenu1"));
    nodeAnalysisAction = new QAction(QStringLiteral("Анализ по узлам…"), this);
    nodeAnalysisAction->setObjectName(QStringLiteral("N17"));
    nodeAnalysisAction->setEnabled(false);
    savePlotAction = new QAction(QStringLiteral("Сохранить график…"), this);
    savePlotAction->setObjectName(QStringLiteral("N18"));
    plotMenu->addAction(nodeAnalysisAction);
    plotMenu->addAction(savePlotAction);
    ConnectCommand(nodeAnalysisAction, &QAction::triggered, this,
                   &TAlfaKalibr_Form::OpenNodeAnalysis);
    ConnectCommand(savePlotAction, &QAction::triggered, this, &TAlfaKalibr_Form::SavePlot);

    // A scroll area reports the menu's position in its viewport's coordinates; the
    // plot and the splash picture pass the request on to it.
    plotArea->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plotArea, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { plotMenu->popup(plotArea->viewport()->mapToGlobal(at)); });

    SavePlotDialog.Filter = QStringLiteral("Рисунки PNG|*.png|Все файлы|*.*");
    SavePlotDialog.DefaultExt = QStringLiteral("png");
    SavePlotDialog.FileName = QStringLiteral("Plot1");
}

void TAlfaKalibr_Form::SetLastRatios(std::optional<NodeRatios> run) {
    lastRatios = std::move(run);
    geometryState_ = GeometryState::None;
    nodeAnalysisAction->setEnabled(lastRatios.has_value());
}

void TAlfaKalibr_Form::KeepGeometryOfLists(const QString& widthText, const QString& heightText) {
    geometryState_ = GeometryState::InLists;
    geometryWidth_ = widthText;
    geometryHeight_ = heightText;
}

const FieldGeometry* TAlfaKalibr_Form::LastGeometry() {
    if (geometryState_ == GeometryState::InLists) {
        geometryState_ = FillCalibrationGeometry(*scenePoints, *imagePoints, geometryWidth_,
                                                 geometryHeight_, keptGeometry_)
                             ? GeometryState::Kept
                             : GeometryState::None;
    }
    return geometryState_ == GeometryState::Kept ? &keptGeometry_ : nullptr;
}

std::optional<FieldGeometry> TAlfaKalibr_Form::CheckGeometry() {
    const FieldGeometry* kept = LastGeometry();
    if (!kept)
        return std::nullopt;
    FieldGeometry geometry = *kept;
    if (calibratedCamera && calibratedCamera->width == geometry.width &&
        calibratedCamera->height == geometry.height)
        geometry.camera = calibratedCamera;
    else if (!cameraFileName.isEmpty())
        geometry.focal = CameraFileFocal(cameraFileName);
    return geometry;
}

void TAlfaKalibr_Form::OpenNodeAnalysis(QObject* /*sender*/) {
    if (!lastRatios)
        return;
    std::unique_ptr<TNodeAnalysisForm> form;
    try {
        if (const std::optional<FieldGeometry> geometry = CheckGeometry()) {
            form = std::make_unique<TNodeAnalysisForm>(*lastRatios, *geometry, this);
        } else {
            form = std::make_unique<TNodeAnalysisForm>(*lastRatios, this);
        }
    } catch (const std::exception&) {
        ShowScaleRatioMessage(ScaleRatioStatus::CalculationFailed);
        return;
    }
    CurrentDialogHost().execModal(*form);
}

void TAlfaKalibr_Form::SavePlot(QObject* /*sender*/) {
    const QImage picture = plotImage->Picture();
    SaveThroughDialog(this, SavePlotDialog, [&picture] { return PngBytes(picture); });
}

} // namespace vrma
