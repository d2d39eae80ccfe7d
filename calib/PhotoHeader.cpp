#include "calib/PhotoHeader.h"

#include "data/TextFile.h"

#include <sched.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <thread>

namespace vrma {

namespace {

// Reads up to `size` bytes at `offset` into `data`; how many it read (0 past the end).
using ReadAt = std::function<qint64(char* data, qint64 size, qint64 offset)>;

// The most segments of a JPEG and chunks of a PNG looked at before the pixels, and the most
// directories of a TIFF file followed: beyond, the header keeps what it found.
constexpr int kMostSegments = 4096;
constexpr int kMostDirectories = 100000;

// Bytes of the file read on demand, in the byte order the file states.
class Bytes {
public:
    explicit Bytes(ReadAt read) : read_(std::move(read)) {}

    std::optional<QByteArray> At(qint64 offset, qint64 size) const {
        if (offset < 0 || size < 0 || size > (qint64{1} << 20))
            return std::nullopt;
        QByteArray bytes(size, Qt::Uninitialized);
        qint64 done = 0;
        while (done < size) {
            const qint64 n = read_(bytes.data() + done, size - done, offset + done);
            if (n <= 0)
                return std::nullopt;
            done += n;
        }
        return bytes;
    }

    // An unsigned number of `size` bytes (1 to 8) at offset, in the given order.
    std::optional<std::uint64_t> Number(qint64 offset, int size, bool bigEndian) const {
        const std::optional<QByteArray> bytes = At(offset, size);
        if (!bytes)
            return std::nullopt;
        std::uint64_t value = 0;
        for (int k = 0; k < size; ++k) {
            const auto byte = static_cast<unsigned char>((*bytes)[bigEndian ? k : size - 1 - k]);
            value = (value << 8) | byte;
        }
        return value;
    }

private:
    ReadAt read_;
};

int Clamped(std::uint64_t value) {
    return value > std::uint64_t(std::numeric_limits<int>::max()) ? 0 : int(value);
}

// A TIFF structure beginning at `base` (a TIFF file: 0; an EXIF block: after "Exif\0\0"):
// the size and orientation of its first directory, and with `countPages` the full-size
// images of the whole chain.
void ReadTiff(const Bytes& bytes, qint64 base, bool countPages, PhotoHeader& header) {
    const std::optional<QByteArray> start = bytes.At(base, 4);
    if (!start)
        return;
    const bool big = start->startsWith("MM");
    if (!big && !start->startsWith("II"))
        return;
    const std::optional<std::uint64_t> version = bytes.Number(base + 2, 2, big);
    if (!version || (*version != 42 && *version != 43))
        return;
    const bool bigTiff = *version == 43;
    const int offsetSize = bigTiff ? 8 : 4;
    const int countSize = bigTiff ? 8 : 2;
    const int entrySize = bigTiff ? 20 : 12;
    std::optional<std::uint64_t> next = bytes.Number(base + (bigTiff ? 8 : 4), offsetSize, big);
    std::set<std::uint64_t> seen;
    int pages = 0;
    for (int directory = 0; next && *next != 0 && directory < kMostDirectories; ++directory) {
        if (!seen.insert(*next).second ||
            *next > std::uint64_t(std::numeric_limits<qint64>::max() / 2))
            break; // a loop, or an offset beyond any file
        const qint64 at = base + qint64(*next);
        const std::optional<std::uint64_t> count = bytes.Number(at, countSize, big);
        if (!count || *count > 65535)
            break;
        bool reduced = false;
        std::set<std::uint64_t> tags;
        for (std::uint64_t e = 0; e < *count; ++e) {
            const qint64 entry = at + countSize + qint64(e) * entrySize;
            const std::optional<std::uint64_t> tag = bytes.Number(entry, 2, big);
            const std::optional<std::uint64_t> type = bytes.Number(entry + 2, 2, big);
            const std::optional<std::uint64_t> values = bytes.Number(entry + 4, offsetSize, big);
            if (!tag || !type || !values)
                break;
            // A tag given again counts as given first (as libtiff takes it); one SHORT (3)
            // or LONG (4) value stands in the entry itself.
            const int size = *type == 3 ? 2 : *type == 4 ? 4 : 0;
            if (!tags.insert(*tag).second || size == 0 || *values != 1)
                continue;
            const qint64 valueAt = entry + 4 + (bigTiff ? 8 : 4);
            const std::optional<std::uint64_t> value = bytes.Number(valueAt, size, big);
            if (!value)
                continue;
            if (*tag == 254)
                reduced = (*value & 1) != 0; // a reduced copy of another image
            else if (directory == 0 && *tag == 256)
                header.width = Clamped(*value);
            else if (directory == 0 && *tag == 257)
                header.height = Clamped(*value);
            else if (directory == 0 && *tag == 274 && *value >= 1 && *value <= 8)
                header.orientation = int(*value);
        }
        if (!reduced || directory == 0)
            ++pages;
        if (!countPages)
            return;
        next = bytes.Number(at + countSize + qint64(*count) * entrySize, offsetSize, big);
    }
    header.pages = std::max(pages, 1);
}

void ReadJpeg(const Bytes& bytes, PhotoHeader& header) {
    qint64 at = 2; // after SOI
    for (int segment = 0; segment < kMostSegments; ++segment) {
        const std::optional<QByteArray> marker = bytes.At(at, 2);
        if (!marker || static_cast<unsigned char>((*marker)[0]) != 0xFF)
            return;
        const auto code = static_cast<unsigned char>((*marker)[1]);
        if (code == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2; // no length
            continue;
        }
        if (code == 0xD9 || code == 0xDA)
            return; // the end, or the pixels
        const std::optional<std::uint64_t> length = bytes.Number(at + 2, 2, true);
        if (!length || *length < 2)
            return;
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame) {
            const std::optional<std::uint64_t> height = bytes.Number(at + 5, 2, true);
            const std::optional<std::uint64_t> width = bytes.Number(at + 7, 2, true);
            const std::optional<std::uint64_t> components = bytes.Number(at + 9, 1, true);
            if (height && width) {
                header.height = Clamped(*height);
                header.width = Clamped(*width);
            }
            // SOF2, 6, 10 and 14 are progressive.
            if (components && (code & 0x03) == 0x02)
                header.decodeBytesPerPixel = 2 * int(std::min<std::uint64_t>(*components, 4));
            return; // the EXIF block comes before the frame
        }
        if (code == 0xE1) {
            const std::optional<QByteArray> name = bytes.At(at + 4, 6);
            if (name && *name == QByteArray("Exif\0\0", 6))
                ReadTiff(bytes, at + 10, false, header);
        }
        at += 2 + qint64(*length);
    }
}

void ReadPng(const Bytes& bytes, PhotoHeader& header) {
    qint64 at = 8;
    for (int chunk = 0; chunk < kMostSegments; ++chunk) {
        const std::optional<std::uint64_t> length = bytes.Number(at, 4, true);
        const std::optional<QByteArray> type = bytes.At(at + 4, 4);
        if (!length || !type || *length > 0x7FFFFFFF)
            return;
        if (*type == "IHDR" && *length >= 8) {
            const std::optional<std::uint64_t> width = bytes.Number(at + 8, 4, true);
            const std::optional<std::uint64_t> height = bytes.Number(at + 12, 4, true);
            const std::optional<std::uint64_t> depth = bytes.Number(at + 16, 1, true);
            const std::optional<std::uint64_t> interlace = bytes.Number(at + 20, 1, true);
            if (width && height) {
                header.width = Clamped(*width);
                header.height = Clamped(*height);
            }
            if (depth == 16U && interlace == 1U)
                header.decodeBytesPerPixel = 2;
        } else if (*type == "eXIf") {
            ReadTiff(bytes, at + 8, false, header);
        } else if (*type == "IDAT" || *type == "IEND") {
            return;
        }
        at += 12 + qint64(*length);
    }
}

void ReadBmp(const Bytes& bytes, PhotoHeader& header) {
    const std::optional<std::uint64_t> size = bytes.Number(14, 4, false);
    if (!size)
        return;
    if (*size == 12) { // the OS/2 header: 16-bit sides
        const std::optional<std::uint64_t> width = bytes.Number(18, 2, false);
        const std::optional<std::uint64_t> height = bytes.Number(20, 2, false);
        if (width && height) {
            header.width = Clamped(*width);
            header.height = Clamped(*height);
        }
        return;
    }
    const std::optional<std::uint64_t> width = bytes.Number(18, 4, false);
    const std::optional<std::uint64_t> height = bytes.Number(22, 4, false);
    if (!width || !height)
        return;
    // Signed: a negative height is an image stored top down.
    const auto signedOf = [](std::uint64_t v) {
        return std::int64_t(std::int32_t(std::uint32_t(v)));
    };
    const std::int64_t w = signedOf(*width);
    const std::int64_t h = signedOf(*height);
    if (w > 0 && h != 0 && h != std::numeric_limits<std::int32_t>::min()) {
        header.width = int(w);
        header.height = int(h < 0 ? -h : h);
    }
}

PhotoHeader Parse(const ReadAt& read) {
    PhotoHeader header;
    const Bytes bytes(read);
    const std::optional<QByteArray> start = bytes.At(0, 8);
    const QByteArray first = start ? *start : bytes.At(0, 2).value_or(QByteArray());
    if (first.startsWith("\xFF\xD8\xFF"))
        ReadJpeg(bytes, header);
    else if (first.startsWith("\x89PNG\r\n\x1A\n"))
        ReadPng(bytes, header);
    else if (first.startsWith("II") || first.startsWith("MM"))
        ReadTiff(bytes, 0, true, header);
    else if (first.startsWith("BM"))
        ReadBmp(bytes, header);
    if (header.width <= 0 || header.height <= 0)
        header.width = header.height = 0;
    return header;
}

// The processors this process may run on.
int Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1, int(std::thread::hardware_concurrency()));
}

} // namespace

PhotoHeader ReadPhotoHeader(const QString& fileName) {
    try {
        const DataFileReader file(fileName);
        return Parse([&file](char* data, qint64 size, qint64 offset) {
            return file.ReadAt(data, size, offset);
        });
    } catch (const std::exception&) {
        return {};
    }
}

PhotoHeader ParsePhotoHeader(QByteArrayView bytes) {
    return Parse([bytes](char* data, qint64 size, qint64 offset) -> qint64 {
        if (offset >= bytes.size())
            return 0;
        const qint64 n = std::min(size, bytes.size() - offset);
        std::copy_n(bytes.data() + offset, n, data);
        return n;
    });
}

std::int64_t PhotoSearchMemory(const PhotoHeader& header) {
    if (header.width <= 0 || header.height <= 0)
        return 0;
    // The grey image, what the decoding keeps besides, twice the grey image for the
    // search's working images (measured: one), and the thumbnail and bookkeeping.
    constexpr std::int64_t kSearchBytesPerPixel = 2;
    constexpr std::int64_t kBase = std::int64_t{16} << 20;
    return std::int64_t(header.width) * header.height *
               (1 + header.decodeBytesPerPixel + kSearchBytesPerPixel) +
           kBase;
}

int PhotoSearchThreads(std::span<const QString> files, std::int64_t available) {
    const int most =
        std::max(1, std::min(Processors(), int(std::min<std::size_t>(files.size(), 1024))));
    if (most == 1)
        return 1;
    std::int64_t need = 0;
    for (const QString& file : files)
        need = std::max(need, PhotoSearchMemory(ReadPhotoHeader(file)));
    if (need <= 0)
        return most;
    return int(std::clamp<std::int64_t>(available / need, 1, most));
}

} // namespace vrma
