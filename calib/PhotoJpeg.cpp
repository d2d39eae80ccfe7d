// JPEG, read with libjpeg: a photograph straight to grey, within the limits of the
// photograph's reading; and a picture in colour (the calibration window's splash picture).
#include "calib/PhotoDecoding.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

// libjpeg needs size_t and FILE declared first.
#include <jpeglib.h>

#include <jerror.h>

namespace vrma::photo {

namespace {

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

// A picture's warnings pass: one cut short shows as far as it goes.
void JpegPassMessage(j_common_ptr, int) {}

// A picture's rows in colour (R, G, B); false on libjpeg's failure.
bool JpegReadColourRows(JpegJob& job, cv::Mat& picture) {
    if (setjmp(job.errors.jump))
        return false;
    jpeg_start_decompress(&job.info);
    if (job.info.output_components != 3)
        return false;
    while (job.info.output_scanline < job.info.output_height) {
        JSAMPROW row = picture.ptr<uchar>(int(job.info.output_scanline));
        if (jpeg_read_scanlines(&job.info, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(&job.info);
    return true;
}

} // namespace

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

cv::Mat DecodeJpegColour(ByteSource& bytes, Reading& reading) {
    std::vector<JOCTET> buffer(std::size_t{1} << 16);
    auto job = std::make_unique<JpegJob>();
    JpegPrepare(*job, bytes, buffer.data(), buffer.size());
    job->errors.manager.emit_message = JpegPassMessage;
    const JpegCleanup cleanup(*job);
    if (!JpegReadHeader(*job))
        return {};
    jpeg_decompress_struct& info = job->info;
    const std::int64_t width = info.image_width;
    const std::int64_t height = info.image_height;
    CheckSize(width, height, reading);
    CheckMemory(width, height, 3 * width * height + width * 64 * 4 + (1 << 20));
    info.out_color_space = JCS_RGB;
    cv::Mat picture(int(height), int(width), CV_8UC3);
    if (!JpegReadColourRows(*job, picture) || std::int64_t(info.output_width) != width ||
        std::int64_t(info.output_height) != height)
        return {};
    return picture;
}

} // namespace vrma::photo
