#include "calib/Photograph.h"

#include "calib/TargetDetection.h"
#include "data/Errors.h"
#include "data/Messages.h"
#include "data/TextFile.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <opencv2/core.hpp>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// The decoders' C interfaces. libjpeg needs size_t and FILE declared first.
#include <jpeglib.h>

#include <jerror.h>
#include <png.h>
#include <tiffio.h>

namespace vrma {

namespace {

// ---- failures -----------------------------------------------------------------------

[[noreturn]] void Unreadable() {
    throw PhotoReadError(messages::PhotoUnreadable().toStdString());
}

[[noreturn]] void OutOfMemory(std::int64_t width, std::int64_t height, std::int64_t needed,
                              std::int64_t available) {
    constexpr std::int64_t mb = std::int64_t{1} << 20;
    throw PhotoMemoryError(messages::PhotoOutOfMemory(width, height, (needed + mb - 1) / mb,
                                                      std::max<std::int64_t>(available, 0) / mb)
                               .toStdString());
}

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

// The photograph's size against the limit and its decoding's memory against what is free.
void CheckSize(std::int64_t width, std::int64_t height, Reading& reading) {
    const std::int64_t maxPixels = reading.maxPixels;
    if (width < 1 || height < 1)
        Unreadable();
    reading.width = width;
    reading.height = height;
    if (width > maxPixels / height)
        throw PhotoReadError(
            messages::PhotoTooLarge(width, height, std::max<std::int64_t>(maxPixels / 1'000'000, 1))
                .toStdString());
}

void CheckMemory(std::int64_t width, std::int64_t height, std::int64_t needed) {
    const std::int64_t available = AvailableMemory();
    if (needed > available)
        OutOfMemory(width, height, needed, available);
}

// A grey image of the photograph's size; a failed allocation is a photograph too large
// for the memory.
cv::Mat GreyImage(int width, int height) {
    try {
        return cv::Mat(height, width, CV_8UC1);
    } catch (const std::bad_alloc&) {
    } catch (const cv::Exception&) {
    }
    OutOfMemory(width, height, std::int64_t{width} * height, AvailableMemory());
}

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

// ---- JPEG ---------------------------------------------------------------------------

enum class JpegFailure { None, Broken, Damaged, Memory, Scans };

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    JpegFailure failure;
};

struct JpegSource {
    jpeg_source_mgr manager;
    ByteSource* bytes;
    std::int64_t offset;
    JOCTET* buffer;
    size_t capacity;
};

struct JpegProgress {
    jpeg_progress_mgr manager;
    JpegErrors* errors;
};

// Everything libjpeg works with, plain data: a jump back skips no destructor.
struct JpegJob {
    jpeg_decompress_struct info;
    JpegErrors errors;
    JpegSource source;
    JpegProgress progress;
    bool created;
};

void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    const int code = info->err->msg_code;
    errors->failure = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE
                          ? JpegFailure::Memory
                          : JpegFailure::Broken;
    std::longjmp(errors->jump, 1);
}

// Warnings that mean the compressed data is corrupt or missing: the picture would be
// grey or garbled where the data is wrong, so it is refused. Those about metadata alone
// (an unknown JFIF version, Adobe transform or ICC profile) pass.
bool DamagingWarning(int code) {
    switch (code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
        return false;
    default:
        return true;
    }
}

void JpegEmitMessage(j_common_ptr info, int level) {
    if (level >= 0 || !DamagingWarning(info->err->msg_code))
        return; // trace messages and harmless warnings
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    errors->failure = JpegFailure::Damaged;
    std::longjmp(errors->jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}

void JpegInitSource(j_decompress_ptr) {}
void JpegTermSource(j_decompress_ptr) {}

boolean JpegFillInput(j_decompress_ptr info) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    const std::int64_t got =
        source->bytes->ReadAt(source->buffer, std::int64_t(source->capacity), source->offset);
    if (got < 0)
        ERREXIT(info, JERR_FILE_READ);
    if (got == 0) {
        // The file ends inside the image: the warning refuses it.
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        source->manager.next_input_byte = source->buffer;
        source->manager.bytes_in_buffer = 2;
        return TRUE;
    }
    source->offset += got;
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = size_t(got);
    return TRUE;
}

void JpegSkipInput(j_decompress_ptr info, long count) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    if (count <= 0)
        return;
    if (size_t(count) <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += count;
        source->manager.bytes_in_buffer -= size_t(count);
        return;
    }
    source->offset += std::int64_t(size_t(count) - source->manager.bytes_in_buffer);
    source->manager.bytes_in_buffer = 0;
}

void JpegProgressMonitor(j_common_ptr info) {
    auto* progress = reinterpret_cast<JpegProgress*>(info->progress);
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        progress->errors->failure = JpegFailure::Scans;
        std::longjmp(progress->errors->jump, 1);
    }
}

void JpegPrepare(JpegJob& job, ByteSource& bytes, JOCTET* buffer, size_t capacity) {
    std::memset(&job, 0, sizeof job);
    job.info.err = jpeg_std_error(&job.errors.manager);
    job.errors.manager.error_exit = JpegErrorExit;
    job.errors.manager.emit_message = JpegEmitMessage;
    job.errors.manager.output_message = JpegOutputMessage;
    job.source.manager.init_source = JpegInitSource;
    job.source.manager.fill_input_buffer = JpegFillInput;
    job.source.manager.skip_input_data = JpegSkipInput;
    job.source.manager.resync_to_restart = jpeg_resync_to_restart;
    job.source.manager.term_source = JpegTermSource;
    job.source.bytes = &bytes;
    job.source.buffer = buffer;
    job.source.capacity = capacity;
    job.progress.manager.progress_monitor = JpegProgressMonitor;
    job.progress.errors = &job.errors;
}

// The header: size, components, colour space. False on failure (job.errors says which).
bool JpegReadHeader(JpegJob& job) {
    if (setjmp(job.errors.jump))
        return false;
    jpeg_create_decompress(&job.info);
    job.created = true;
    job.info.src = &job.source.manager;
    job.info.progress = &job.progress.manager;
    jpeg_read_header(&job.info, TRUE);
    return true;
}

// CMYK as Adobe's programs store it (inverted), to grey as OpenCV converts it.
void CmykToGrey(const JSAMPLE* cmyk, uchar* grey, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        const int k = cmyk[3];
        const int c = k - ((255 - cmyk[0]) * k >> 8);
        const int m = k - ((255 - cmyk[1]) * k >> 8);
        const int y = k - ((255 - cmyk[2]) * k >> 8);
        grey[x] = Grey8(c, m, y);
    }
}

// The rows, straight into the grey image (CMYK through one row of its own).
bool JpegReadRows(JpegJob& job, uchar* out, size_t step, JSAMPLE* cmykRow) {
    if (setjmp(job.errors.jump))
        return false;
    jpeg_start_decompress(&job.info);
    if (job.info.output_components != (cmykRow ? 4 : 1))
        return false;
    while (job.info.output_scanline < job.info.output_height) {
        const JDIMENSION y = job.info.output_scanline;
        JSAMPROW row = cmykRow ? cmykRow : out + step * y;
        if (jpeg_read_scanlines(&job.info, &row, 1) != 1)
            return false;
        if (cmykRow)
            CmykToGrey(cmykRow, out + step * y, job.info.output_width);
    }
    jpeg_finish_decompress(&job.info);
    return true;
}

// Ends libjpeg's work however it ended.
class JpegCleanup {
public:
    explicit JpegCleanup(JpegJob& job) : job_(job) {}
    ~JpegCleanup() {
        if (job_.created)
            jpeg_destroy_decompress(&job_.info);
    }
    JpegCleanup(const JpegCleanup&) = delete;
    JpegCleanup& operator=(const JpegCleanup&) = delete;

private:
    JpegJob& job_;
};

[[noreturn]] void JpegFailed(const JpegJob& job, std::int64_t width, std::int64_t height,
                             std::int64_t needed) {
    if (job.errors.failure == JpegFailure::Memory)
        OutOfMemory(width, height, needed, AvailableMemory());
    Unreadable();
}

cv::Mat DecodeJpeg(ByteSource& bytes, Reading& reading) {
    std::vector<JOCTET> buffer(std::size_t{1} << 16);
    auto job = std::make_unique<JpegJob>();
    JpegPrepare(*job, bytes, buffer.data(), buffer.size());
    const JpegCleanup cleanup(*job);
    if (!JpegReadHeader(*job))
        JpegFailed(*job, 0, 0, 0);
    jpeg_decompress_struct& info = job->info;
    const std::int64_t width = info.image_width;
    const std::int64_t height = info.image_height;
    CheckSize(width, height, reading);

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (info.jpeg_color_space == JCS_GRAYSCALE || info.jpeg_color_space == JCS_YCbCr ||
        info.jpeg_color_space == JCS_RGB)
        info.out_color_space = JCS_GRAYSCALE; // luminance only: no colour is ever decoded
    else if (cmyk)
        info.out_color_space = JCS_CMYK;
    else
        Unreadable();
    // A file of several scans (progressive) is decoded from all its coefficients, kept
    // whole: two bytes a sample of every component, padded to the sampling blocks.
    std::int64_t coefficients = 0;
    if (jpeg_has_multiple_scans(&info)) {
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info& component = info.comp_info[c];
            const std::int64_t across =
                (std::int64_t{component.width_in_blocks} + component.h_samp_factor - 1) /
                component.h_samp_factor * component.h_samp_factor;
            const std::int64_t down =
                (std::int64_t{component.height_in_blocks} + component.v_samp_factor - 1) /
                component.v_samp_factor * component.v_samp_factor;
            coefficients += across * down * DCTSIZE2 * std::int64_t(sizeof(JCOEF));
        }
    }
    // The grey image, the coefficients, and libjpeg's rows (a few per component).
    const std::int64_t working = width * 64 * std::max(1, info.num_components) + (1 << 20);
    const std::int64_t needed = width * height + coefficients + working;
    CheckMemory(width, height, needed);
    // libjpeg is held to it too: beyond it, it fails rather than allocates.
    info.mem->max_memory_to_use = long(std::min<std::int64_t>(
        coefficients + working + (std::int64_t{16} << 20), std::numeric_limits<long>::max()));

    cv::Mat grey = GreyImage(int(width), int(height));
    std::vector<JSAMPLE> cmykRow(cmyk ? size_t(width) * 4 : 0);
    if (!JpegReadRows(*job, grey.data, grey.step[0], cmyk ? cmykRow.data() : nullptr))
        JpegFailed(*job, width, height, needed);
    if (std::int64_t(info.output_width) != width || std::int64_t(info.output_height) != height)
        Unreadable();
    return grey;
}

// ---- PNG ----------------------------------------------------------------------------

struct PngReader {
    ByteSource* bytes;
    std::int64_t offset;
    bool memory; // a failed allocation
};

void PngRead(png_structp png, png_bytep data, png_size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    const std::int64_t got = reader->bytes->ReadAt(data, std::int64_t(length), reader->offset);
    if (got != std::int64_t(length))
        png_error(png, "the file ends or cannot be read");
    reader->offset += got;
}

void PngError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    if (reader && message && std::strstr(message, "memory"))
        reader->memory = true;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width;
    png_uint_32 height;
    int depth;
    int colourType;
    int interlace;
};

// Everything libpng works with.
struct PngJob {
    png_structp png;
    png_infop info;
    PngReader reader;
    PngHeader header;
    int passes;
};

bool PngStart(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    png_set_read_fn(job.png, &job.reader, PngRead);
    // The pixel limit is ours (with its message); the chunks beside the image are skipped
    // unread, so that none can ask for memory.
    png_set_user_limits(job.png, 0x7fffffffU, 0x7fffffffU);
    png_set_chunk_malloc_max(job.png, 8U << 20);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(job.png, job.info);
    png_get_IHDR(job.png, job.info, &job.header.width, &job.header.height, &job.header.depth,
                 &job.header.colourType, &job.header.interlace, nullptr, nullptr);
    return true;
}

// Grey of 8 or 16 bits (in the machine's byte order), without alpha; 16-bit colour stays
// colour when `colour` is asked for (its grey is then worked out row by row, faster than
// libpng's 16-bit conversion).
bool PngTransform(PngJob& job, bool colour) {
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    const int type = job.header.colourType;
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(job.png);
    if (type == PNG_COLOR_TYPE_GRAY && job.header.depth < 8)
        png_set_expand_gray_1_2_4_to_8(job.png);
    png_set_strip_alpha(job.png); // also the alpha a palette's transparency would give
    if ((type & PNG_COLOR_MASK_COLOR) && !colour) // the weights of OpenCV's PNG reader
        png_set_rgb_to_gray_fixed(job.png, 1, 29900, 58700);
    if (job.header.depth == 16)
        png_set_swap(job.png);
    job.passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    return true;
}

bool PngReadRows(PngJob& job, png_bytepp rows, png_uint_32 count) {
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    for (int pass = 0; pass < job.passes; ++pass)
        for (png_uint_32 y = 0; y < count; ++y)
            png_read_row(job.png, rows[y], nullptr);
    return true;
}

bool PngReadRow(PngJob& job, png_bytep row) {
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    png_read_row(job.png, row, nullptr);
    return true;
}

bool PngFinish(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    png_read_end(job.png, nullptr);
    return true;
}

// One reading of the file from its start: libpng's state, ended however the reading ends.
class PngReading {
public:
    explicit PngReading(ByteSource& bytes) {
        std::memset(&job_, 0, sizeof job_);
        job_.reader.bytes = &bytes;
        job_.png =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, &job_.reader, PngError, PngWarning);
        if (job_.png)
            job_.info = png_create_info_struct(job_.png);
    }
    ~PngReading() { png_destroy_read_struct(&job_.png, &job_.info, nullptr); }
    PngReading(const PngReading&) = delete;
    PngReading& operator=(const PngReading&) = delete;

    // The header (IHDR), the chunks before the image skipped.
    const PngHeader& Start() {
        if (!job_.png || !job_.info)
            Unreadable();
        if (!PngStart(job_))
            Fail();
        return job_.header;
    }

    // The rows as grey, 1 or 2 bytes a pixel; or as RGB of 16 bits when `colour` is asked
    // for and the image is in colour. Returns the channels of a row: 1 or 3.
    int Transform(bool colour) {
        const bool rgb =
            colour && job_.header.depth == 16 && (job_.header.colourType & PNG_COLOR_MASK_COLOR);
        if (!PngTransform(job_, rgb))
            Fail();
        const size_t bytes = png_get_rowbytes(job_.png, job_.info);
        const int channels = rgb ? 3 : 1;
        const size_t depth = job_.header.depth == 16 ? 2 : 1;
        if (png_get_channels(job_.png, job_.info) != channels ||
            bytes != size_t(job_.header.width) * depth * size_t(channels))
            Unreadable();
        return channels;
    }
    void ReadRows(std::vector<png_bytep>& rows) {
        if (!PngReadRows(job_, rows.data(), png_uint_32(rows.size())))
            Fail();
    }
    void ReadRow(png_bytep row) {
        if (!PngReadRow(job_, row))
            Fail();
    }
    void Finish() {
        if (!PngFinish(job_))
            Fail();
    }
    [[noreturn]] void Fail() const {
        if (job_.reader.memory)
            OutOfMemory(job_.header.width, job_.header.height, 0, AvailableMemory());
        Unreadable();
    }

private:
    PngJob job_;
};

// The size in the header (IHDR), read before libpng reads anything else.
void CheckPngHeader(ByteSource& bytes, Reading& reading) {
    uchar head[24] = {};
    if (bytes.ReadAt(head, sizeof head, 0) != std::int64_t(sizeof head) ||
        std::memcmp(head + 12, "IHDR", 4) != 0)
        Unreadable();
    const auto big = [&](int at) {
        return std::int64_t(head[at]) << 24 | std::int64_t(head[at + 1]) << 16 |
               std::int64_t(head[at + 2]) << 8 | std::int64_t(head[at + 3]);
    };
    CheckSize(big(16), big(20), reading);
}

cv::Mat DecodePng(ByteSource& bytes, Reading& reading) {
    CheckPngHeader(bytes, reading);
    std::optional<PngReading> decoder(std::in_place, bytes);
    const PngHeader header = decoder->Start();
    const std::int64_t width = header.width;
    const std::int64_t height = header.height;
    CheckSize(width, height, reading);
    const bool deep = header.depth == 16;
    const bool interlaced = header.interlace != PNG_INTERLACE_NONE;
    // libpng's rows: a few of the widest form (RGBA of 16 bits).
    const std::int64_t rows = width * 8 * 4 + (1 << 20);
    // An interlaced image is decoded whole: in 16-bit grey when it is deep.
    const std::int64_t needed = width * height * (deep && interlaced ? 3 : 1) + rows;
    CheckMemory(width, height, needed);
    const bool rowByRow = deep && !interlaced;
    const int channels = decoder->Transform(rowByRow);
    cv::Mat grey = GreyImage(int(width), int(height));
    if (!deep) {
        std::vector<png_bytep> pointers(static_cast<size_t>(height));
        for (std::int64_t y = 0; y < height; ++y)
            pointers[size_t(y)] = grey.ptr<png_byte>(int(y));
        decoder->ReadRows(pointers);
        decoder->Finish();
        return grey;
    }
    Stretch stretch;
    if (interlaced) {
        cv::Mat wide;
        try {
            wide.create(int(height), int(width), CV_16UC1);
        } catch (const std::exception&) {
            OutOfMemory(width, height, needed, AvailableMemory());
        }
        std::vector<png_bytep> pointers(static_cast<size_t>(height));
        for (std::int64_t y = 0; y < height; ++y)
            pointers[size_t(y)] = wide.ptr<png_byte>(int(y));
        decoder->ReadRows(pointers);
        decoder->Finish();
        for (int y = 0; y < wide.rows; ++y) {
            const auto* row = wide.ptr<std::uint16_t>(y);
            for (int x = 0; x < wide.cols; ++x)
                stretch.See(row[x]);
        }
        stretch.Finish();
        for (int y = 0; y < wide.rows; ++y) {
            const auto* row = wide.ptr<std::uint16_t>(y);
            uchar* out = grey.ptr<uchar>(y);
            for (int x = 0; x < wide.cols; ++x)
                out[x] = stretch.Grey(row[x]);
        }
        return grey;
    }
    // Row by row, twice: the darkest and lightest values first, then the pixels.
    std::vector<std::uint16_t> row(static_cast<size_t>(width * channels));
    std::vector<double> values(static_cast<size_t>(width));
    auto* data = reinterpret_cast<png_bytep>(row.data());
    const auto greyRow = [&] {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint16_t* p = row.data() + x * channels;
            values[size_t(x)] = channels == 3 ? GreyDeep(p[0], p[1], p[2]) : double(p[0]);
        }
    };
    for (std::int64_t y = 0; y < height; ++y) {
        decoder->ReadRow(data);
        greyRow();
        for (const double value : values)
            stretch.See(value);
    }
    decoder->Finish();
    stretch.Finish();
    decoder.reset();
    decoder.emplace(bytes);
    decoder->Start();
    if (decoder->Transform(true) != channels)
        Unreadable();
    for (std::int64_t y = 0; y < height; ++y) {
        decoder->ReadRow(data);
        greyRow();
        uchar* out = grey.ptr<uchar>(int(y));
        for (std::int64_t x = 0; x < width; ++x)
            out[x] = stretch.Grey(values[size_t(x)]);
    }
    decoder->Finish();
    return grey;
}

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
                out[x] = vrma::Grey8(in[0], in[plane], in[2 * plane]);
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

// A number from a line of /proc/meminfo ("MemAvailable:  123456 kB"), in bytes.
std::optional<std::int64_t> MemInfo(const char* key) {
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return std::nullopt;
    char line[256];
    std::optional<std::int64_t> value;
    const size_t length = std::strlen(key);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, key, length) == 0 && line[length] == ':') {
            long long kb = 0;
            if (std::sscanf(line + length + 1, "%lld", &kb) == 1)
                value = std::int64_t(kb) * 1024;
            break;
        }
    }
    std::fclose(file);
    return value;
}

// The process's virtual size and data, in bytes (/proc/self/statm).
bool ProcessSizes(std::int64_t& virtualSize, std::int64_t& data) {
    std::FILE* file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return false;
    long long pages[7] = {};
    const int got = std::fscanf(file, "%lld %lld %lld %lld %lld %lld", &pages[0], &pages[1],
                                &pages[2], &pages[3], &pages[4], &pages[5]);
    std::fclose(file);
    if (got != 6)
        return false;
    const std::int64_t page = sysconf(_SC_PAGESIZE);
    virtualSize = pages[0] * page;
    data = pages[5] * page;
    return true;
}

} // namespace

std::int64_t AvailableMemory() {
    std::int64_t available = std::numeric_limits<std::int64_t>::max();
    if (const std::optional<std::int64_t> free = MemInfo("MemAvailable"))
        available = *free;
    else if (const long pages = sysconf(_SC_AVPHYS_PAGES); pages > 0)
        available = std::int64_t(pages) * sysconf(_SC_PAGESIZE);
    std::int64_t virtualSize = 0;
    std::int64_t data = 0;
    const bool sizes = ProcessSizes(virtualSize, data);
    const auto within = [&](int resource, std::int64_t used) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            available = std::min(available, std::int64_t(limit.rlim_cur) - used);
    };
    within(RLIMIT_AS, sizes ? virtualSize : 0);
    within(RLIMIT_DATA, sizes ? data : 0);
    return std::max<std::int64_t>(available, 0);
}

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

} // namespace vrma
