#pragma once
// The node analysis window: the ratios of the last completed calibration as a map of
// the interior nodes in their column/row arrangement, coloured on a diverging scale
// centred on the mean, with the statistics of the field and its outliers. It only
// shows what the calibration computed; it changes nothing of the calibration window.
#include "calib/FieldCheck.h"
#include "calib/NodeAnalysis.h"
#include "data/FileNames.h"
#include "drawing/NodeMapPainting.h"
#include "platform/Dialogs.h"

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QWidget>
#include <functional>
#include <span>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vrma {

// The picture as PNG bytes.
QByteArray PngBytes(const QImage& picture);

// Saves through a save dialog: asks before replacing an existing file, and reports a
// failed write in a message box. Returns true when the file was written.
// The file chosen is refused, with a message, when it is one of `inputs` (compared as
// files), which the window reads.
bool SaveThroughDialog(QWidget* owner, FileDialog& dialog, const std::function<QByteArray()>& bytes,
                       std::span<const NamedFile> inputs = {});

// The map: one cell per interior node, column 1 at the left, row 1 at the top, with the
// column and row numbers along the edges and the legend below.
class TNodeMap : public QWidget {
    Q_OBJECT
public:
    explicit TNodeMap(const NodeAnalysis& analysis, QWidget* parent = nullptr);

    // The node under a point of the widget, or nullptr.
    const NodeValue* nodeAt(const QPoint& point) const;
    // The cell of a node, in widget coordinates (empty for a node without a cell).
    QRect cellRect(qint32 column, qint32 row) const;
    // The selected node (clicked), or nullptr.
    const NodeValue* selected() const { return selected_; }
    void select(const NodeValue* node);
    // The map and its legend as a picture, as shown.
    QImage picture();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The node under the pointer changed (nullptr when the pointer left the cells).
    void hovered(const vrma::NodeValue* node);
    void clicked(const vrma::NodeValue* node);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const NodeAnalysis& analysis_;
    const NodeValue* hovered_ = nullptr;
    const NodeValue* selected_ = nullptr;
};

class TNodeAnalysisForm : public QDialog {
    Q_OBJECT
public:
    // Throws CalcError when the ratios cannot be analysed.
    explicit TNodeAnalysisForm(const NodeRatios& ratios, QWidget* parent = nullptr);
    // With the run's photograph: also the tilt of the field and the corrected coefficient,
    // for the focal length typed into FocalEdit (prefilled from geometry.focal).
    TNodeAnalysisForm(const NodeRatios& ratios, const FieldGeometry& geometry,
                      QWidget* parent = nullptr);

    const NodeAnalysis& analysis() const { return analysis_; }
    // The field check for the focal length as typed; empty without a photograph, or when
    // the check failed (FieldError tells why).
    const std::optional<FieldCheck>& fieldCheck() const { return fieldCheck_; }

    TNodeMap* NodeMap = nullptr;
    QLabel* InfoLabel = nullptr; // the node under the pointer or the one clicked
    QLabel* CountValue = nullptr;
    QLabel* MeanValue = nullptr;
    QLabel* MedianValue = nullptr;
    QLabel* SdValue = nullptr;
    QLabel* SemValue = nullptr;
    QLabel* MadValue = nullptr;
    QLabel* OutlierHeading = nullptr;
    QTableWidget* OutlierList = nullptr; // column, row, ratio
    // The field check (only with the run's photograph).
    QGroupBox* FieldBox = nullptr;
    QLabel* HomographyRmsValue = nullptr;
    QLineEdit* FocalEdit = nullptr; // focal length in pixels; empty: not known
    QLabel* TiltVerticalValue = nullptr;
    QLabel* TiltHorizontalValue = nullptr;
    QLabel* CorrectedValue = nullptr;
    QLabel* SensitivityLabel = nullptr;
    QLabel* TiltWarning = nullptr; // "Поле наклонено …" when the bias exceeds 2 SE
    QLabel* FieldError = nullptr;  // why the check gave no numbers
    QPushButton* SaveMapButton = nullptr;
    QPushButton* SaveCsvButton = nullptr;
    QPushButton* CloseButton = nullptr;

    FileDialog SaveMapDialog{FileDialog::Mode::Save};
    FileDialog SaveCsvDialog{FileDialog::Mode::Save};

    void SaveMapButtonClick(QObject* sender = nullptr);
    void SaveCsvButtonClick(QObject* sender = nullptr);
    // The field check again for the focal length in FocalEdit.
    void FocalEditChange(QObject* sender = nullptr);

    // The text shown for a node (also the information line under the map).
    static QString NodeText(const NodeValue& node);

private:
    TNodeAnalysisForm(const NodeRatios& ratios, const FieldGeometry* geometry, QWidget* parent);
    // The window's parts, made in this order by the constructor.
    void CreateMap(); // the node map and the information line under it
    QGroupBox* CreateSummary();
    void CreateOutlierList();
    void CreateButtons();
    void CreateFieldBox(); // the field check, with the run's photograph only
    void LayOut(QGroupBox* summary);
    void SetUpDialogs();

    void showNode(const NodeValue* node);

    NodeAnalysis analysis_;
    std::optional<FieldGeometry> geometry_;
    std::optional<FieldCheck> fieldCheck_;
};

} // namespace vrma
