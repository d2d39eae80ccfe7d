// A TIFF photograph read with libtiff, straight to grey.
#include "calib/PhotoDecoding.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <tiffio.h>

namespace vrma::photo {

namespace {

// ---- TIFF ---------------------------------------------------------------------------

struct TiffClient {
    ByteSource* bytes;
    std::int64_t offset;
    bool failed; // libtiff reported an error
};

tmsize_t TiffRead(thandle_t handle, void* data, tmsize_t size) {
    auto* client = static_cast<TiffClient*>(handle);
    const std::int64_t got = client->bytes->ReadAt(data, std::int64_t(size), client->offset);
    if (got < 0)
        return -1;
    client->offset += got;
    return tmsize_t(got);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* client = static_cast<TiffClient*>(handle);
    const std::int64_t base = whence == SEEK_CUR   ? client->offset
                              : whence == SEEK_END ? client->bytes->Size()
                                                   : 0;
    const std::int64_t at = base + std::int64_t(offset);
    if (at < 0)
        return toff_t(-1);
    client->offset = at;
    return toff_t(at);
}

int TiffClose(thandle_t) {
    return 0;
}

toff_t TiffSize(thandle_t handle) {
    return toff_t(static_cast<TiffClient*>(handle)->bytes->Size());
}

int TiffMap(thandle_t, void**, toff_t*) {
    return 0;
}

void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffErrorHandler(TIFF*, void* user, const char*, const char*, va_list) {
    static_cast<TiffClient*>(user)->failed = true;
    return 1;
}

int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// An open TIFF file, closed however the reading ends.
class TiffFile {
public:
    TiffFile(ByteSource& bytes, std::int64_t largestAllocation) {
        client_.bytes = &bytes;
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            Unreadable();
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(largestAllocation));
        TIFFOpenOptionsSetErrorHandlerExtR(options, TiffErrorHandler, &client_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, TiffWarningHandler, &client_);
        tif_ = TIFFClientOpenExt("photograph", "rm", &client_, TiffRead, TiffWrite, TiffSeek,
                                 TiffClose, TiffSize, TiffMap, TiffUnmap, options);
        TIFFOpenOptionsFree(options);
        if (!tif_)
            Unreadable();
    }
    ~TiffFile() {
        if (tif_)
            TIFFClose(tif_);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* get() const { return tif_; }
    bool failed() const { return client_.failed; }

private:
    TiffClient client_{};
    TIFF* tif_ = nullptr;
};

enum class SampleKind { U8, U16, U32, I8, I16, I32, F32, F64 };

std::optional<SampleKind> KindOf(int bits, int format) {
    if (format == SAMPLEFORMAT_UINT)
        return bits == 8    ? SampleKind::U8
               : bits == 16 ? SampleKind::U16
               : bits == 32 ? std::optional(SampleKind::U32)
                            : std::nullopt;
    if (format == SAMPLEFORMAT_INT)
        return bits == 8    ? SampleKind::I8
               : bits == 16 ? SampleKind::I16
               : bits == 32 ? std::optional(SampleKind::I32)
                            : std::nullopt;
    if (format == SAMPLEFORMAT_IEEEFP)
        return bits == 32   ? SampleKind::F32
               : bits == 64 ? std::optional(SampleKind::F64)
                            : std::nullopt;
    return std::nullopt;
}

// How a TIFF is laid out, for reading it in bands of rows: a band is one row (strips of
// interleaved samples, read a scanline at a time), a strip's rows (planes apart) or a
// tile's rows (tiles).
struct TiffLayout {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int samples = 1;     // per pixel
    int channels = 1;    // used: 1 (grey) or 3 (RGB)
    bool planar = false; // one plane a sample
    bool tiled = false;
    std::int64_t tileWidth = 0;
    std::int64_t bandRows = 1;
    int sampleBytes = 1;
    SampleKind kind = SampleKind::U8;
    bool minIsWhite = false;

    // The samples of a band's row, from which a pixel's channel is read: pixel x, channel c
    // at (base[c], x * stride).
    std::int64_t planeRowSamples() const {
        const std::int64_t across = tiled ? (width + tileWidth - 1) / tileWidth * tileWidth : width;
        return across * (planar ? 1 : samples);
    }
    std::int64_t bandBytes() const {
        return planeRowSamples() * bandRows * sampleBytes * (planar ? channels : 1);
    }
};

// Reads a TIFF band by band into one buffer (planes one after another).
class TiffBands {
public:
    TiffBands(TIFF* tif, const TiffLayout& layout)
        : tif_(tif), layout_(layout), band_(size_t(layout.bandBytes())) {
        if (layout.tiled)
            tile_.resize(size_t(TIFFTileSize(tif)));
    }

    // Reads the band that holds row `top` (a multiple of bandRows); false on an error.
    bool Read(std::int64_t top) {
        const TiffLayout& l = layout_;
        const std::int64_t rows = std::min(l.bandRows, l.height - top);
        const std::int64_t planeBytes = l.planeRowSamples() * l.bandRows * l.sampleBytes;
        for (int plane = 0; plane < (l.planar ? l.channels : 1); ++plane) {
            uchar* out = band_.data() + plane * planeBytes;
            if (!l.tiled && !l.planar) {
                if (TIFFReadScanline(tif_, out, uint32_t(top), 0) != 1)
                    return false;
                continue;
            }
            if (!l.tiled) {
                const tmsize_t wanted = tmsize_t(l.planeRowSamples() * rows * l.sampleBytes);
                if (TIFFReadEncodedStrip(tif_,
                                         TIFFComputeStrip(tif_, uint32_t(top), uint16_t(plane)),
                                         out, wanted) < wanted)
                    return false;
                continue;
            }
            const std::int64_t tileRow = l.tileWidth * (l.planar ? 1 : l.samples) * l.sampleBytes;
            for (std::int64_t left = 0; left < l.width; left += l.tileWidth) {
                if (TIFFReadTile(tif_, tile_.data(), uint32_t(left), uint32_t(top), 0,
                                 uint16_t(plane)) < 0)
                    return false;
                for (std::int64_t y = 0; y < rows; ++y)
                    std::memcpy(out + y * l.planeRowSamples() * l.sampleBytes +
                                    left * (l.planar ? 1 : l.samples) * l.sampleBytes,
                                tile_.data() + y * tileRow, size_t(tileRow));
            }
        }
        return true;
    }

    // The grey values of the band's row y: deeper samples as they are, 8-bit ones as 8-bit
    // grey.
    void GreyRow(std::int64_t y, double* out) const {
        switch (layout_.kind) {
        case SampleKind::U8:
            return GreyRowOf<std::uint8_t>(y, out);
        case SampleKind::U16:
            return GreyRowOf<std::uint16_t>(y, out);
        case SampleKind::U32:
            return GreyRowOf<std::uint32_t>(y, out);
        case SampleKind::I8:
            return GreyRowOf<std::int8_t>(y, out);
        case SampleKind::I16:
            return GreyRowOf<std::int16_t>(y, out);
        case SampleKind::I32:
            return GreyRowOf<std::int32_t>(y, out);
        case SampleKind::F32:
            return GreyRowOf<float>(y, out);
        case SampleKind::F64:
            return GreyRowOf<double>(y, out);
        }
    }
    void Grey8Row(std::int64_t y, uchar* out) const {
        const TiffLayout& l = layout_;
        const uchar* in = band_.data() + y * l.planeRowSamples();
        const std::int64_t step = l.planar ? 1 : l.samples;
        const std::int64_t plane = l.planar ? l.planeRowSamples() * l.bandRows : 1;
        for (std::int64_t x = 0; x < l.width; ++x, in += step) {
            if (l.channels == 3)
                out[x] = photo::Grey8(in[0], in[plane], in[2 * plane]);
            else
                out[x] = l.minIsWhite ? uchar(255 - in[0]) : in[0];
        }
    }

private:
    template <class T> void GreyRowOf(std::int64_t y, double* out) const {
        const TiffLayout& l = layout_;
        const uchar* base = band_.data();
        const std::int64_t step = l.planar ? 1 : l.samples;
        const std::int64_t plane = l.planar ? l.planeRowSamples() * l.bandRows : 1;
        const auto at = [base](std::int64_t index) {
            T value;
            std::memcpy(&value, base + index * std::int64_t(sizeof(T)), sizeof(T));
            return double(value);
        };
        std::int64_t index = y * l.planeRowSamples();
        for (std::int64_t x = 0; x < l.width; ++x, index += step) {
            if (l.channels == 3)
                out[x] = GreyDeep(at(index), at(index + plane), at(index + 2 * plane));
            else
                out[x] = l.minIsWhite ? -at(index) : at(index);
        }
    }

    TIFF* tif_;
    TiffLayout layout_;
    std::vector<uchar> band_;
    std::vector<uchar> tile_;
};

// The largest piece of compressed data that libtiff reads at once (a strip or a tile),
// no larger than the file.
std::int64_t LargestChunk(TIFF* tif, std::int64_t fileSize) {
    std::uint64_t largest = 0;
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t n = 0; n < count && largest < std::uint64_t(fileSize); ++n)
        largest = std::max<std::uint64_t>(largest, TIFFGetStrileByteCount(tif, n));
    return std::int64_t(std::min<std::uint64_t>(largest, std::uint64_t(fileSize)));
}

// Any other TIFF (palette, 1 to 4 bits, YCbCr, CMYK, JPEG inside, ...) through libtiff's
// RGBA reader, a band of rows at a time, as stored (the orientation tag not applied).
cv::Mat DecodeTiffRgba(TiffFile& file, std::int64_t width, std::int64_t height,
                       std::int64_t chunk) {
    TIFF* tif = file.get();
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message))
        Unreadable();
    std::int64_t bandRows = 64;
    if (TIFFIsTiled(tif)) {
        uint32_t tileLength = 0;
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
        bandRows = std::max<std::int64_t>(tileLength, 1);
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        bandRows = std::clamp<std::int64_t>(rowsPerStrip, 1, height);
    }
    bandRows = std::min(bandRows, height);
    // The grey image, the band in RGBA, and libtiff's strip or tile (decoded and raw).
    const std::int64_t decoded = TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    const std::int64_t needed = width * height + width * bandRows * 4 + decoded + chunk + (1 << 20);
    CheckMemory(width, height, needed);
    cv::Mat grey = GreyImage(int(width), int(height));
    std::vector<uint32_t> raster;
    try {
        raster.resize(size_t(width * bandRows));
    } catch (const std::bad_alloc&) {
        OutOfMemory(width, height, needed, AvailableMemory());
    }
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        Unreadable();
    image.req_orientation = image.orientation; // the rows as stored
    bool ok = true;
    for (std::int64_t top = 0; top < height && ok; top += bandRows) {
        const std::int64_t rows = std::min(bandRows, height - top);
        image.row_offset = int(top);
        image.col_offset = 0;
        ok = TIFFRGBAImageGet(&image, raster.data(), uint32_t(width), uint32_t(rows)) == 1 &&
             !file.failed();
        for (std::int64_t y = 0; y < rows && ok; ++y) {
            const uint32_t* in = raster.data() + y * width;
            uchar* out = grey.ptr<uchar>(int(top + y));
            for (std::int64_t x = 0; x < width; ++x)
                out[x] = Grey8(int(TIFFGetR(in[x])), int(TIFFGetG(in[x])), int(TIFFGetB(in[x])));
        }
    }
    TIFFRGBAImageEnd(&image);
    if (!ok)
        Unreadable();
    return grey;
}

} // namespace

cv::Mat DecodeTiff(ByteSource& bytes, Reading& reading) {
    // No single allocation of libtiff's beyond what the machine has, nor beyond 1 GB.
    const std::int64_t largest =
        std::clamp<std::int64_t>(AvailableMemory(), 64 << 20, std::int64_t{1} << 30);
    TiffFile file(bytes, largest);
    TIFF* tif = file.get();
    uint32_t width32 = 0;
    uint32_t height32 = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width32) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height32))
        Unreadable();
    const std::int64_t width = width32;
    const std::int64_t height = height32;
    CheckSize(width, height, reading);

    uint16_t bits = 1;
    uint16_t samples = 1;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    uint16_t photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    const std::int64_t chunk = LargestChunk(tif, bytes.Size());

    const std::optional<SampleKind> kind = KindOf(bits, format);
    const bool greyOrRgb =
        ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
         samples >= 1) ||
        (photometric == PHOTOMETRIC_RGB && samples >= 3);
    const bool jpegInside = compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG;
    if (!kind || !greyOrRgb || jpegInside) {
        if (bits > 16 || format == SAMPLEFORMAT_IEEEFP)
            Unreadable();
        return DecodeTiffRgba(file, width, height, chunk);
    }

    TiffLayout layout;
    layout.width = width;
    layout.height = height;
    layout.samples = samples;
    layout.channels = photometric == PHOTOMETRIC_RGB ? 3 : 1;
    layout.planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
    layout.tiled = TIFFIsTiled(tif) != 0;
    layout.sampleBytes = bits / 8;
    layout.kind = *kind;
    layout.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
    if (layout.tiled) {
        uint32_t tileWidth = 0;
        uint32_t tileLength = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
        if (tileWidth < 1 || tileLength < 1)
            Unreadable();
        layout.tileWidth = tileWidth;
        layout.bandRows = tileLength;
    } else if (layout.planar) {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        layout.bandRows = std::clamp<std::int64_t>(rowsPerStrip, 1, height);
    }
    // libtiff's rows and tiles are as large as the layout says, or it is read no further.
    const std::int64_t sampleRow = width * samples * layout.sampleBytes;
    if ((!layout.tiled && !layout.planar && std::int64_t(TIFFScanlineSize64(tif)) != sampleRow) ||
        (layout.tiled && std::int64_t(TIFFTileRowSize64(tif)) !=
                             layout.tileWidth * (layout.planar ? 1 : samples) * layout.sampleBytes))
        Unreadable();
    // The grey image, a band of the file's samples (and a tile), the compressed data that
    // libtiff reads at once.
    const std::int64_t tile = layout.tiled ? TIFFTileSize64(tif) : 0;
    const std::int64_t needed = width * height + layout.bandBytes() + tile + chunk + (1 << 20);
    CheckMemory(width, height, needed);
    cv::Mat grey = GreyImage(int(width), int(height));
    std::optional<TiffBands> bands;
    try {
        bands.emplace(tif, layout);
    } catch (const std::bad_alloc&) {
        OutOfMemory(width, height, needed, AvailableMemory());
    }
    const auto readBand = [&](std::int64_t top) {
        if (!bands->Read(top) || file.failed())
            Unreadable();
        return std::min(layout.bandRows, height - top);
    };
    if (layout.kind == SampleKind::U8) {
        for (std::int64_t top = 0; top < height; top += layout.bandRows) {
            const std::int64_t rows = readBand(top);
            for (std::int64_t y = 0; y < rows; ++y)
                bands->Grey8Row(y, grey.ptr<uchar>(int(top + y)));
        }
        return grey;
    }
    // Deeper: the darkest and lightest values first, then the pixels.
    Stretch stretch;
    std::vector<double> values(static_cast<size_t>(width));
    for (std::int64_t top = 0; top < height; top += layout.bandRows) {
        const std::int64_t rows = readBand(top);
        for (std::int64_t y = 0; y < rows; ++y) {
            bands->GreyRow(y, values.data());
            for (const double value : values)
                stretch.See(value);
        }
    }
    stretch.Finish();
    for (std::int64_t top = 0; top < height; top += layout.bandRows) {
        const std::int64_t rows = readBand(top);
        for (std::int64_t y = 0; y < rows; ++y) {
            bands->GreyRow(y, values.data());
            uchar* out = grey.ptr<uchar>(int(top + y));
            for (std::int64_t x = 0; x < width; ++x)
                out[x] = stretch.Grey(values[size_t(x)]);
        }
    }
    return grey;
}

} // namespace vrma::photo
