#include "app/UncertaintyView.h"

#include "drawing/UncertaintyPainting.h"

#include <QPainter>

namespace vrma {

TUncertaintyView::TUncertaintyView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("UncertaintyView"));
    setMinimumSize(240, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TUncertaintyView::Show(const ProjectionUncertainty* map) {
    if (map)
        map_ = *map;
    else
        map_.reset();
    update();
}

void TUncertaintyView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!map_) {
        painter.setPen(QColor(128, 128, 128));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Здесь будет неопределённость проекции по кадру."));
        return;
    }
    PaintUncertaintyMap(painter, *map_, QRectF(rect()).adjusted(6, 6, -6, -6));
}

} // namespace vrma
