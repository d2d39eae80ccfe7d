#include "editor/EditorIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace vrma {

namespace {

// Draws in a 16 × 16 design at 16 and at 32 pixels.
QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A small table of four rows; `marked` (0-3, or -1) is filled with `fill`.
void Table(QPainter& p, int marked, const QColor& fill) {
    const QRectF frame(1.5, 1.5, 11, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(frame);
    p.setBrush(QColor(0xD8, 0xD8, 0xD8));
    p.drawRect(QRectF(1.5, 1.5, 11, 3)); // the header row
    if (marked >= 0) {
        p.setBrush(fill);
        p.drawRect(QRectF(1.5, 4.5 + 3 * marked, 11, 3));
    }
    p.setPen(QPen(QColor(0x50, 0x60, 0x70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(1.5, 1.5 + 3 * i), QPointF(12.5, 1.5 + 3 * i));
    p.drawLine(QPointF(4.5, 1.5), QPointF(4.5, 13.5));
}

void Badge(QPainter& p, const QPointF& centre, const QColor& colour, bool plus) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(colour);
    p.drawEllipse(centre, 3.6, 3.6);
    p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(centre + QPointF(-2, 0), centre + QPointF(2, 0));
    if (plus)
        p.drawLine(centre + QPointF(0, -2), centre + QPointF(0, 2));
}

const QColor kGreen(0x2E, 0x9D, 0x3A);
const QColor kRed(0xD0, 0x30, 0x28);

} // namespace

QIcon SaveIcon() {
    return Drawn([](QPainter& p) {
        QPainterPath body;
        body.moveTo(1.5, 1.5);
        body.lineTo(12, 1.5);
        body.lineTo(14.5, 4);
        body.lineTo(14.5, 14.5);
        body.lineTo(1.5, 14.5);
        body.closeSubpath();
        p.setPen(QPen(QColor(0x1C, 0x35, 0x6B), 1));
        p.setBrush(QColor(0x3A, 0x68, 0xB8));
        p.drawPath(body);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 7, 5)); // the label
        p.setBrush(QColor(0xC8, 0xCC, 0xD4));
        p.drawRect(QRectF(4, 9.5, 8, 5)); // the shutter
        p.setBrush(QColor(0x1C, 0x35, 0x6B));
        p.drawRect(QRectF(9, 10.5, 2, 3));
    });
}

QIcon InsertRowIcon() {
    return Drawn([](QPainter& p) {
        Table(p, 1, QColor(0xC8, 0xF0, 0xC8));
        Badge(p, QPointF(12, 8), kGreen, true);
    });
}

QIcon AppendRowIcon() {
    return Drawn([](QPainter& p) {
        Table(p, 2, QColor(0xC8, 0xF0, 0xC8));
        Badge(p, QPointF(12, 12), kGreen, true);
    });
}

QIcon DeleteRowIcon() {
    return Drawn([](QPainter& p) {
        Table(p, 1, QColor(0xF6, 0xC8, 0xC4));
        Badge(p, QPointF(12, 8), kRed, false);
    });
}

QIcon ClearTableIcon() {
    return Drawn([](QPainter& p) {
        Table(p, -1, QColor());
        p.setPen(QPen(kRed, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6, 6), QPointF(14, 14));
        p.drawLine(QPointF(14, 6), QPointF(6, 14));
    });
}

} // namespace vrma
