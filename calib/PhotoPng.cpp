// A PNG photograph read with libpng, straight to grey.
#include "calib/PhotoDecoding.h"

#include <csetjmp>
#include <memory>
#include <vector>

#include <png.h>

namespace vrma::photo {

namespace {

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

} // namespace

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

} // namespace vrma::photo
