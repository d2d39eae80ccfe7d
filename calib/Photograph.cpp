#include "calib/Photograph.h"

#include "calib/PhotoDecoding.h"
#include "calib/TargetDetection.h"
#include "data/Errors.h"
#include "data/Messages.h"

#include <QFile>
#include <cstring>
#include <new>
#include <opencv2/core.hpp>
#include <optional>
#include <stdexcept>

namespace vrma {

using namespace photo;

namespace {

// ---- the formats --------------------------------------------------------------------

enum class Format { Jpeg, Png, Tiff, Bmp };

bool Starts(const uchar* bytes, std::int64_t size, const char* with, std::int64_t length,
            std::int64_t at = 0) {
    return size >= at + length && std::memcmp(bytes + at, with, size_t(length)) == 0;
}

// The format read, or the name of another image format (refused), from the first bytes.
std::optional<Format> Recognise(const uchar* b, std::int64_t n, QString& other) {
    if (Starts(b, n, "\xFF\xD8\xFF", 3))
        return Format::Jpeg;
    if (Starts(b, n, "\x89PNG\r\n\x1A\n", 8))
        return Format::Png;
    if (Starts(b, n, "II*\0", 4) || Starts(b, n, "MM\0*", 4) || Starts(b, n, "II+\0", 4) ||
        Starts(b, n, "MM\0+", 4))
        return Format::Tiff;
    if (Starts(b, n, "BM", 2))
        return Format::Bmp;
    const auto space = [&](std::int64_t at) {
        return n > at && (b[at] == ' ' || b[at] == '\t' || b[at] == '\n' || b[at] == '\r');
    };
    if (Starts(b, n, "GIF87a", 6) || Starts(b, n, "GIF89a", 6))
        other = QStringLiteral("GIF");
    else if (Starts(b, n, "#?RADIANCE", 10) || Starts(b, n, "#?RGBE", 6))
        other = QStringLiteral("HDR (Radiance)");
    else if ((Starts(b, n, "PF", 2) || Starts(b, n, "Pf", 2)) && space(2))
        other = QStringLiteral("PFM");
    else if (n > 1 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7' && space(2))
        other = QStringLiteral("PNM (PBM, PGM, PPM)");
    else if (Starts(b, n, "RIFF", 4) && Starts(b, n, "WEBP", 4, 8))
        other = QStringLiteral("WebP");
    else if (Starts(b, n, "\x76\x2F\x31\x01", 4))
        other = QStringLiteral("OpenEXR");
    else if (Starts(b, n, "\0\0\0\x0CjP  \r\n\x87\n", 12) || Starts(b, n, "\xFF\x4F\xFF\x51", 4))
        other = QStringLiteral("JPEG 2000");
    else if (Starts(b, n, "8BPS", 4))
        other = QStringLiteral("PSD");
    else if (Starts(b, n, "ftyp", 4, 4) &&
             (Starts(b, n, "heic", 4, 8) || Starts(b, n, "heix", 4, 8) ||
              Starts(b, n, "mif1", 4, 8) || Starts(b, n, "msf1", 4, 8)))
        other = QStringLiteral("HEIF");
    else if (Starts(b, n, "ftyp", 4, 4) && Starts(b, n, "avif", 4, 8))
        other = QStringLiteral("AVIF");
    else if (Starts(b, n, "\x59\xA6\x6A\x95", 4))
        other = QStringLiteral("Sun Raster");
    else if (Starts(b, n, "%PDF", 4))
        other = QStringLiteral("PDF");
    return std::nullopt;
}

cv::Mat Decode(ByteSource& bytes, Reading& reading) {
    uchar first[16] = {};
    const std::int64_t n = bytes.ReadAt(first, sizeof first, 0);
    if (n <= 0)
        Unreadable();
    QString other;
    const std::optional<Format> format = Recognise(first, n, other);
    if (!format) {
        if (!other.isEmpty())
            throw PhotoReadError(messages::PhotoFormatNotRead(other).toStdString());
        Unreadable();
    }
    try {
        switch (*format) {
        case Format::Jpeg:
            return DecodeJpeg(bytes, reading);
        case Format::Png:
            return DecodePng(bytes, reading);
        case Format::Tiff:
            return DecodeTiff(bytes, reading);
        case Format::Bmp:
            return DecodeBmp(bytes, reading);
        }
    } catch (const std::bad_alloc&) {
        OutOfMemory(reading.width, reading.height, reading.width * reading.height,
                    AvailableMemory());
    } catch (const std::length_error&) {
        OutOfMemory(reading.width, reading.height, reading.width * reading.height,
                    AvailableMemory());
    } catch (const cv::Exception&) {
        Unreadable();
    }
    Unreadable();
}

} // namespace

cv::Mat DecodePhotograph(const QString& fileName, std::int64_t maxPixels) {
    std::optional<FileSource> file;
    try {
        file.emplace(fileName);
    } catch (const FileError&) {
        Unreadable();
    }
    Reading reading;
    reading.maxPixels = maxPixels;
    return Decode(*file, reading);
}

cv::Mat DecodePhotographBytes(const QByteArray& bytes, std::int64_t maxPixels) {
    MemorySource source(bytes);
    Reading reading;
    reading.maxPixels = maxPixels;
    return Decode(source, reading);
}

cv::Mat DecodeJpegPicture(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    MemorySource source(bytes);
    Reading reading;
    try {
        return DecodeJpegColour(source, reading);
    } catch (const PhotoReadError&) {
    } catch (const std::bad_alloc&) {
    } catch (const cv::Exception&) {
    }
    return {};
}

} // namespace vrma
