// What a photograph's header tells before it is decoded: its size (the decoder's), the turn
// of its EXIF tag and the pages of a TIFF file, for every kind read; and how many
// photographs may be searched at once in the memory there is.
#include "calib/PhotoHeader.h"
#include "calib/Photograph.h"
#include "support/ImageFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <string>
#include <vector>

using namespace vrma;
using test::ImageShape;

namespace {

class PhotoHeaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    QString path(const QString& name) const { return QDir(temp.path()).filePath(name); }
    QTemporaryDir temp;
};

TEST_F(PhotoHeaderTest, TellsTheSizeTheTurnAndThePagesOfEveryKind) {
    const ImageShape grey{321, 123, 1, CV_8U};
    const ImageShape colour{200, 150, 3, CV_8U};
    struct Case {
        const char* name;
        std::function<void(const QString&)> write;
        int orientation;
        int pages;
    };
    const auto bytes = [](const QByteArray& data) {
        return [data](const QString& file) { test::WriteBytes(file, data); };
    };
    test::JpegOptions turned;
    turned.orientation = 6;
    test::JpegOptions progressive;
    progressive.progressive = true;
    progressive.orientation = 3;
    test::TiffOptions tiffTurned;
    tiffTurned.orientation = 8;
    test::BmpOptions topDown;
    topDown.topDown = true;
    topDown.bits = 8;
    const Case cases[] = {
        {"plain.jpg", bytes(test::JpegFile(grey, test::Bands(grey))), 1, 1},
        {"turned.jpg", bytes(test::JpegFile(colour, test::Bands(colour), turned)), 6, 1},
        {"progressive.jpg", bytes(test::JpegFile(colour, test::Bands(colour), progressive)), 3, 1},
        {"grey.png", bytes(test::PngFile(grey, test::Bands(grey))), 1, 1},
        {"turned.tif",
         [&](const QString& file) {
             test::WriteTiff(file, colour, test::Bands(colour), tiffTurned);
         },
         8, 1},
        {"pages.tif",
         [](const QString& file) {
             const cv::Mat first(77, 55, CV_8UC1, cv::Scalar(40));
             const cv::Mat other(30, 20, CV_8UC1, cv::Scalar(90));
             cv::imwritemulti(file.toStdString(), std::vector<cv::Mat>{first, other, other, other});
         },
         1, 4},
        {"bottom-up.bmp", bytes(test::BmpFile(colour, test::Bands(colour))), 1, 1},
        {"top-down.bmp", bytes(test::BmpFile(grey, test::Bands(grey), topDown)), 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QLatin1String(c.name));
        c.write(file);
        const PhotoHeader header = ReadPhotoHeader(file);
        const cv::Mat decoded = DecodePhotograph(file);
        EXPECT_EQ(header.width, decoded.cols);
        EXPECT_EQ(header.height, decoded.rows);
        EXPECT_EQ(header.orientation, c.orientation);
        EXPECT_EQ(header.pages, c.pages);
    }
    // What is no photograph, or is cut in its header, tells nothing and throws nothing.
    const QByteArray jpeg = test::JpegFile(grey, test::Bands(grey), turned);
    for (const QByteArray& junk : {QByteArray("not a photograph"), jpeg.left(30), jpeg.left(3),
                                   QByteArray("II*\0\x08\0\0\0\xff\xff", 10), QByteArray()}) {
        const PhotoHeader header = ParsePhotoHeader(junk);
        EXPECT_EQ(header.width, 0) << junk.toHex().constData();
        EXPECT_EQ(header.height, 0);
        EXPECT_GE(header.orientation, 1);
        EXPECT_LE(header.orientation, 8);
        EXPECT_GE(header.pages, 1);
    }
    EXPECT_EQ(ReadPhotoHeader(path(QStringLiteral("missing.jpg"))).width, 0);
}

// A chain of TIFF directories that comes back on itself is counted once and ends.
TEST_F(PhotoHeaderTest, ALoopOfTiffDirectoriesEnds) {
    // Header, then two directories of one entry (width) that point at each other.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto directory = [&](quint32 width, quint32 next) {
        QByteArray d;
        d += QByteArray("\x01\0", 2);                              // one entry
        d += QByteArray("\x00\x01\x04\x00\x01\x00\x00\x00", 8);    // 256, LONG, 1
        d += QByteArray(reinterpret_cast<const char*>(&width), 4); // the value
        d += QByteArray(reinterpret_cast<const char*>(&next), 4);  // the next directory
        return d;
    };
    tiff += directory(500, 26);
    tiff += directory(600, 8);
    const PhotoHeader header = ParsePhotoHeader(tiff);
    EXPECT_EQ(header.pages, 2);
}

// The photographs searched at once: as many as there are processors and photographs, no
// more than the memory holds of the largest one's search, and always one.
TEST_F(PhotoHeaderTest, ThreadsAreAsManyAsTheMemoryHolds) {
    const ImageShape shape{3000, 2000, 1, CV_8U};
    QStringList files;
    for (int k = 0; k < 4; ++k) {
        files << path(QStringLiteral("p%1.png").arg(k));
        test::WriteBytes(files.back(), test::PngFile(shape, test::Bands(shape)));
    }
    const std::int64_t one = PhotoSearchMemory(ReadPhotoHeader(files[0]));
    EXPECT_GE(one, std::int64_t{3000} * 2000);
    // A progressive JPEG of full colour keeps 6 bytes a pixel more while it is read.
    test::JpegOptions progressive;
    progressive.progressive = true;
    progressive.fullChroma = true;
    const ImageShape colour{3000, 2000, 3, CV_8U};
    const PhotoHeader jpeg =
        ParsePhotoHeader(test::JpegFile(colour, test::Bands(colour), progressive));
    EXPECT_EQ(jpeg.decodeBytesPerPixel, 6);
    EXPECT_EQ(PhotoSearchMemory(jpeg) - one, std::int64_t{3000} * 2000 * 6);
    const std::span<const QString> all(files.begin(), files.end());
    const int most = PhotoSearchThreads(all, std::int64_t{1} << 50);
    EXPECT_GE(most, 1);
    EXPECT_LE(most, 4);
    EXPECT_EQ(PhotoSearchThreads(all, 0), 1);
    EXPECT_EQ(PhotoSearchThreads(all, one - 1), 1);
    EXPECT_EQ(PhotoSearchThreads(all, 2 * one), std::min(2, most));
    EXPECT_EQ(PhotoSearchThreads(all.first(1), std::int64_t{1} << 50), 1);
}

} // namespace
