#pragma once
// The two pictures of the window "Калибровка камеры по снимкам" (app/CameraWindow) as
// widgets: the chart of the RMS of every photograph and the coverage of the frame, painted
// by drawing/CameraPainting as the report paints them.
#include "drawing/CameraPainting.h"

#include <QWidget>

namespace vrma {

// The chart of the RMS of every photograph; a click on a photograph's column selects it.
class TRmsChart : public QWidget {
    Q_OBJECT
public:
    explicit TRmsChart(QWidget* parent = nullptr);
    void Show(const CameraCalibration* calibration, int selected);
    const RmsChartLayout& layout() const { return layout_; }
    QSize sizeHint() const override { return {360, 170}; }

signals:
    void photoClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const CameraCalibration* calibration_ = nullptr;
    RmsChartLayout layout_;
    int selected_ = -1;
};

// The targets of every photograph over the frame, with their residuals.
class TCoverageView : public QWidget {
    Q_OBJECT
public:
    explicit TCoverageView(QWidget* parent = nullptr);
    void Show(const CoverageData* data, int selected);
    const CoverageLayout& layout() const { return layout_; }
    QSize sizeHint() const override { return {480, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CoverageData* data_ = nullptr;
    CoverageLayout layout_;
    int selected_ = -1;
};

} // namespace vrma
