#include "data/Data_structures.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>

namespace vrma {

void VT_Point::Draw(QPainter& canvas, int originX, int originY, double scaleX, double scaleY) {
    const QColor color(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                       static_cast<int>((Color >> 16) & 0xFF));
    QPen pen = canvas.pen();
    pen.setColor(color);
    pen.setStyle(Qt::SolidLine);
    canvas.setPen(pen);
    canvas.setBrush(QBrush(color, Qt::SolidPattern));
    // Truncation toward zero, as every pixel position computed from reals.
    const int left = static_cast<int>((Y - originY) * scaleY);
    const int top = static_cast<int>((X - originX) * scaleX);
    const int right = static_cast<int>((Y - originY + 1) * scaleY);
    const int bottom = static_cast<int>((X - originX + 1) * scaleX);
    // The window system's rectangle: outline and fill, right and bottom edges not painted.
    canvas.drawRect(left, top, right - left - 1, bottom - top - 1);
}

} // namespace vrma
