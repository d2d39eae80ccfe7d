// Reading photographs: every kind of file read gives the grey image the detection has
// always had (against OpenCV's own conversions), files of other formats are refused by
// name, damaged and cut files are refused, and the bounds hold against small files that
// decode to large images: the size read before decoding, the memory of a process that
// reads one (its peak from getrusage, in a child process), no temporary copies left.
#include "calib/Photograph.h"
#include "calib/TargetDetection.h"
#include "data/Messages.h"
#include "support/ImageFiles.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vrma;
using test::ImageShape;

namespace {

// A small colour picture with every level and some edges: a rendered field, turned a bit.
cv::Mat Picture(bool sixteenBit = false) {
    test::PhotoScene scene;
    scene.width = 240;
    scene.height = 160;
    scene.roll = 10.0;
    scene.blur = 0.8;
    scene.noise = 2.0;
    scene.colour = true;
    scene.sixteenBit = sixteenBit;
    return test::RenderPhoto(scene).image;
}

ImageShape ShapeOf(const cv::Mat& image) {
    return {image.cols, image.rows, image.channels(), image.depth()};
}

// The grey image as the detection had it from OpenCV: cvtColor's weights, a deeper image
// stretched from its darkest to its lightest value.
cv::Mat OpenCvGrey(const cv::Mat& image) {
    cv::Mat grey = image;
    if (image.depth() == CV_64F)
        image.convertTo(grey, CV_32F); // cvtColor takes no doubles
    if (image.channels() == 3)
        cv::cvtColor(grey, grey, cv::COLOR_BGR2GRAY);
    if (grey.depth() == CV_8U)
        return grey;
    cv::Mat wide;
    grey.convertTo(wide, CV_64F);
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(wide, &low, &high);
    cv::Mat out;
    wide.convertTo(out, CV_8U, 255.0 / (high - low), -low * 255.0 / (high - low));
    return out;
}

double MaxDifference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type())
        return 1e9;
    return cv::norm(a, b, cv::NORM_INF);
}

class Photograph : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString& name) const { return dir.filePath(name); }

    cv::Mat FromBytes(const QString& name, const QByteArray& bytes) {
        test::WriteBytes(path(name), bytes);
        return ReadPhotograph(path(name));
    }

    std::string RefusalOf(const QString& file) {
        try {
            ReadPhotograph(file);
        } catch (const PhotoReadError& error) {
            return error.what();
        }
        return "(read)";
    }

    std::string RefusalOfBytes(const QString& name, const QByteArray& bytes) {
        test::WriteBytes(path(name), bytes);
        return RefusalOf(path(name));
    }

    QTemporaryDir dir;
};

// ---- every kind of file read ------------------------------------------------------------

TEST_F(Photograph, JpegGreyColourProgressiveCmykAsOpenCvDecodesThem) {
    const cv::Mat colour = Picture();
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    for (const bool progressive : {false, true}) {
        for (const bool full : {false, true}) {
            test::JpegOptions options;
            options.progressive = progressive;
            options.fullChroma = full;
            for (const cv::Mat& image : {colour, grey}) {
                const QByteArray bytes =
                    test::JpegFile(ShapeOf(image), test::RowsOf(image), options);
                const std::vector<uchar> buffer(bytes.begin(), bytes.end());
                // libjpeg's luminance, as OpenCV's reader gave it.
                const cv::Mat expected = cv::imdecode(buffer, cv::IMREAD_GRAYSCALE);
                EXPECT_EQ(MaxDifference(FromBytes(QStringLiteral("p.jpg"), bytes), expected), 0.0)
                    << progressive << full << image.channels();
            }
        }
    }
    // CMYK as Adobe stores it (inverted): ink 255 - grey on black only.
    cv::Mat cmyk(grey.size(), CV_8UC4);
    for (int y = 0; y < grey.rows; ++y)
        for (int x = 0; x < grey.cols; ++x)
            cmyk.at<cv::Vec4b>(y, x) = {255, 255, 255, grey.at<uchar>(y, x)};
    test::JpegOptions best;
    best.quality = 100;
    best.fullChroma = true;
    const cv::Mat read = FromBytes(QStringLiteral("cmyk.jpg"),
                                   test::JpegFile(ShapeOf(cmyk), test::RowsOf(cmyk), best));
    EXPECT_LE(MaxDifference(read, grey), 3.0);
}

TEST_F(Photograph, PngOfEveryColourTypeAndDepth) {
    const cv::Mat colour = Picture();
    const cv::Mat deep = Picture(true);
    cv::Mat grey;
    cv::Mat grey16;
    cv::Mat rgba;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(deep, grey16, cv::COLOR_BGR2GRAY);
    cv::cvtColor(colour, rgba, cv::COLOR_BGR2BGRA);
    for (const bool interlaced : {false, true}) {
        test::PngOptions options;
        options.interlaced = interlaced;
        const auto read = [&](const cv::Mat& image) {
            return FromBytes(QStringLiteral("p.png"),
                             test::PngFile(ShapeOf(image), test::RowsOf(image), options));
        };
        EXPECT_EQ(MaxDifference(read(grey), grey), 0.0) << interlaced;
        // libpng's weights are OpenCV's, its rounding a level apart at most.
        EXPECT_LE(MaxDifference(read(colour), grey), 1.0) << interlaced;
        EXPECT_LE(MaxDifference(read(rgba), grey), 1.0) << interlaced;
        // 16 bits: stretched; the render spans only part of the range.
        EXPECT_LE(MaxDifference(read(grey16), OpenCvGrey(grey16)), 1.0) << interlaced;
        EXPECT_LE(MaxDifference(read(deep), OpenCvGrey(deep)), 1.0) << interlaced;
    }
    // Through a palette: the grey of the palette's colours.
    cv::Mat few = colour.clone();
    for (int y = 0; y < few.rows; ++y)
        for (int x = 0; x < few.cols; ++x)
            few.at<cv::Vec3b>(y, x) = few.at<cv::Vec3b>(y, x) / 32 * 32;
    cv::Mat fewGrey;
    cv::cvtColor(few, fewGrey, cv::COLOR_BGR2GRAY);
    test::PngOptions palette;
    palette.palette = true;
    EXPECT_LE(MaxDifference(FromBytes(QStringLiteral("pal.png"),
                                      test::PngFile(ShapeOf(few), test::RowsOf(few), palette)),
                            fewGrey),
              1.0);
}

TEST_F(Photograph, TiffOfStripsTilesPlanesAndSampleFormats) {
    const cv::Mat colour = Picture();
    const cv::Mat deep = Picture(true);
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::Mat floating;
    deep.convertTo(floating, CV_32F, 1.0 / 65535.0);
    cv::Mat doubles;
    deep.convertTo(doubles, CV_64F, 1.0 / 65535.0);
    const QString file = path(QStringLiteral("p.tif"));
    const auto read = [&](const cv::Mat& image, const test::TiffOptions& options) {
        test::WriteTiff(file, ShapeOf(image), test::RowsOf(image), options);
        return ReadPhotograph(file);
    };
    for (const bool tiled : {false, true}) {
        for (const bool planar : {false, true}) {
            test::TiffOptions options;
            options.tiled = tiled;
            options.planar = planar;
            options.deflate = !planar;
            const std::string what = std::to_string(tiled) + std::to_string(planar);
            EXPECT_EQ(MaxDifference(read(grey, options), grey), 0.0) << what;
            EXPECT_EQ(MaxDifference(read(colour, options), grey), 0.0) << what;
            EXPECT_LE(MaxDifference(read(deep, options), OpenCvGrey(deep)), 1.0) << what;
            EXPECT_LE(MaxDifference(read(floating, options), OpenCvGrey(floating)), 1.0) << what;
            EXPECT_LE(MaxDifference(read(doubles, options), OpenCvGrey(doubles)), 1.0) << what;
        }
    }
    // White as zero: the grey turned back.
    test::TiffOptions white;
    white.minIsWhite = true;
    cv::Mat stored = 255 - grey;
    EXPECT_EQ(MaxDifference(read(stored, white), grey), 0.0);
    // Signed 16-bit samples: stretched like unsigned ones.
    cv::Mat grey16;
    cv::cvtColor(deep, grey16, cv::COLOR_BGR2GRAY);
    cv::Mat signed16;
    grey16.convertTo(signed16, CV_16S, 1.0, -32768.0);
    test::TiffOptions signedSamples;
    signedSamples.signedSamples = true;
    test::WriteTiff(file, {signed16.cols, signed16.rows, 1, CV_16U}, test::RowsOf(signed16),
                    signedSamples);
    EXPECT_LE(MaxDifference(ReadPhotograph(file), OpenCvGrey(grey16)), 1.0);
}

TEST_F(Photograph, BmpOfPaletteColourAndRle) {
    const cv::Mat colour = Picture();
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    for (const bool topDown : {false, true}) {
        for (const int bits : {24, 32}) {
            test::BmpOptions options;
            options.bits = bits;
            options.topDown = topDown;
            EXPECT_EQ(MaxDifference(
                          FromBytes(QStringLiteral("c.bmp"),
                                    test::BmpFile(ShapeOf(colour), test::RowsOf(colour), options)),
                          grey),
                      0.0)
                << bits << topDown;
        }
        test::BmpOptions palette;
        palette.bits = 8;
        palette.topDown = topDown;
        EXPECT_EQ(
            MaxDifference(FromBytes(QStringLiteral("g.bmp"),
                                    test::BmpFile(ShapeOf(grey), test::RowsOf(grey), palette)),
                          grey),
            0.0);
    }
    test::BmpOptions rle;
    rle.bits = 8;
    rle.rle = true;
    EXPECT_EQ(MaxDifference(FromBytes(QStringLiteral("r.bmp"),
                                      test::BmpFile(ShapeOf(grey), test::RowsOf(grey), rle)),
                            grey),
              0.0);
    // An RLE bitmap that ends at once: all of it the palette's first colour (black).
    const cv::Mat bomb = FromBytes(QStringLiteral("b.bmp"), test::BmpRleBomb(300, 200));
    EXPECT_EQ(bomb.size(), cv::Size(300, 200));
    EXPECT_EQ(cv::countNonZero(bomb), 0);
}

TEST_F(Photograph, OrientationTagsAreNotApplied) {
    // A picture wider than high, tagged "turn a quarter": read as stored.
    const cv::Mat colour = Picture();
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    test::JpegOptions turned;
    turned.orientation = 6;
    const QByteArray jpeg = test::JpegFile(ShapeOf(colour), test::RowsOf(colour), turned);
    const std::vector<uchar> buffer(jpeg.begin(), jpeg.end());
    EXPECT_EQ(
        MaxDifference(FromBytes(QStringLiteral("o.jpg"), jpeg),
                      cv::imdecode(buffer, cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION)),
        0.0);
    test::TiffOptions tiff;
    tiff.orientation = 8;
    test::WriteTiff(path(QStringLiteral("o.tif")), ShapeOf(colour), test::RowsOf(colour), tiff);
    EXPECT_EQ(MaxDifference(ReadPhotograph(path(QStringLiteral("o.tif"))), grey), 0.0);
}

// ---- refusals ---------------------------------------------------------------------------

TEST_F(Photograph, OtherFormatsAreRefusedByName) {
    const std::pair<const char*, const char*> kinds[] = {{"hdr", "HDR (Radiance)"},
                                                         {"pfm", "PFM"},
                                                         {"gif", "GIF"},
                                                         {"pnm", "PNM (PBM, PGM, PPM)"},
                                                         {"webp", "WebP"},
                                                         {"exr", "OpenEXR"},
                                                         {"jp2", "JPEG 2000"}};
    for (const auto& [kind, name] : kinds)
        EXPECT_EQ(
            RefusalOfBytes(QStringLiteral("other"), test::OtherFormatFile(kind, 64, 64, 4096)),
            messages::PhotoFormatNotRead(QString::fromUtf8(name)).toStdString())
            << kind;
    // Not an image at all, or nothing: the message of old.
    for (const QByteArray& bytes : {QByteArray("1 ; 2\r\n"), QByteArray(), QByteArray("BM")})
        EXPECT_EQ(RefusalOfBytes(QStringLiteral("text"), bytes),
                  messages::PhotoUnreadable().toStdString());
}

TEST_F(Photograph, DamagedAndCutFilesAreRefused) {
    const cv::Mat colour = Picture();
    test::JpegOptions progressive;
    progressive.progressive = true;
    const QByteArray jpeg = test::JpegFile(ShapeOf(colour), test::RowsOf(colour));
    const QByteArray progressiveJpeg =
        test::JpegFile(ShapeOf(colour), test::RowsOf(colour), progressive);
    const QByteArray end("\xff\xd9", 2);
    std::vector<std::pair<std::string, QByteArray>> damaged;
    // Cut at 60 %, with and without an end marker added after the cut.
    damaged.emplace_back("progressive cut, end added",
                         progressiveJpeg.left(progressiveJpeg.size() * 6 / 10) + end);
    damaged.emplace_back("progressive cut", progressiveJpeg.left(progressiveJpeg.size() * 6 / 10));
    damaged.emplace_back("baseline cut, end added", jpeg.left(jpeg.size() * 6 / 10) + end);
    damaged.emplace_back("baseline cut", jpeg.left(jpeg.size() * 6 / 10));
    // Bytes of the compressed data overwritten: the decoder meets a marker or a bad code.
    QByteArray corrupt = jpeg;
    for (qsizetype k = corrupt.size() / 2; k < corrupt.size() / 2 + 64; ++k)
        corrupt[k] = char(0xFF);
    damaged.emplace_back("baseline corrupt", corrupt);
    const QByteArray png = test::PngFile(ShapeOf(colour), test::RowsOf(colour));
    damaged.emplace_back("png cut", png.left(png.size() * 2 / 3));
    QByteArray badCrc = png;
    badCrc[40] = char(badCrc[40] ^ 0x55); // inside the first data chunk
    damaged.emplace_back("png bad checksum", badCrc);
    test::BmpOptions bmp;
    const QByteArray bitmap = test::BmpFile(ShapeOf(colour), test::RowsOf(colour), bmp);
    damaged.emplace_back("bmp cut", bitmap.left(bitmap.size() - 10));
    test::WriteTiff(path(QStringLiteral("whole.tif")), ShapeOf(colour), test::RowsOf(colour));
    const QByteArray tiff = test::ReadBytes(path(QStringLiteral("whole.tif")));
    damaged.emplace_back("tiff cut", tiff.left(tiff.size() / 2));
    for (const auto& [what, bytes] : damaged)
        EXPECT_EQ(RefusalOfBytes(QStringLiteral("damaged"), bytes),
                  messages::PhotoUnreadable().toStdString())
            << what;
    // The whole files read.
    for (const QByteArray& bytes : {jpeg, progressiveJpeg, png, bitmap, tiff})
        EXPECT_EQ(FromBytes(QStringLiteral("whole"), bytes).size(), colour.size());
}

TEST_F(Photograph, ProgressiveJpegOfTooManyScansIsRefused) {
    // Each scan is a pass over the whole image: a small file of thousands of scans would
    // take minutes. 127 scans are more than any encoder writes; jpeg_simple_progression's 6 are
    // read.
    const cv::Mat colour = Picture();
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    test::JpegOptions many;
    many.progressive = true;
    many.manyScans = true;
    EXPECT_EQ(RefusalOfBytes(QStringLiteral("scans.jpg"),
                             test::JpegFile(ShapeOf(grey), test::RowsOf(grey), many)),
              messages::PhotoUnreadable().toStdString());
    test::JpegOptions usual;
    usual.progressive = true;
    EXPECT_EQ(FromBytes(QStringLiteral("usual.jpg"),
                        test::JpegFile(ShapeOf(grey), test::RowsOf(grey), usual))
                  .size(),
              grey.size());
}

TEST_F(Photograph, TooLargeIsRefusedFromTheHeader) {
    // A PNG that says 100000 x 100000 and holds nothing else.
    EXPECT_EQ(RefusalOfBytes(QStringLiteral("h.png"), test::PngHeaderOnly(100000, 100000, 8, 2)),
              messages::PhotoTooLarge(100000, 100000, 250).toStdString());
    // Each kind of file just over a limit of 10000 pixels.
    const ImageShape shape{101, 100, 1, CV_8U};
    const auto refusal = [](const QByteArray& bytes) {
        try {
            DecodePhotographBytes(bytes, 10000);
        } catch (const PhotoReadError& error) {
            return std::string(error.what());
        }
        return std::string("(read)");
    };
    test::JpegOptions progressive;
    progressive.progressive = true;
    const std::string expected = messages::PhotoTooLarge(101, 100, 1).toStdString();
    EXPECT_EQ(refusal(test::JpegFile(shape, test::Bands(shape), progressive)), expected);
    EXPECT_EQ(refusal(test::PngFile(shape, test::Bands(shape))), expected);
    EXPECT_EQ(refusal(test::BmpRleBomb(101, 100)), expected);
    test::WriteTiff(path(QStringLiteral("t.tif")), shape, test::Bands(shape));
    EXPECT_EQ(refusal(test::ReadBytes(path(QStringLiteral("t.tif")))), expected);
    EXPECT_EQ(DecodePhotographBytes(test::BmpRleBomb(100, 100), 10000).total(), 10000u);
}

// ---- bounds, in a child process ---------------------------------------------------------

// Runs `work` in a child process and returns what it wrote (a line), or "crashed".
std::string InChild(const std::function<std::string()>& work) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string out;
        try {
            out = work();
        } catch (const std::exception& error) {
            out = std::string("exception: ") + error.what();
        }
        const ssize_t written = ::write(pipe[1], out.data(), out.size());
        ::close(pipe[1]);
        _exit(written == ssize_t(out.size()) ? 0 : 1);
    }
    ::close(pipe[1]);
    std::string out;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(got));
    ::close(pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "crashed";
    return out;
}

std::int64_t PeakResident() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::int64_t(usage.ru_maxrss) * 1024;
}

// How far the peak resident memory of a child rises while it reads the file, in bytes.
std::int64_t PeakWhileReading(const QString& file) {
    const std::string out = InChild([&] {
        const std::int64_t before = PeakResident();
        const cv::Mat grey = ReadPhotograph(file);
        return std::to_string(PeakResident() - before) + " " + std::to_string(grey.total());
    });
    const size_t space = out.find(' ');
    if (space == std::string::npos)
        ADD_FAILURE() << out;
    return space == std::string::npos ? -1 : std::stoll(out.substr(0, space));
}

TEST_F(Photograph, MemoryStaysWithinThreeGreyImages) {
    // 3000 x 3000: 9 MB of grey. Each kind of file decoded as OpenCV did would take two
    // to seven times that (16 or 64 bits, colour, a copy in floating point).
    const int side = 3000;
    const std::int64_t grey = std::int64_t(side) * side;
    std::vector<std::pair<std::string, QString>> files;
    const auto add = [&](const std::string& what, const QString& name) {
        files.emplace_back(what, path(name));
    };
    const ImageShape rgb16{side, side, 3, CV_16U};
    test::WriteBytes(path(QStringLiteral("rgb16.png")), test::PngFile(rgb16, test::Bands(rgb16)));
    add("16-bit colour PNG", QStringLiteral("rgb16.png"));
    const ImageShape grey16{side, side, 1, CV_16U};
    test::PngOptions interlaced;
    interlaced.interlaced = true;
    test::WriteBytes(path(QStringLiteral("grey16i.png")),
                     test::PngFile(grey16, test::Bands(grey16), interlaced));
    add("16-bit grey interlaced PNG", QStringLiteral("grey16i.png"));
    const ImageShape float32{side, side, 1, CV_32F};
    test::WriteTiff(path(QStringLiteral("f32.tif")), float32, test::Bands(float32));
    add("float TIFF", QStringLiteral("f32.tif"));
    const ImageShape float64{side, side, 3, CV_64F};
    test::TiffOptions tiled;
    tiled.tiled = true;
    test::WriteTiff(path(QStringLiteral("f64.tif")), float64, test::Bands(float64), tiled);
    add("tiled float64 colour TIFF", QStringLiteral("f64.tif"));
    const ImageShape rgb8{side, side, 3, CV_8U};
    test::WriteBytes(path(QStringLiteral("rgb.jpg")), test::JpegFile(rgb8, test::Bands(rgb8)));
    add("colour JPEG", QStringLiteral("rgb.jpg"));
    test::BmpOptions bmp;
    bmp.bits = 32;
    test::WriteBytes(path(QStringLiteral("rgb.bmp")), test::BmpFile(rgb8, test::Bands(rgb8), bmp));
    add("32-bit BMP", QStringLiteral("rgb.bmp"));
    for (const auto& [what, file] : files) {
        const std::int64_t peak = PeakWhileReading(file);
        EXPECT_GE(peak, 0) << what;
        EXPECT_LE(peak, 3 * grey + (8 << 20)) << what << ": " << peak / (1 << 20) << " MB";
    }
    // A progressive JPEG keeps its coefficients: two bytes a sample (4:2:0, 1.5 samples a
    // pixel), and the grey image.
    test::JpegOptions progressive;
    progressive.progressive = true;
    test::WriteBytes(path(QStringLiteral("p.jpg")),
                     test::JpegFile(rgb8, test::Bands(rgb8), progressive));
    EXPECT_LE(PeakWhileReading(path(QStringLiteral("p.jpg"))), 4 * grey + (8 << 20));
}

TEST_F(Photograph, MoreThanTheMemoryAllowsIsRefused) {
    // 10000 x 10000 (100 MB of grey) under an address space of 60 MB more than the process
    // holds.
    const ImageShape shape{10000, 10000, 1, CV_8U};
    const QString file = path(QStringLiteral("big.png"));
    test::WriteBytes(file, test::PngFile(shape, test::Bands(shape)));
    const std::string out = InChild([&] {
        const std::int64_t room = 60 << 20;
        const std::int64_t before = AvailableMemory();
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        long long pages = 0;
        if (!statm || std::fscanf(statm, "%lld", &pages) != 1)
            return std::string("no statm");
        std::fclose(statm);
        const rlim_t limit = rlim_t(pages * sysconf(_SC_PAGESIZE) + room);
        const rlimit space{limit, limit};
        setrlimit(RLIMIT_AS, &space);
        const std::int64_t after = AvailableMemory();
        if (!(after <= room && after < before))
            return "available " + std::to_string(after);
        try {
            ReadPhotograph(file);
        } catch (const PhotoReadError& error) {
            return std::string(error.what());
        }
        return std::string("(read)");
    });
    EXPECT_TRUE(QString::fromStdString(out).startsWith(
        QStringLiteral("Для снимка 10000 × 10000 пикселей не хватает памяти: нужно ")))
        << out;
}

TEST_F(Photograph, NoTemporaryCopyIsLeft) {
    // OpenCV copied the files of formats that it reads from files only into its temporary
    // folder, and left the copy there when the header said too much.
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    for (const char* kind : {"hdr", "pfm"}) {
        const QString file = path(QStringLiteral("big.") + QLatin1String(kind));
        test::WriteBytes(file, test::OtherFormatFile(kind, 40000, 40000, 1 << 16));
        const std::string out = InChild([&] {
            setenv("OPENCV_TEMP_PATH", QFile::encodeName(temporary.path()).constData(), 1);
            try {
                ReadPhotograph(file);
            } catch (const PhotoReadError&) {
            }
            return std::to_string(QDir(temporary.path()).entryList(QDir::Files).size());
        });
        EXPECT_EQ(out, "0") << kind;
    }
}

} // namespace
