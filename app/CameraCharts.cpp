#include "app/CameraCharts.h"

#include <QMouseEvent>
#include <QPainter>

namespace vrma {

namespace {

// What a chart shows before there is anything to draw: a grey line in its middle.
void PaintPlaceholder(QPainter& painter, const QRect& area, const QString& text) {
    painter.setPen(QColor(128, 128, 128));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text);
}

} // namespace

// --- The chart and the coverage view --------------------------------------------------

TRmsChart::TRmsChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RmsChart"));
    setMinimumSize(200, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TRmsChart::Show(const CameraCalibration* calibration, int selected) {
    calibration_ = calibration;
    selected_ = selected;
    layout_ = calibration_
                  ? RmsChartLayoutFor(*calibration_, font(), QRectF(rect()).adjusted(4, 4, -4, -4))
                  : RmsChartLayout{};
    update();
}

void TRmsChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!calibration_) {
        PaintPlaceholder(painter, rect(), QStringLiteral("Здесь будет СКО каждого снимка."));
        return;
    }
    layout_ = RmsChartLayoutFor(*calibration_, font(), QRectF(rect()).adjusted(4, 4, -4, -4));
    CameraPaintStyle style;
    style.font = font();
    style.selected = selected_;
    PaintRmsChart(painter, *calibration_, layout_, style);
}

void TRmsChart::mousePressEvent(QMouseEvent* event) {
    if (!calibration_)
        return;
    const int k = RmsChartPhotoAt(layout_, event->position());
    if (k >= 0)
        emit photoClicked(k);
}

TCoverageView::TCoverageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CoverageView"));
    setMinimumSize(240, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TCoverageView::Show(const CoverageData* data, int selected) {
    data_ = data;
    selected_ = selected;
    layout_ = data_ ? CoverageLayoutFor(*data_, font(), QRectF(rect()).adjusted(6, 6, -6, -6))
                    : CoverageLayout{};
    update();
}

void TCoverageView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!data_) {
        PaintPlaceholder(painter, rect(),
                         QStringLiteral("Здесь будут мишени всех снимков на кадре."));
        return;
    }
    layout_ = CoverageLayoutFor(*data_, font(), QRectF(rect()).adjusted(6, 6, -6, -6));
    CameraPaintStyle style;
    style.font = font();
    style.selected = selected_;
    PaintCoverage(painter, *data_, layout_, style);
}

} // namespace vrma
