#pragma once
// Image files of the kinds a photograph of the field comes in, and of the kinds it must not,
// written with the formats' own libraries (libjpeg, libpng, libtiff; BMP by hand) rather
// than OpenCV's encoders, so that every variant the reader meets can be made: progressive
// JPEG, CMYK, interlaced or palette PNG, float or tiled or planar TIFF, RLE BMP. The rows
// come from a function: a large image whose rows are flat compresses to a small file and
// never exists in memory whole (the "bombs" of the tests and benchmarks).
#include <QByteArray>
#include <QString>
#include <functional>
#include <opencv2/core.hpp>

namespace vrma::test {

// What the file holds: width x height pixels of `channels` samples of `depth` (CV_8U,
// CV_16U, CV_32F, CV_64F), the samples of a pixel in the order R, G, B, A (grey: one; a
// CMYK JPEG: C, M, Y, K).
struct ImageShape {
    int width = 0;
    int height = 0;
    int channels = 1;
    int depth = CV_8U;
};

// Fills the samples of row y (width * channels values of the shape's depth).
using RowSource = std::function<void(int y, void* row)>;

// The rows of an OpenCV image (grey, BGR or BGRA; 8 or 16 bits, or float), in R, G, B order.
RowSource RowsOf(const cv::Mat& image);
// Bands of a few levels, 64 rows high and the same along each row: a large image in a small
// file. Every sample of row y has the value `levels[(y / 64) % 4]` of the depth's range.
RowSource Bands(const ImageShape& shape);

struct JpegOptions {
    int quality = 90;
    bool progressive = false;
    bool fullChroma = false; // 4:4:4 sampling rather than 4:2:0
    int orientation = 0;     // 1..8: an Exif orientation tag; 0: none
    bool manyScans = false;  // grey, progressive: every AC coefficient alone in two passes
                             // (127 scans)
};
QByteArray JpegFile(const ImageShape& shape, const RowSource& rows,
                    const JpegOptions& options = {});

struct PngOptions {
    bool interlaced = false;
    bool palette = false; // 8-bit colour through a palette of the levels met (at most 256)
};
QByteArray PngFile(const ImageShape& shape, const RowSource& rows, const PngOptions& options = {});
// Only the signature, the header and the end: no pixel data at all.
QByteArray PngHeaderOnly(int width, int height, int bitDepth, int colourType);

struct TiffOptions {
    bool tiled = false;  // 64 x 64 tiles, else strips of 16 rows
    bool planar = false; // one plane a channel
    bool minIsWhite = false;
    bool deflate = true;
    bool signedSamples = false; // 16-bit: signed integers
    int orientation = 0;        // 1..8, 0: no tag
};
// Written to a file (libtiff writes by name).
void WriteTiff(const QString& fileName, const ImageShape& shape, const RowSource& rows,
               const TiffOptions& options = {});

struct BmpOptions {
    int bits = 24;    // 8 (grey palette), 24 or 32
    bool rle = false; // 8 bits: RLE8, each row one run after another
    bool topDown = false;
};
QByteArray BmpFile(const ImageShape& shape, const RowSource& rows, const BmpOptions& options = {});
// An RLE8 BMP whose data ends at once: width x height pixels of the palette's first colour.
QByteArray BmpRleBomb(int width, int height);

// The first bytes of files that are not photographs of the kinds read: "hdr", "pfm", "gif",
// "pnm", "webp", "exr", "jp2" with width x height in their headers where they have one,
// followed by `payload` bytes of zeros.
QByteArray OtherFormatFile(const char* kind, int width, int height, int payload = 0);

// The bytes written to a file, or read from one. Throw std::runtime_error.
void WriteBytes(const QString& fileName, const QByteArray& bytes);
QByteArray ReadBytes(const QString& fileName);

} // namespace vrma::test
