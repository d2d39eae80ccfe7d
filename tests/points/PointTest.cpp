// The point record: extents, the painted cell, and its pooled storage.
#include "data/Data_structures.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

using vrma::VT_Point;

TEST(PointTest, ExtentsFollowTheAxes) {
    const VT_Point p(2.5, -7.25);
    EXPECT_EQ(p.Left(), -7.25);
    EXPECT_EQ(p.Right(), -7.25);
    EXPECT_EQ(p.Top(), 2.5);
    EXPECT_EQ(p.Bottom(), 2.5);
}

// Paints the point on a white canvas, the painter moved by (dx, dy), and returns the
// set of painted pixels as the bounding box [x0, x1) x [y0, y1) after checking that
// the box is filled completely and nothing else is painted.
struct Box {
    int x0, y0, x1, y1;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "[" << b.x0 << "," << b.x1 << ")x[" << b.y0 << "," << b.y1 << ")";
}

Box PaintedBox(VT_Point& point, int originX, int originY, double scaleX, double scaleY, int dx = 0,
               int dy = 0) {
    QImage image(120, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.translate(dx, dy);
        point.Draw(painter, originX, originY, scaleX, scaleY);
    }
    const QRgb expected =
        qRgb(static_cast<int>(point.Color & 0xFF), static_cast<int>((point.Color >> 8) & 0xFF),
             static_cast<int>((point.Color >> 16) & 0xFF));
    Box box{1000, 1000, -1000, -1000};
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel == qRgb(255, 255, 255))
                continue;
            EXPECT_EQ(pixel, expected) << x << "," << y;
            ++painted;
            box = {std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1),
                   std::max(box.y1, y + 1)};
        }
    if (painted == 0)
        return {0, 0, 0, 0};
    EXPECT_EQ(painted, (box.x1 - box.x0) * (box.y1 - box.y0)) << "the cell is not solid";
    return box;
}

TEST(PointTest, DrawFillsTheCellWithoutItsRightAndBottomEdges) {
    VT_Point p(2, 3);
    p.Color = 0x0000FF; // red in the window system's 0x00BBGGRR
    EXPECT_EQ(PaintedBox(p, 0, 0, 10, 10), (Box{30, 20, 40, 30}));
    p.Color = 0xFF0000; // blue
    EXPECT_EQ(PaintedBox(p, 0, 0, 10, 10), (Box{30, 20, 40, 30}));
}

TEST(PointTest, DrawUsesOriginsAndScalesPerAxis) {
    VT_Point p(5, 7);
    p.Color = 0x00FF00;
    // top = (5-2)*4 = 12, bottom = 16, left = (7-3)*6 = 24, right = 30
    EXPECT_EQ(PaintedBox(p, 2, 3, 4, 6), (Box{24, 12, 30, 16}));
}

TEST(PointTest, DrawTruncatesTowardZero) {
    VT_Point p(-0.25, 0);
    // top = trunc(-2.5) = -2, bottom = trunc(7.5) = 7, left = 0, right = 10; the painter is
    // moved down by 10 so that the top edge is visible.
    EXPECT_EQ(PaintedBox(p, 0, 0, 10, 10, 0, 10), (Box{0, 8, 10, 17}));
    VT_Point q(0.35, 0.35);
    // 3.5 -> 3 and 13.5 -> 13
    EXPECT_EQ(PaintedBox(q, 0, 0, 10, 10), (Box{3, 3, 13, 13}));
}

TEST(PointTest, DrawSetsColourAndStylesButNotThePenWidth) {
    QImage image(20, 20, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::green, 3, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    VT_Point p(0, 0);
    p.Color = 0x123456;
    p.Draw(painter, 0, 0, 1, 1);
    EXPECT_EQ(painter.pen().width(), 3);
    EXPECT_EQ(painter.pen().style(), Qt::SolidLine);
    EXPECT_EQ(painter.pen().color(), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(painter.brush().style(), Qt::SolidPattern);
    EXPECT_EQ(painter.brush().color(), QColor(0x56, 0x34, 0x12));
}

TEST(PointTest, DrawRefusesCornersBeyondThePixelRange) {
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    VT_Point far(1e300, 0);
    EXPECT_THROW(far.Draw(painter, 0, 0, 1, 1), vrma::CalcError);
    VT_Point edge(0, 2147483647.0); // right = 2^31 is beyond the range
    EXPECT_THROW(edge.Draw(painter, 0, 0, 1, 1), vrma::CalcError);
    VT_Point notANumber(nan, 0);
    EXPECT_THROW(notANumber.Draw(painter, 0, 0, 1, 1), vrma::CalcError);
    VT_Point ordinary(1, 1);
    EXPECT_THROW(ordinary.Draw(painter, 0, 0, inf, 1), vrma::CalcError);
    EXPECT_THROW(ordinary.Draw(painter, 0, 0, 1, nan), vrma::CalcError);
    // The largest cell that still fits draws (clipped to the canvas).
    VT_Point big(0, 0);
    EXPECT_NO_THROW(big.Draw(painter, 0, 0, 2147483647.0, 2147483647.0));
}

} // namespace
