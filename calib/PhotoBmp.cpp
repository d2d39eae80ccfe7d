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

// What the file's headers say of the image.
struct BmpHeader {
    std::uint32_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // positive; `topDown` when the file's is negative
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t colours = 0;
    bool core = false; // the old header of 12 bytes

    bool rle() const { return compression == 1 || compression == 2; }
    bool fields() const { return compression == 3 || compression == 6; }
};

// The headers, checked: a kind of image read, its size within the limit.
BmpHeader ReadHeader(ByteSource& bytes, Reading& reading) {
    uchar head[14 + 124] = {};
    const std::int64_t got = bytes.ReadAt(head, sizeof head, 0);
    if (got < 14 + 12)
        Unreadable();
    BmpHeader header;
    header.dataOffset = Little32(head + 10);
    header.headerSize = Little32(head + 14);
    const uchar* h = head + 14;
    if (header.headerSize == 12) {
        header.core = true;
        header.width = Little16(h + 4);
        header.height = Little16(h + 6); // unsigned: the old header has no top-down rows
        header.bits = Little16(h + 10);
    } else if (header.headerSize >= 40 && header.headerSize <= 124 &&
               got >= 14 + std::int64_t(header.headerSize)) {
        header.width = std::int32_t(Little32(h + 4));
        header.height = std::int32_t(Little32(h + 8));
        if (Little16(h + 12) != 1)
            Unreadable();
        header.bits = Little16(h + 14);
        header.compression = Little32(h + 16);
        header.colours = Little32(h + 32);
    } else {
        Unreadable();
    }
    header.topDown = header.height < 0;
    header.height = std::abs(header.height);
    CheckSize(header.width, header.height, reading);
    const int bits = header.bits;
    const std::uint32_t compression = header.compression;
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (header.fields() && bits != 16 && bits != 32) || compression > 6 || compression == 4 ||
        compression == 5 || (header.rle() && header.topDown))
        Unreadable();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Unreadable();
    return header;
}

// The palette as grey levels, or the channels' masks.
struct BmpColours {
    std::array<uchar, 256> palette{};
    MaskChannel red;
    MaskChannel green;
    MaskChannel blue;

    uchar Grey(std::uint32_t pixel) const {
        return Grey8(red.Value(pixel), green.Value(pixel), blue.Value(pixel));
    }
};

BmpColours ReadColours(ByteSource& bytes, const BmpHeader& header) {
    BmpColours colours;
    const std::uint32_t compression = header.compression;
    const std::int64_t paletteAt = 14 + std::int64_t(header.headerSize) +
                                   (compression == 3 && header.headerSize == 40 ? 12 : 0) +
                                   (compression == 6 && header.headerSize == 40 ? 16 : 0);
    const int bits = header.bits;
    if (bits <= 8) {
        const std::int64_t count = header.colours == 0
                                       ? (std::int64_t{1} << bits)
                                       : std::min<std::int64_t>(header.colours, 1 << bits);
        const int entry = header.core ? 3 : 4;
        std::vector<uchar> table(size_t(count * entry));
        if (bytes.ReadAt(table.data(), std::int64_t(table.size()), paletteAt) !=
            std::int64_t(table.size()))
            Unreadable();
        for (std::int64_t n = 0; n < count; ++n) {
            const uchar* e = table.data() + n * entry;
            colours.palette[size_t(n)] = Grey8(e[2], e[1], e[0]);
        }
    } else if (header.fields()) {
        uchar masks[12] = {};
        // Right after a header of 40 bytes, or in the header's own bytes 40 to 52.
        if (bytes.ReadAt(masks, sizeof masks, 14 + 40) != std::int64_t(sizeof masks))
            Unreadable();
        colours.red = MaskChannel(Little32(masks));
        colours.green = MaskChannel(Little32(masks + 4));
        colours.blue = MaskChannel(Little32(masks + 8));
    } else if (bits == 16) {
        colours.red = MaskChannel(0x7C00);
        colours.green = MaskChannel(0x03E0);
        colours.blue = MaskChannel(0x001F);
    }
    return colours;
}

// The image's stored row n (rows are stored from the bottom up unless the height is
// negative).
uchar* StoredRow(cv::Mat& grey, const BmpHeader& header, std::int64_t n) {
    return grey.ptr<uchar>(int(header.topDown ? n : header.height - 1 - n));
}

// A run-length encoded image (8 or 4 bits a pixel); what no code reaches keeps the
// palette's first colour.
void ReadRunLengths(SequentialReader& reader, const BmpHeader& header, const BmpColours& colours,
                    cv::Mat& grey) {
    const int bits = header.bits;
    grey.setTo(colours.palette[0]);
    std::int64_t x = 0;
    std::int64_t n = 0; // the stored row
    const auto put = [&](int index) {
        if (x < header.width && n < header.height)
            StoredRow(grey, header, n)[x] = colours.palette[size_t(index)];
        ++x;
    };
    for (;;) {
        const int count = reader.Byte();
        const int value = reader.Byte();
        if (count < 0 || value < 0) {
            if (n >= header.height)
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
}

// One stored row of pixels to grey.
void GreyRow(const uchar* in, uchar* out, const BmpHeader& header, const BmpColours& colours) {
    const std::int64_t width = header.width;
    const int bits = header.bits;
    switch (bits) {
    case 1:
    case 4:
    case 8: {
        const int perByte = 8 / bits;
        const int mask = (1 << bits) - 1;
        for (std::int64_t x = 0; x < width; ++x) {
            const int shift = 8 - bits * (int(x % perByte) + 1);
            out[x] = colours.palette[size_t((in[x / perByte] >> shift) & mask)];
        }
        break;
    }
    case 16:
        for (std::int64_t x = 0; x < width; ++x)
            out[x] = colours.Grey(Little16(in + 2 * x));
        break;
    case 24:
        for (std::int64_t x = 0; x < width; ++x)
            out[x] = Grey8(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        break;
    case 32:
        for (std::int64_t x = 0; x < width; ++x) {
            const uchar* p = in + 4 * x;
            out[x] = header.fields() ? colours.Grey(Little32(p)) : Grey8(p[2], p[1], p[0]);
        }
        break;
    default:
        Unreadable();
    }
}

} // namespace

cv::Mat DecodeBmp(ByteSource& bytes, Reading& reading) {
    const BmpHeader header = ReadHeader(bytes, reading);
    const BmpColours colours = ReadColours(bytes, header);
    const std::int64_t stride = (header.width * header.bits + 31) / 32 * 4;
    CheckMemory(header.width, header.height, header.width * header.height + stride + (1 << 20));
    cv::Mat grey = GreyImage(int(header.width), int(header.height));
    SequentialReader reader(bytes, header.dataOffset);
    if (header.rle()) {
        ReadRunLengths(reader, header, colours, grey);
        return grey;
    }
    std::vector<uchar> row(static_cast<size_t>(stride));
    for (std::int64_t n = 0; n < header.height; ++n) {
        if (!reader.Read(row.data(), stride))
            Unreadable();
        GreyRow(row.data(), StoredRow(grey, header, n), header, colours);
    }
    return grey;
}

} // namespace vrma::photo
