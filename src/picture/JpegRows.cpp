#include "picture/JpegRows.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h: the error codes and ERREXIT, as libjpeg's own source managers use them.
#include <jerror.h>

namespace {

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (a truncated file, for one) are not errors: libjpeg fills in what is missing.
void JpegQuiet(j_common_ptr) {}

// A file read in pieces of 64 KiB, with libjpeg's own behaviour at the end of the data: an empty file
// is an error, a truncated one gets an end marker and a warning.
constexpr size_t kFileBuffer = 64 * 1024;

struct FileSource {
    jpeg_source_mgr pub;
    int fd;
    unsigned char *buffer;
    bool started;
};

void InitFileSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<FileSource *>(cinfo->src)->started = false;
}

boolean FillFileBuffer(j_decompress_ptr cinfo)
{
    auto *src = reinterpret_cast<FileSource *>(cinfo->src);
    ssize_t n = 0;
    do
        n = ::read(src->fd, src->buffer, kFileBuffer);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        ERREXIT(cinfo, JERR_FILE_READ);
    if (n == 0) {
        if (!src->started)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = size_t(n);
    src->started = true;
    return TRUE;
}

void SkipFileData(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr *src = cinfo->src;
    if (count <= 0)
        return;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        (*src->fill_input_buffer)(cinfo);
    }
    src->next_input_byte += size_t(count);
    src->bytes_in_buffer -= size_t(count);
}

void TermFileSource(j_decompress_ptr) {}

struct DecodeJob {
    JpegInput input;
    JpegRowTarget *target;
    FileSource *file; // the source manager when reading a file
    bool stopped;     // by the target
    char message[JMSG_LENGTH_MAX];
};

// The plain-C frame: only C data lives here, so that libjpeg's longjmp skips no destructor.
bool DecodeC(DecodeJob *job)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.output_message = JpegQuiet;
    err.message[0] = '\0';
    job->stopped = false;
    if (setjmp(err.jump)) {
        std::memcpy(job->message, err.message, sizeof job->message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (job->file == nullptr) {
        jpeg_mem_src(&cinfo, job->input.Data, static_cast<unsigned long>(job->input.Size));
    } else {
        job->file->pub.init_source = InitFileSource;
        job->file->pub.fill_input_buffer = FillFileBuffer;
        job->file->pub.skip_input_data = SkipFileData;
        job->file->pub.resync_to_restart = jpeg_resync_to_restart;
        job->file->pub.term_source = TermFileSource;
        job->file->pub.bytes_in_buffer = 0;
        job->file->pub.next_input_byte = nullptr;
        cinfo.src = &job->file->pub;
    }
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    JpegDecodeSettings settings;
    if (!job->target->Configure(cinfo.image_width, cinfo.image_height, cmyk, settings)) {
        job->stopped = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = std::clamp(settings.ScaleNumerator, 1u, 8u);
    cinfo.scale_denom = 8;
    cinfo.do_fancy_upsampling = settings.FancyUpsampling ? TRUE : FALSE;
    // BGRX is 0xffRRGGBB words on little-endian machines, so rows are decoded in place.
    cinfo.out_color_space = cmyk ? JCS_CMYK : settings.Format == RowFormat::Bgr24 ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&cinfo);
    size_t stride = 0;
    unsigned capacity = 0;
    unsigned char *pixels =
        job->target->Begin(cinfo.output_width, cinfo.output_height, cinfo.saw_Adobe_marker, stride, capacity);
    if (pixels == nullptr) {
        job->stopped = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    // A batch is handed on once it is full (or the picture ends).
    JSAMPROW rows[16];
    unsigned filled = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        const unsigned count = std::min({16u, cinfo.output_height - cinfo.output_scanline, capacity - filled});
        for (unsigned i = 0; i < count; ++i)
            rows[i] = pixels + stride * (filled + i);
        filled += jpeg_read_scanlines(&cinfo, rows, count);
        if (filled < capacity && cinfo.output_scanline < cinfo.output_height)
            continue;
        pixels = job->target->Rows(pixels, filled);
        filled = 0;
        if (pixels == nullptr) {
            job->stopped = true;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

bool DecodeJpeg(const JpegInput &input, JpegRowTarget &target)
{
    std::vector<unsigned char> buffer;
    FileSource file{};
    DecodeJob job{input, &target, nullptr, false, {}};
    if (input.Data == nullptr) {
        buffer.resize(kFileBuffer);
        file.fd = input.Fd;
        file.buffer = buffer.data();
        job.file = &file;
    }
    if (DecodeC(&job))
        return true;
    if (job.stopped)
        return false;
    throw EInvalidGraphic(FormatMessage("JPEG エラー: %s", {job.message}));
}

int ChooseJpegScale(int64_t width, int64_t height, int64_t targetWidth, int64_t targetHeight)
{
    for (int n = 1; n < 8; ++n)
        if (JpegScaledSize(width, n) >= targetWidth && JpegScaledSize(height, n) >= targetHeight)
            return n;
    return 8;
}

int JpegShrinkScale(int64_t width, int64_t height, int64_t targetWidth, int64_t targetHeight)
{
    const int closest = ChooseJpegScale(width, height, targetWidth, targetHeight);
    return closest >= 5 ? 8 : closest;
}

void CmykRowToXrgb(unsigned char *row, unsigned width, bool adobeInverted)
{
    auto *out = reinterpret_cast<uint32_t *>(row);
    for (unsigned x = 0; x < width; ++x) {
        const unsigned char *p = row + 4 * size_t(x);
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!adobeInverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
    }
}
