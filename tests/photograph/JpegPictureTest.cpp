// A JPEG picture in colour (the splash picture), through the photograph's JPEG reader:
// other colour models, damaged data.
#include "calib/Photograph.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

using namespace vrma;

namespace {

// The picture as the calibration window shows it.
QImage DecodeJpeg(const QByteArray& data) {
    const cv::Mat picture = DecodeJpegPicture(data);
    return picture.empty() ? QImage()
                           : QImage(picture.data, picture.cols, picture.rows, int(picture.step),
                                    QImage::Format_RGB888)
                                 .copy();
}

QByteArray Splash() {
    QFile file(QStringLiteral(":/assets/splash.jpg"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

QByteArray EncodeWithQt(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", 95));
    return bytes;
}

// The largest difference of any colour channel between two pictures of equal size.
int MaxChannelDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

TEST(Jpeg, SplashDecodesLikeQtsOwnReader) {
    const QByteArray data = Splash();
    ASSERT_FALSE(data.isEmpty());
    const QImage ours = DecodeJpeg(data);
    ASSERT_FALSE(ours.isNull());
    const QImage theirs = QImage::fromData(data, "JPEG");
    ASSERT_FALSE(theirs.isNull());
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_LE(MaxChannelDifference(ours, theirs), 2);
}

TEST(Jpeg, GreyscaleImageComesOutGrey) {
    QImage grey(16, 8, QImage::Format_Grayscale8);
    for (int row = 0; row < grey.height(); ++row)
        for (int col = 0; col < grey.width(); ++col)
            grey.scanLine(row)[col] = static_cast<uchar>(col < 8 ? 40 : 200);
    const QImage decoded = DecodeJpeg(EncodeWithQt(grey));
    ASSERT_EQ(decoded.size(), grey.size());
    const QRgb dark = decoded.pixel(2, 4);
    const QRgb light = decoded.pixel(13, 4);
    EXPECT_EQ(qRed(dark), qGreen(dark));
    EXPECT_EQ(qRed(dark), qBlue(dark));
    EXPECT_NEAR(qRed(dark), 40, 4);
    EXPECT_NEAR(qRed(light), 200, 4);
}

TEST(Jpeg, ColoursSurvive) {
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 40));
    for (int row = 0; row < 16; ++row)
        for (int col = 16; col < 32; ++col)
            image.setPixel(col, row, qRgb(20, 60, 220));
    const QImage decoded = DecodeJpeg(EncodeWithQt(image));
    ASSERT_EQ(decoded.size(), image.size());
    // Away from the edge, where the colour subsampling blurs it.
    const QRgb red = decoded.pixel(5, 8);
    const QRgb blue = decoded.pixel(26, 8);
    EXPECT_NEAR(qRed(red), 200, 8);
    EXPECT_NEAR(qGreen(red), 30, 8);
    EXPECT_NEAR(qBlue(red), 40, 8);
    EXPECT_NEAR(qRed(blue), 20, 8);
    EXPECT_NEAR(qGreen(blue), 60, 8);
    EXPECT_NEAR(qBlue(blue), 220, 8);
}

TEST(Jpeg, DamagedDataGivesAnEmptyPictureAndNoCrash) {
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a JPEG at all")).isNull());
    // A start-of-image marker and nothing else.
    EXPECT_TRUE(DecodeJpeg(QByteArray::fromHex("ffd8")).isNull());

    const QByteArray data = Splash();
    ASSERT_GT(data.size(), 100);
    // Cut inside the headers: there is no image to show.
    EXPECT_TRUE(DecodeJpeg(data.left(60)).isNull());

    // A frame header that declares a height of 0 is a fatal error for libjpeg.
    QByteArray zeroHeight = data;
    const qsizetype sof = zeroHeight.indexOf(QByteArray::fromHex("ffc0"));
    ASSERT_GT(sof, 0);
    zeroHeight[sof + 5] = 0;
    zeroHeight[sof + 6] = 0;
    EXPECT_TRUE(DecodeJpeg(zeroHeight).isNull());

    // Cut in the middle of the picture: libjpeg shows what it has; no crash either way.
    const QImage half = DecodeJpeg(data.left(data.size() / 2));
    EXPECT_TRUE(half.isNull() || half.size() == QSize(640, 480));
}
