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
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N17 = new QAction(QStringLiteral("Анализ по узлам…"), this);
    N17->setObjectName(QStringLiteral("N17"));
    N17->setEnabled(false);
    N18 = new QAction(QStringLiteral("Сохранить график…"), this);
    N18->setObjectName(QStringLiteral("N18"));
    PopupMenu1->addAction(N17);
    PopupMenu1->addAction(N18);
    ConnectCommand(N17, &QAction::triggered, this, &TAlfaKalibr_Form::N17Click);
    ConnectCommand(N18, &QAction::triggered, this, &TAlfaKalibr_Form::N18Click);

    // A scroll area reports the menu's position in its viewport's coordinates; the
    // plot and the splash picture pass the request on to it.
    ScrollBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ScrollBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(ScrollBox1->viewport()->mapToGlobal(at));
    });

    SavePlotDialog.Filter = QStringLiteral("PNG Files|*.png|All Files|*.*");
    SavePlotDialog.DefaultExt = QStringLiteral("png");
    SavePlotDialog.FileName = QStringLiteral("Plot1");
}

void TAlfaKalibr_Form::SetLastRatios(std::optional<NodeRatios> run) {
    lastRatios = std::move(run);
    geometryState_ = GeometryState::None;
    N17->setEnabled(lastRatios.has_value());
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

void TAlfaKalibr_Form::N17Click(QObject* /*sender*/) {
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

void TAlfaKalibr_Form::N18Click(QObject* /*sender*/) {
    const QImage picture = Image1->Picture();
    SaveThroughDialog(this, SavePlotDialog, [&picture] { return PngBytes(picture); });
}

} // namespace vrma
