#include "data/Data_structures.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace vrma {

namespace {

// A pixel coordinate from a real, truncated toward zero.
int TruncatedPixel(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        throw CalcError("Point coordinate beyond the range of the canvas in VT_Point::Draw");
    return static_cast<int>(value);
}

// Corners further out than this lie far outside any canvas; they are pulled in so that
// widths stay within the integer range. What is visible does not change.
constexpr int kFarOut = 1 << 29;

} // namespace

void VT_Point::Draw(QPainter& canvas, int originX, int originY, double scaleX, double scaleY) {
    const int left = TruncatedPixel((Y - originY) * scaleY);
    const int top = TruncatedPixel((X - originX) * scaleX);
    const int right = TruncatedPixel((Y - originY + 1) * scaleY);
    const int bottom = TruncatedPixel((X - originX + 1) * scaleX);

    const QColor color(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                       static_cast<int>((Color >> 16) & 0xFF));
    QPen pen = canvas.pen();
    pen.setColor(color);
    pen.setStyle(Qt::SolidLine);
    canvas.setPen(pen);
    canvas.setBrush(QBrush(color, Qt::SolidPattern));

    // The window system's rectangle: the corners in either order, outline and fill, the
    // right and bottom edges not painted; an empty rectangle paints nothing.
    int x0 = std::clamp(std::min(left, right), -kFarOut, kFarOut);
    int x1 = std::clamp(std::max(left, right), -kFarOut, kFarOut);
    int y0 = std::clamp(std::min(top, bottom), -kFarOut, kFarOut);
    int y1 = std::clamp(std::max(top, bottom), -kFarOut, kFarOut);
    if (x0 == x1 || y0 == y1)
        return;
    canvas.drawRect(x0, y0, x1 - x0 - 1, y1 - y0 - 1);
}

} // namespace vrma
