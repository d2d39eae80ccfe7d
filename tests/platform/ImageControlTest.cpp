// The image control: bitmap sizes that keep what was drawn, and stretched painting.
#include "platform/ImageControl.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace vrma;

TEST(ImageControl, BitmapIsMadeByWidthThenHeight) {
    TImage image;
    image.SetPictureWidth(700);
    EXPECT_TRUE(image.Picture().isNull()); // no height yet
    image.SetPictureHeight(500);
    ASSERT_EQ(image.Picture().size(), QSize(700, 500));
    EXPECT_EQ(image.Picture().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.Picture().pixel(699, 499), qRgb(255, 255, 255));
}

TEST(ImageControl, ResizingKeepsWhatWasDrawn) {
    TImage image;
    image.SetPictureWidth(100);
    image.SetPictureHeight(80);
    {
        QPainter painter(&image.Picture());
        painter.fillRect(10, 10, 5, 5, Qt::red);
    }
    image.SetPictureWidth(150);
    image.SetPictureHeight(120);
    ASSERT_EQ(image.Picture().size(), QSize(150, 120));
    EXPECT_EQ(image.Picture().pixel(12, 12), qRgb(255, 0, 0));
    EXPECT_EQ(image.Picture().pixel(140, 110), qRgb(255, 255, 255));

    image.SetPictureWidth(20);
    image.SetPictureHeight(20);
    ASSERT_EQ(image.Picture().size(), QSize(20, 20));
    EXPECT_EQ(image.Picture().pixel(12, 12), qRgb(255, 0, 0));

    // Setting the same size again changes nothing.
    const qint64 before = image.Picture().cacheKey();
    image.SetPictureWidth(20);
    image.SetPictureHeight(20);
    EXPECT_EQ(image.Picture().cacheKey(), before);
}

TEST(ImageControl, PictureIsStretchedToTheControl) {
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    TImage image;
    image.resize(100, 50);
    image.SetPicture(picture);
    const QImage shown = image.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(100, 50));
    const QRgb left = shown.pixel(3, 45);
    const QRgb right = shown.pixel(96, 3);
    EXPECT_GT(qRed(left), 200);
    EXPECT_LT(qBlue(left), 60);
    EXPECT_GT(qBlue(right), 200);
    EXPECT_LT(qRed(right), 60);
}
