#pragma once
// What the readers of the photograph's formats (calib/PhotoJpeg, PhotoPng, PhotoTiff,
// PhotoBmp) share: the bytes they read, the budget they keep (calib/PhotoBudget: the size
// against the limit, the memory against what is free, the failures), and the grey values
// of colours and deeper samples. calib/Photograph recognises the format and calls its
// reader. Each reader decodes straight to the 8-bit grey image (CV_8UC1).
#include "calib/Photograph.h"
#include "data/TextFile.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <opencv2/core.hpp>

namespace vrma::photo {

// ---- failures -----------------------------------------------------------------------

// The photograph cannot be read, or is no image, or is damaged (PhotoReadError).
[[noreturn]] void Unreadable();
// Its decoding needs more memory than is free (PhotoMemoryError).
[[noreturn]] void OutOfMemory(std::int64_t width, std::int64_t height, std::int64_t needed,
                              std::int64_t available);

// ---- the bytes ----------------------------------------------------------------------

// The photograph's bytes, read at any offset: from a file or from memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The size the source says it has (a file's, no larger than it takes on the disk).
    virtual std::int64_t Size() const = 0;
    // Up to `size` bytes from `offset`, fewer only at the end; -1 on a read error. Throws
    // nothing: the decoders call it from C.
    virtual std::int64_t ReadAt(void* data, std::int64_t size, std::int64_t offset) noexcept = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(const QString& fileName) : reader_(fileName) {}
    std::int64_t Size() const override { return reader_.SizeHint(); }
    std::int64_t ReadAt(void* data, std::int64_t size, std::int64_t offset) noexcept override {
        std::int64_t done = 0;
        try {
            while (done < size) {
                const std::int64_t got =
                    reader_.ReadAt(static_cast<char*>(data) + done, size - done, offset + done);
                if (got <= 0)
                    break;
                done += got;
            }
        } catch (...) {
            return -1;
        }
        return done;
    }

private:
    DataFileReader reader_;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const QByteArray& bytes) : bytes_(bytes) {}
    std::int64_t Size() const override { return bytes_.size(); }
    std::int64_t ReadAt(void* data, std::int64_t size, std::int64_t offset) noexcept override {
        if (offset < 0 || size < 0)
            return -1;
        if (offset >= bytes_.size())
            return 0;
        const std::int64_t n = std::min<std::int64_t>(size, bytes_.size() - offset);
        std::memcpy(data, bytes_.constData() + offset, size_t(n));
        return n;
    }

private:
    const QByteArray& bytes_;
};

// ---- the limits ---------------------------------------------------------------------

// The photograph being read: its limit, and its size once the header has told it.
struct Reading {
    std::int64_t maxPixels = kMaxPhotoPixels;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The photograph's size against the limit (PhotoReadError beyond it); kept in `reading`.
void CheckSize(std::int64_t width, std::int64_t height, Reading& reading);
// The memory a decoding needs against what is free (PhotoMemoryError beyond it).
void CheckMemory(std::int64_t width, std::int64_t height, std::int64_t needed);
// A grey image of the photograph's size; a failed allocation is a photograph too large
// for the memory.
cv::Mat GreyImage(int width, int height);

// ---- grey values --------------------------------------------------------------------

// OpenCV's weights of R, G and B in grey, in 14-bit fixed point (as cv::cvtColor rounds).
constexpr int kRed = 4899;
constexpr int kGreen = 9617;
constexpr int kBlue = 1868;

inline uchar Grey8(int r, int g, int b) {
    return uchar((r * kRed + g * kGreen + b * kBlue + (1 << 13)) >> 14);
}

inline double GreyDeep(double r, double g, double b) {
    return 0.299 * r + 0.587 * g + 0.114 * b;
}

// The darkest and lightest grey values of a deeper image, and the 8-bit grey of a value.
struct Stretch {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    // Takes a value in; NaN counts as 0, an infinity makes the image unreadable.
    void See(double value) {
        if (std::isnan(value))
            value = 0.0;
        if (!std::isfinite(value))
            Unreadable();
        low = std::min(low, value);
        high = std::max(high, value);
    }
    // After all values are seen: the image's values map onto 0..255.
    void Finish() {
        if (!(low <= high)) {
            low = high = 0.0;
        }
        const double span = high - low;
        scale_ = span > 0.0 ? 255.0 / span : 0.0;
        offset_ = span > 0.0 ? -low * 255.0 / span : 0.0;
    }
    uchar Grey(double value) const {
        if (std::isnan(value))
            value = 0.0;
        return cv::saturate_cast<uchar>(value * scale_ + offset_);
    }

private:
    double scale_ = 0.0;
    double offset_ = 0.0;
};

// ---- the readers --------------------------------------------------------------------

cv::Mat DecodeJpeg(ByteSource& bytes, Reading& reading);
// A JPEG picture in colour (CV_8UC3, R G B): libjpeg's warnings pass, its failures give an
// empty image.
cv::Mat DecodeJpegColour(ByteSource& bytes, Reading& reading);
cv::Mat DecodePng(ByteSource& bytes, Reading& reading);
cv::Mat DecodeTiff(ByteSource& bytes, Reading& reading);
cv::Mat DecodeBmp(ByteSource& bytes, Reading& reading);

} // namespace vrma::photo
