// A BMP photograph read by hand (its headers, palettes, bit fields and RLE), straight to
// grey.
#include "calib/PhotoDecoding.h"

#include <array>
#include <vector>

namespace vrma::photo {

namespace {

// ---- BMP ----------------------------------------------------------------------------

// Reads a source from an offset on, through a buffer.
class SequentialReader {
public:
    SequentialReader(ByteSource& bytes, std::int64_t offset) : bytes_(bytes), offset_(offset) {}

    // Exactly `size` bytes, or false (the file ends or cannot be read).
    bool Read(void* data, std::int64_t size) {
        auto* out = static_cast<uchar*>(data);
        while (size > 0) {
            if (at_ == buffer_.size() && !Fill())
                return false;
            const std::int64_t n = std::min<std::int64_t>(size, std::int64_t(buffer_.size() - at_));
            std::memcpy(out, buffer_.data() + at_, size_t(n));
            at_ += size_t(n);
            out += n;
            size -= n;
        }
        return true;
    }
    // One byte, or -1 at the end.
    int Byte() {
        if (at_ == buffer_.size() && !Fill())
            return -1;
        return buffer_[at_++];
    }

private:
    bool Fill() {
        buffer_.resize(std::size_t{1} << 16);
        const std::int64_t got =
            bytes_.ReadAt(buffer_.data(), std::int64_t(buffer_.size()), offset_);
        if (got <= 0) {
            buffer_.clear();
            at_ = 0;
            return false;
        }
        buffer_.resize(size_t(got));
        offset_ += got;
        at_ = 0;
        return true;
    }

    ByteSource& bytes_;
    std::int64_t offset_;
    std::vector<uchar> buffer_;
    size_t at_ = 0;
};

std::uint32_t Little32(const uchar* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t Little16(const uchar* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

// A colour channel under a bit mask, scaled to 0..255.
struct MaskChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t top = 0; // the mask's largest value

    explicit MaskChannel(std::uint32_t m = 0) : mask(m) {
        if (mask == 0)
            return;
        while (!((mask >> shift) & 1U))
            ++shift;
        top = mask >> shift;
    }
    int Value(std::uint32_t pixel) const {
        if (top == 0)
            return 0;
        return int((std::uint64_t((pixel & mask) >> shift) * 255 + top / 2) / top);
    }
};

} // namespace

cv::Mat DecodeBmp(ByteSource& bytes, Reading& reading) {
    uchar head[14 + 124] = {};
    const std::int64_t got = bytes.ReadAt(head, sizeof head, 0);
    if (got < 14 + 12)
        Unreadable();
    const std::uint32_t dataOffset = Little32(head + 10);
    const std::uint32_t headerSize = Little32(head + 14);
    const uchar* h = head + 14;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t colours = 0;
    bool core = false;
    if (headerSize == 12) {
        core = true;
        width = Little16(h + 4);
        height = std::int16_t(Little16(h + 6));
        bits = Little16(h + 10);
    } else if (headerSize >= 40 && headerSize <= 124 && got >= 14 + std::int64_t(headerSize)) {
        width = std::int32_t(Little32(h + 4));
        height = std::int32_t(Little32(h + 8));
        if (Little16(h + 12) != 1)
            Unreadable();
        bits = Little16(h + 14);
        compression = Little32(h + 16);
        colours = Little32(h + 32);
    } else {
        Unreadable();
    }
    const bool topDown = height < 0;
    height = std::abs(height);
    CheckSize(width, height, reading);
    const bool rle = compression == 1 || compression == 2;
    const bool fields = compression == 3 || compression == 6;
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (fields && bits != 16 && bits != 32) || compression > 6 || compression == 4 ||
        compression == 5 || (rle && topDown))
        Unreadable();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Unreadable();

    // The palette as grey levels, or the channels' masks.
    std::array<uchar, 256> palette{};
    MaskChannel red;
    MaskChannel green;
    MaskChannel blue;
    const std::int64_t paletteAt = 14 + std::int64_t(headerSize) +
                                   (compression == 3 && headerSize == 40 ? 12 : 0) +
                                   (compression == 6 && headerSize == 40 ? 16 : 0);
    if (bits <= 8) {
        const std::int64_t count =
            colours == 0 ? (std::int64_t{1} << bits) : std::min<std::int64_t>(colours, 1 << bits);
        const int entry = core ? 3 : 4;
        std::vector<uchar> table(size_t(count * entry));
        if (bytes.ReadAt(table.data(), std::int64_t(table.size()), paletteAt) !=
            std::int64_t(table.size()))
            Unreadable();
        for (std::int64_t n = 0; n < count; ++n) {
            const uchar* e = table.data() + n * entry;
            palette[size_t(n)] = Grey8(e[2], e[1], e[0]);
        }
    } else if (fields) {
        uchar masks[12] = {};
        // Right after a header of 40 bytes, or in the header's own bytes 40 to 52.
        if (bytes.ReadAt(masks, sizeof masks, 14 + 40) != std::int64_t(sizeof masks))
            Unreadable();
        red = MaskChannel(Little32(masks));
        green = MaskChannel(Little32(masks + 4));
        blue = MaskChannel(Little32(masks + 8));
    } else if (bits == 16) {
        red = MaskChannel(0x7C00);
        green = MaskChannel(0x03E0);
        blue = MaskChannel(0x001F);
    }

    const std::int64_t stride = (width * bits + 31) / 32 * 4;
    CheckMemory(width, height, width * height + stride + (1 << 20));
    cv::Mat grey = GreyImage(int(width), int(height));
    SequentialReader reader(bytes, dataOffset);
    // Rows are stored from the bottom up unless the height is negative.
    const auto rowAt = [&](std::int64_t n) {
        return grey.ptr<uchar>(int(topDown ? n : height - 1 - n));
    };
    if (rle) {
        grey.setTo(palette[0]);
        std::int64_t x = 0;
        std::int64_t n = 0; // the stored row
        const auto put = [&](int index) {
            if (x < width && n < height)
                rowAt(n)[x] = palette[size_t(index)];
            ++x;
        };
        for (;;) {
            const int count = reader.Byte();
            const int value = reader.Byte();
            if (count < 0 || value < 0) {
                if (n >= height)
                    break; // the rows are all there; the end code is missing
                Unreadable();
            }
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(bits == 8 ? value : (k % 2 == 0 ? value >> 4 : value & 15));
                continue;
            }
            if (value == 0) { // the end of a row
                x = 0;
                ++n;
                continue;
            }
            if (value == 1) // the end of the bitmap
                break;
            if (value == 2) { // a move right and up
                const int dx = reader.Byte();
                const int dy = reader.Byte();
                if (dx < 0 || dy < 0)
                    Unreadable();
                x += dx;
                n += dy;
                continue;
            }
            // Literal pixels, padded to a whole number of 16-bit words.
            const int literal = value;
            const int length = bits == 8 ? literal : (literal + 1) / 2;
            for (int k = 0; k < length; ++k) {
                const int b = reader.Byte();
                if (b < 0)
                    Unreadable();
                if (bits == 8) {
                    put(b);
                } else {
                    put(b >> 4);
                    if (2 * k + 1 < literal)
                        put(b & 15);
                }
            }
            if (length % 2 == 1 && reader.Byte() < 0)
                Unreadable();
        }
        return grey;
    }
    std::vector<uchar> row(static_cast<size_t>(stride));
    for (std::int64_t n = 0; n < height; ++n) {
        if (!reader.Read(row.data(), stride))
            Unreadable();
        uchar* out = rowAt(n);
        const uchar* in = row.data();
        switch (bits) {
        case 1:
        case 4:
        case 8: {
            const int perByte = 8 / bits;
            const int mask = (1 << bits) - 1;
            for (std::int64_t x = 0; x < width; ++x) {
                const int shift = 8 - bits * (int(x % perByte) + 1);
                out[x] = palette[size_t((in[x / perByte] >> shift) & mask)];
            }
            break;
        }
        case 16:
            for (std::int64_t x = 0; x < width; ++x) {
                const std::uint32_t pixel = Little16(in + 2 * x);
                out[x] = Grey8(red.Value(pixel), green.Value(pixel), blue.Value(pixel));
            }
            break;
        case 24:
            for (std::int64_t x = 0; x < width; ++x)
                out[x] = Grey8(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
            break;
        case 32:
            for (std::int64_t x = 0; x < width; ++x) {
                const uchar* p = in + 4 * x;
                out[x] = fields ? Grey8(red.Value(Little32(p)), green.Value(Little32(p)),
                                        blue.Value(Little32(p)))
                                : Grey8(p[2], p[1], p[0]);
            }
            break;
        default:
            Unreadable();
        }
    }
    return grey;
}

} // namespace vrma::photo
