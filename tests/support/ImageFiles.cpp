#include "support/ImageFiles.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

namespace vrma::test {

namespace {

size_t SampleBytes(int depth) {
    return size_t(CV_ELEM_SIZE1(depth));
}

size_t RowBytes(const ImageShape& shape) {
    return size_t(shape.width) * size_t(shape.channels) * SampleBytes(shape.depth);
}

void Put16(QByteArray& bytes, unsigned value) {
    bytes.append(char(value & 0xFF));
    bytes.append(char((value >> 8) & 0xFF));
}

void Put32(QByteArray& bytes, quint32 value) {
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

void PutBig32(QByteArray& bytes, quint32 value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

// ---- JPEG ---------------------------------------------------------------------------

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

// An Exif block with one tag, the orientation.
QByteArray ExifOrientation(int orientation) {
    QByteArray exif("Exif\0\0II*\0", 10);
    Put32(exif, 8);      // the first directory
    Put16(exif, 1);      // one entry
    Put16(exif, 0x0112); // orientation
    Put16(exif, 3);      // SHORT
    Put32(exif, 1);      // one value
    Put16(exif, unsigned(orientation));
    Put16(exif, 0);
    Put32(exif, 0); // no next directory
    return exif;
}

// Compresses outside any C++ object's lifetime: longjmp skips no destructor.
bool Compress(const ImageShape& shape, const RowSource& rows, const JpegOptions& options,
              const QByteArray& exif, std::vector<unsigned char>& row,
              std::vector<jpeg_scan_info>& scans, unsigned char** out, unsigned long* size) {
    jpeg_compress_struct info;
    JpegFailure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = JpegFail;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, size);
    info.image_width = JDIMENSION(shape.width);
    info.image_height = JDIMENSION(shape.height);
    info.input_components = shape.channels;
    info.in_color_space = shape.channels == 1   ? JCS_GRAYSCALE
                          : shape.channels == 4 ? JCS_CMYK
                                                : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.fullChroma)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    if (options.progressive)
        jpeg_simple_progression(&info);
    if (options.manyScans && shape.channels == 1) {
        scans.clear();
        scans.push_back({1, {0}, 0, 0, 0, 0});
        for (int k = 1; k < 64; ++k) {
            scans.push_back({1, {0}, k, k, 0, 1});
            scans.push_back({1, {0}, k, k, 1, 0});
        }
        info.scan_info = scans.data();
        info.num_scans = int(scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    if (!exif.isEmpty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()),
                          unsigned(exif.size()));
    while (info.next_scanline < info.image_height) {
        rows(int(info.next_scanline), row.data());
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

// ---- PNG ----------------------------------------------------------------------------

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void PngFlush(png_structp) {}

void PngFail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

bool WritePngRows(png_structp png, png_infop info, const ImageShape& shape, const RowSource& rows,
                  const PngOptions& options, const std::vector<png_color>& palette,
                  const std::map<std::array<unsigned char, 3>, int>& indices, QByteArray& out,
                  std::vector<unsigned char>& row, std::vector<unsigned char>& indexed) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    const int colourType = options.palette       ? PNG_COLOR_TYPE_PALETTE
                           : shape.channels == 1 ? PNG_COLOR_TYPE_GRAY
                           : shape.channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                           : shape.channels == 3 ? PNG_COLOR_TYPE_RGB
                                                 : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, png_uint_32(shape.width), png_uint_32(shape.height),
                 shape.depth == CV_16U ? 16 : 8, colourType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (options.palette)
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    if (shape.depth == CV_16U)
        png_set_swap(png); // the rows are in the machine's order
    const int passes = options.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < shape.height; ++y) {
            rows(y, row.data());
            if (options.palette) {
                for (int x = 0; x < shape.width; ++x) {
                    const unsigned char* p = row.data() + 3 * size_t(x);
                    indexed[size_t(x)] = png_byte(indices.at({p[0], p[1], p[2]}));
                }
                png_write_row(png, indexed.data());
            } else {
                png_write_row(png, row.data());
            }
        }
    }
    png_write_end(png, nullptr);
    return true;
}

// ---- TIFF ---------------------------------------------------------------------------

void TiffQuiet(const char*, const char*, va_list) {}

} // namespace

RowSource RowsOf(const cv::Mat& image) {
    return [image](int y, void* row) {
        const size_t sample = image.elemSize1();
        const int channels = image.channels();
        auto* out = static_cast<unsigned char*>(row);
        const unsigned char* in = image.ptr<unsigned char>(y);
        for (int x = 0; x < image.cols; ++x) {
            for (int c = 0; c < channels; ++c) {
                // BGR(A) in OpenCV, RGB(A) in the files.
                const int from = channels >= 3 && c < 3 ? 2 - c : c;
                std::memcpy(out + (size_t(x) * channels + c) * sample,
                            in + (size_t(x) * channels + from) * sample, sample);
            }
        }
    };
}

RowSource Bands(const ImageShape& shape) {
    return [shape](int y, void* row) {
        const int band = (y / 64) % 4;
        const size_t count = size_t(shape.width) * size_t(shape.channels);
        switch (shape.depth) {
        case CV_8U: {
            const unsigned char levels[] = {40, 200, 90, 160};
            std::fill_n(static_cast<unsigned char*>(row), count, levels[band]);
            break;
        }
        case CV_16U: {
            const std::uint16_t levels[] = {10000, 50000, 20000, 40000};
            std::fill_n(static_cast<std::uint16_t*>(row), count, levels[band]);
            break;
        }
        case CV_32F: {
            const float levels[] = {0.1F, 0.9F, 0.3F, 0.6F};
            std::fill_n(static_cast<float*>(row), count, levels[band]);
            break;
        }
        case CV_64F: {
            const double levels[] = {0.1, 0.9, 0.3, 0.6};
            std::fill_n(static_cast<double*>(row), count, levels[band]);
            break;
        }
        default:
            throw std::invalid_argument("Bands: no such depth");
        }
    };
}

QByteArray JpegFile(const ImageShape& shape, const RowSource& rows, const JpegOptions& options) {
    if (shape.depth != CV_8U || shape.channels == 2 || shape.channels > 4)
        throw std::invalid_argument("JpegFile: 8 bits, grey, RGB or CMYK");
    std::vector<unsigned char> row(RowBytes(shape));
    const QByteArray exif =
        options.orientation > 0 ? ExifOrientation(options.orientation) : QByteArray();
    std::vector<jpeg_scan_info> scans;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool done = Compress(shape, rows, options, exif, row, scans, &out, &size);
    QByteArray bytes;
    if (done)
        bytes = QByteArray(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    if (!done)
        throw std::runtime_error("JpegFile: libjpeg failed");
    return bytes;
}

QByteArray PngFile(const ImageShape& shape, const RowSource& rows, const PngOptions& options) {
    if ((shape.depth != CV_8U && shape.depth != CV_16U) || shape.channels < 1 ||
        shape.channels > 4 || (options.palette && (shape.channels != 3 || shape.depth != CV_8U)))
        throw std::invalid_argument("PngFile: no such PNG");
    std::vector<unsigned char> row(RowBytes(shape));
    std::vector<unsigned char> indexed(size_t(shape.width));
    std::vector<png_color> palette;
    std::map<std::array<unsigned char, 3>, int> indices;
    if (options.palette) {
        for (int y = 0; y < shape.height; ++y) {
            rows(y, row.data());
            for (int x = 0; x < shape.width; ++x) {
                const unsigned char* p = row.data() + 3 * size_t(x);
                if (indices
                        .emplace(std::array<unsigned char, 3>{p[0], p[1], p[2]},
                                 int(indices.size()))
                        .second)
                    palette.push_back({p[0], p[1], p[2]});
            }
        }
        if (palette.size() > 256)
            throw std::invalid_argument("PngFile: more than 256 colours for a palette");
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    QByteArray out;
    const bool done =
        png && info &&
        WritePngRows(png, info, shape, rows, options, palette, indices, out, row, indexed);
    png_destroy_write_struct(&png, &info);
    if (!done)
        throw std::runtime_error("PngFile: libpng failed");
    return out;
}

QByteArray PngHeaderOnly(int width, int height, int bitDepth, int colourType) {
    QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
    const auto chunk = [&](const char* type, const QByteArray& data) {
        PutBig32(bytes, quint32(data.size()));
        QByteArray body(type, 4);
        body += data;
        bytes += body;
        PutBig32(bytes, quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()),
                                      uInt(body.size()))));
    };
    QByteArray header;
    PutBig32(header, quint32(width));
    PutBig32(header, quint32(height));
    header.append(char(bitDepth));
    header.append(char(colourType));
    header.append(3, '\0'); // deflate, adaptive filters, not interlaced
    chunk("IHDR", header);
    chunk("IEND", QByteArray());
    return bytes;
}

void WriteTiff(const QString& fileName, const ImageShape& shape, const RowSource& rows,
               const TiffOptions& options) {
    TIFFSetWarningHandler(TiffQuiet);
    TIFF* tif = TIFFOpen(QFile::encodeName(fileName).constData(), "w");
    if (!tif)
        throw std::runtime_error("WriteTiff: cannot create " + fileName.toStdString());
    const int bits = int(SampleBytes(shape.depth)) * 8;
    const bool floating = shape.depth == CV_32F || shape.depth == CV_64F;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(shape.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(shape.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(shape.channels));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
                 uint16_t(floating                ? SAMPLEFORMAT_IEEEFP
                          : options.signedSamples ? SAMPLEFORMAT_INT
                                                  : SAMPLEFORMAT_UINT));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 uint16_t(shape.channels >= 3  ? PHOTOMETRIC_RGB
                          : options.minIsWhite ? PHOTOMETRIC_MINISWHITE
                                               : PHOTOMETRIC_MINISBLACK));
    if (shape.channels == 2 || shape.channels == 4) {
        const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &alpha);
    }
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 uint16_t(options.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION,
                 uint16_t(options.deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE));
    if (options.orientation > 0)
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(options.orientation));
    const int tile = 64;
    if (options.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(tile));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(tile));
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
    }
    const size_t sample = SampleBytes(shape.depth);
    const int planes = options.planar ? shape.channels : 1;
    const int perPlane = options.planar ? 1 : shape.channels;
    std::vector<unsigned char> row(RowBytes(shape));
    bool ok = true;
    // One plane's samples of a row.
    const auto planeOf = [&](const unsigned char* whole, int plane, unsigned char* out) {
        for (int x = 0; x < shape.width; ++x)
            std::memcpy(out + size_t(x) * perPlane * sample,
                        whole + (size_t(x) * shape.channels + plane) * sample, perPlane * sample);
    };
    const size_t planeRow = size_t(shape.width) * perPlane * sample;
    if (!options.tiled) {
        std::vector<unsigned char> out(planeRow);
        for (int plane = 0; plane < planes && ok; ++plane) {
            for (int y = 0; y < shape.height && ok; ++y) {
                rows(y, row.data());
                planeOf(row.data(), options.planar ? plane : 0, out.data());
                ok = TIFFWriteScanline(tif, out.data(), uint32_t(y), uint16_t(plane)) == 1;
            }
        }
    } else {
        std::vector<unsigned char> band(planeRow * tile);
        std::vector<unsigned char> tileBytes(size_t(tile) * tile * perPlane * sample);
        for (int plane = 0; plane < planes && ok; ++plane) {
            for (int top = 0; top < shape.height && ok; top += tile) {
                std::fill(band.begin(), band.end(), 0);
                for (int y = top; y < std::min(shape.height, top + tile); ++y) {
                    rows(y, row.data());
                    planeOf(row.data(), options.planar ? plane : 0,
                            band.data() + size_t(y - top) * planeRow);
                }
                for (int left = 0; left < shape.width && ok; left += tile) {
                    std::fill(tileBytes.begin(), tileBytes.end(), 0);
                    const int w = std::min(tile, shape.width - left);
                    for (int y = 0; y < tile; ++y)
                        std::memcpy(tileBytes.data() + size_t(y) * tile * perPlane * sample,
                                    band.data() + size_t(y) * planeRow +
                                        size_t(left) * perPlane * sample,
                                    size_t(w) * perPlane * sample);
                    ok = TIFFWriteTile(tif, tileBytes.data(), uint32_t(left), uint32_t(top), 0,
                                       uint16_t(plane)) > 0;
                }
            }
        }
    }
    TIFFClose(tif);
    if (!ok)
        throw std::runtime_error("WriteTiff: libtiff failed on " + fileName.toStdString());
}

QByteArray BmpFile(const ImageShape& shape, const RowSource& rows, const BmpOptions& options) {
    const bool grey = options.bits == 8;
    if (shape.depth != CV_8U || (grey && shape.channels != 1) || (!grey && shape.channels != 3) ||
        (options.rle && !grey) || (options.bits != 8 && options.bits != 24 && options.bits != 32))
        throw std::invalid_argument("BmpFile: no such BMP");
    const int stride = ((shape.width * options.bits / 8) + 3) & ~3;
    std::vector<unsigned char> row(RowBytes(shape));
    QByteArray pixels;
    for (int n = 0; n < shape.height; ++n) {
        const int y = options.topDown ? n : shape.height - 1 - n;
        rows(y, row.data());
        if (options.rle) {
            for (int x = 0; x < shape.width;) {
                int run = 1;
                while (x + run < shape.width && run < 255 && row[size_t(x + run)] == row[size_t(x)])
                    ++run;
                pixels.append(char(run));
                pixels.append(char(row[size_t(x)]));
                x += run;
            }
            pixels.append(2, '\0'); // end of the line
            continue;
        }
        QByteArray line(stride, '\0');
        for (int x = 0; x < shape.width; ++x) {
            if (grey) {
                line[x] = char(row[size_t(x)]);
                continue;
            }
            const unsigned char* p = row.data() + 3 * size_t(x);
            const int at = x * options.bits / 8;
            line[at] = char(p[2]); // B, G, R
            line[at + 1] = char(p[1]);
            line[at + 2] = char(p[0]);
        }
        pixels += line;
    }
    if (options.rle) {
        pixels.append(char(0));
        pixels.append(char(1)); // end of the bitmap
    }
    const int paletteBytes = grey ? 256 * 4 : 0;
    QByteArray bytes("BM");
    Put32(bytes, quint32(14 + 40 + paletteBytes + pixels.size()));
    Put32(bytes, 0);
    Put32(bytes, quint32(14 + 40 + paletteBytes));
    Put32(bytes, 40);
    Put32(bytes, quint32(shape.width));
    Put32(bytes, quint32(options.topDown ? -shape.height : shape.height));
    Put16(bytes, 1);
    Put16(bytes, unsigned(options.bits));
    Put32(bytes, options.rle ? 1 : 0);
    Put32(bytes, quint32(pixels.size()));
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, grey ? 256 : 0);
    Put32(bytes, 0);
    for (int level = 0; level < 256 && grey; ++level) {
        bytes.append(3, char(level));
        bytes.append('\0');
    }
    return bytes + pixels;
}

QByteArray BmpRleBomb(int width, int height) {
    QByteArray bytes("BM");
    const int paletteBytes = 256 * 4;
    Put32(bytes, quint32(14 + 40 + paletteBytes + 2));
    Put32(bytes, 0);
    Put32(bytes, quint32(14 + 40 + paletteBytes));
    Put32(bytes, 40);
    Put32(bytes, quint32(width));
    Put32(bytes, quint32(height));
    Put16(bytes, 1);
    Put16(bytes, 8);
    Put32(bytes, 1); // RLE8
    Put32(bytes, 2);
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, 256);
    Put32(bytes, 0);
    for (int level = 0; level < 256; ++level) {
        bytes.append(3, char(level));
        bytes.append('\0');
    }
    bytes.append(char(0));
    bytes.append(char(1));
    return bytes;
}

QByteArray OtherFormatFile(const char* kind, int width, int height, int payload) {
    const std::string name(kind);
    const QByteArray w = QByteArray::number(width);
    const QByteArray h = QByteArray::number(height);
    QByteArray bytes;
    if (name == "hdr") {
        bytes = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + h + " +X " + w + "\n";
    } else if (name == "pfm") {
        bytes = "Pf\n" + w + " " + h + "\n-1.0\n";
    } else if (name == "gif") {
        bytes = "GIF89a";
        Put16(bytes, unsigned(width));
        Put16(bytes, unsigned(height));
        bytes.append(3, '\0');
    } else if (name == "pnm") {
        bytes = "P5\n" + w + " " + h + "\n255\n";
    } else if (name == "webp") {
        bytes = "RIFF";
        Put32(bytes, quint32(payload + 12));
        bytes += "WEBPVP8 ";
        Put32(bytes, quint32(payload));
    } else if (name == "exr") {
        bytes = QByteArray("\x76\x2f\x31\x01\x02\0\0\0", 8);
    } else if (name == "jp2") {
        bytes = QByteArray("\0\0\0\x0cjP  \r\n\x87\n", 12);
    } else {
        throw std::invalid_argument("OtherFormatFile: no such kind");
    }
    return bytes + QByteArray(payload, '\0');
}

void WriteBytes(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("WriteBytes: cannot write " + fileName.toStdString());
}

QByteArray ReadBytes(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("ReadBytes: cannot read " + fileName.toStdString());
    return file.readAll();
}

} // namespace vrma::test
