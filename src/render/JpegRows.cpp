#include "render/JpegRows.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h: the error codes and ERREXIT, as libjpeg's own source managers use them.
#include <jerror.h>

namespace {

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegError *>(cinfo->err)->jump, 1);
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
    int errorCode;    // libjpeg's msg_code of the error that ended the decode
};

// The plain-C frame: only C data lives here, so that libjpeg's longjmp skips no destructor.
bool DecodeC(DecodeJob *job)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.output_message = JpegQuiet;
    job->stopped = false;
    if (setjmp(err.jump)) {
        job->errorCode = err.pub.msg_code;
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
    DecodeJob job{input, &target, nullptr, false, 0};
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
    throw EInvalidGraphic(JpegErrorMessage(input.Name, JpegFaultOf(job.errorCode)));
}

JpegFault JpegFaultOf(int libjpegMessageCode)
{
    switch (libjpegMessageCode) {
    case JERR_NO_SOI:
        return JpegFault::NotJpeg;
    case JERR_INPUT_EMPTY:
        return JpegFault::Empty;
    // A file cut off in its header: the end marker put in its place comes before the picture.
    case JERR_INPUT_EOF:
    case JERR_NO_IMAGE:
    case JERR_SOF_NO_SOS:
        return JpegFault::Truncated;
    case JERR_FILE_READ:
        return JpegFault::ReadError;
    case JERR_ARITH_NOTIMPL:
    case JERR_BAD_PRECISION:
    case JERR_CCIR601_NOTIMPL:
    case JERR_COMPONENT_COUNT:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_EMPTY_IMAGE:
    case JERR_FRACT_SAMPLE_NOTIMPL:
    case JERR_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_SOF_UNSUPPORTED:
        return JpegFault::Unsupported;
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        return JpegFault::TooLarge;
    case JERR_OUT_OF_MEMORY:
        return JpegFault::OutOfMemory;
    default:
        return JpegFault::Corrupt;
    }
}

std::string JpegErrorMessage(const char *utf8Name, JpegFault fault)
{
    const char *reason = "JPEG のデータが壊れています";
    switch (fault) {
    case JpegFault::NotJpeg:
        reason = "JPEG ファイルではありません（中身が別の形式です）";
        break;
    case JpegFault::Empty:
        reason = "ファイルが空です";
        break;
    case JpegFault::Truncated:
        reason = "ファイルが途中で切れています";
        break;
    case JpegFault::ReadError:
        reason = "ファイルの読み込み中にエラーが起きました";
        break;
    case JpegFault::Unsupported:
        reason = "対応していない種類の JPEG です（ロスレス、12 ビットなど）";
        break;
    case JpegFault::TooLarge:
        reason = "画像が大きすぎます（JPEG は幅・高さとも 65500 ピクセルまで）";
        break;
    case JpegFault::OutOfMemory:
        reason = "画像が大きすぎてメモリが足りません";
        break;
    case JpegFault::Corrupt:
        break;
    }
    if (utf8Name == nullptr || *utf8Name == '\0')
        return FormatMessage("JPEG 画像を読み込めません: %s", {reason});
    return FormatMessage("画像 %s を読み込めません: %s", {utf8Name, reason});
}

JpegScale JpegScaleFor(int64_t width, int64_t height, int64_t targetWidth, int64_t targetHeight, JpegScaleGoal goal)
{
    JpegScale scale;
    for (scale.numerator = 1; scale.numerator < 8; ++scale.numerator)
        if (JpegScaledSize(width, scale.numerator) >= targetWidth &&
            JpegScaledSize(height, scale.numerator) >= targetHeight)
            break;
    const int64_t scaledWidth = JpegScaledSize(width, scale.numerator);
    const int64_t scaledHeight = JpegScaledSize(height, scale.numerator);
    scale.enlarges = scaledWidth < targetWidth || scaledHeight < targetHeight;
    scale.shrinks = !scale.enlarges && (scaledWidth > targetWidth || scaledHeight > targetHeight);
    if (!scale.shrinks)
        return scale;
    if (goal == JpegScaleGoal::Fastest && scale.numerator >= 5)
        scale.numerator = 8;
    scale.fancyUpsampling = goal == JpegScaleGoal::Fastest && scale.numerator == 8;
    return scale;
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
