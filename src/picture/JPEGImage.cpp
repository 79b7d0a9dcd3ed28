#include "picture/JPEGImage.h"

#include "picture/ShrinkWorker.h"
#include "platform/Exceptions.h"

#include <QBuffer>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <jpeglib.h>

// libjpeg reports fatal errors through error_exit, which must not return. It longjmps back into the
// plain-C frames below, which hold no objects with destructors; the C++ callers then raise.

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

void InitError(jpeg_decompress_struct &cinfo, JpegError &err)
{
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.output_message = JpegQuiet;
    err.message[0] = '\0';
}

struct HeaderJob {
    const unsigned char *data;
    unsigned long size;
    unsigned width;
    unsigned height;
    char message[JMSG_LENGTH_MAX];
};

bool ReadHeaderC(HeaderJob *job)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    InitError(cinfo, err);
    if (setjmp(err.jump)) {
        std::memcpy(job->message, err.message, sizeof job->message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job->data, job->size);
    jpeg_read_header(&cinfo, TRUE);
    job->width = cinfo.image_width;
    job->height = cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Where decoded rows go. `begin` is called once the scaled size is known and returns the buffer with its
// row stride and how many rows it holds (nullptr refuses): all of them, or a batch that `rows` takes
// away after each read. Neither may throw: they run inside the plain-C frame.
struct RowTarget {
    unsigned char *(*begin)(void *context, unsigned width, unsigned height, size_t *stride, unsigned *capacity);
    // Takes the filled batch and returns the buffer for the next one.
    unsigned char *(*rows)(void *context, unsigned char *filled, unsigned count);
    void *context;
};

struct DecodeJob {
    const unsigned char *data;
    unsigned long size;
    unsigned scaleNumerator;
    bool fancyUpsampling;
    bool cmyk; // set from the header before `begin` is called
    RowTarget target;
    bool adobeInverted;
    char message[JMSG_LENGTH_MAX];
};

bool DecodeC(DecodeJob *job)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    InitError(cinfo, err);
    if (setjmp(err.jump)) {
        std::memcpy(job->message, err.message, sizeof job->message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job->data, job->size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = job->scaleNumerator;
    cinfo.scale_denom = 8;
    // When the picture is shrunk further anyway, the merged colour conversion (plain chroma upsampling)
    // is faster and its difference disappears in the resampling.
    cinfo.do_fancy_upsampling = job->fancyUpsampling ? TRUE : FALSE;
    job->cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    job->adobeInverted = cinfo.saw_Adobe_marker;
    // BGRX is QImage's RGB32 layout on little-endian machines, so rows are decoded in place.
    cinfo.out_color_space = job->cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&cinfo);
    size_t stride = 0;
    unsigned capacity = 0;
    unsigned char *pixels =
        job->target.begin(job->target.context, cinfo.output_width, cinfo.output_height, &stride, &capacity);
    if (pixels == nullptr) {
        job->message[0] = '\0';
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const bool batches = capacity < cinfo.output_height;
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        const unsigned count = std::min({16u, cinfo.output_height - cinfo.output_scanline, batches ? capacity : 16u});
        for (unsigned i = 0; i < count; ++i)
            rows[i] = pixels + stride * (batches ? i : cinfo.output_scanline + i);
        const unsigned got = jpeg_read_scanlines(&cinfo, rows, count);
        if (batches)
            pixels = job->target.rows(job->target.context, pixels, got);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct AllocateContext {
    QImage image;
    std::string error; // set when the allocation was refused
    bool outOfMemory = false;
};

unsigned char *AllocateImage(void *context, unsigned width, unsigned height, size_t *stride, unsigned *capacity)
{
    *capacity = height;
    auto *ctx = static_cast<AllocateContext *>(context);
    try {
        CheckPixelMemory(width, height, 4);
        ctx->image = QImage(int(width), int(height), QImage::Format_RGB32);
        if (ctx->image.isNull())
            throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                             {std::to_string(width), std::to_string(height)}));
    } catch (const EOutOfMemory &e) {
        ctx->error = e.Message();
        ctx->outOfMemory = true;
        return nullptr;
    } catch (const std::exception &e) {
        ctx->error = e.what();
        return nullptr;
    }
    *stride = size_t(ctx->image.bytesPerLine());
    return ctx->image.bits();
}

// CMYK rows arrive as four bytes per pixel in the RGB32 buffer; convert them in place.
void CmykRowToRgb(uint32_t *p, int width, bool inverted)
{
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(p);
        for (int x = 0; x < width; ++x) {
            unsigned c = bytes[4 * x], m = bytes[4 * x + 1], yy = bytes[4 * x + 2], k = bytes[4 * x + 3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yy = 255 - yy;
                k = 255 - k;
            }
            p[x] = qRgb(int(c * k / 255), int(m * k / 255), int(yy * k / 255));
        }
    }
}

void CmykToRgb(QImage &image, bool inverted)
{
    for (int y = 0; y < image.height(); ++y)
        CmykRowToRgb(reinterpret_cast<uint32_t *>(image.scanLine(y)), image.width(), inverted);
}

struct StreamContext {
    QImage *output;
    const DecodeJob *job; // its colour space is known before the first row
    std::optional<ShrinkWorker> worker;
    std::string error;
};

unsigned char *BeginStream(void *context, unsigned width, unsigned height, size_t *stride, unsigned *capacity)
{
    auto *ctx = static_cast<StreamContext *>(context);
    if (width < unsigned(ctx->output->width()) || height < unsigned(ctx->output->height())) {
        ctx->error = "scaled picture smaller than its output";
        return nullptr;
    }
    try {
        const DecodeJob *job = ctx->job;
        ctx->worker.emplace(width, height, *ctx->output, [job, width](uint32_t *row) {
            if (job->cmyk)
                CmykRowToRgb(row, int(width), job->adobeInverted);
        });
        *stride = size_t(width) * 4;
        *capacity = ShrinkWorker::kBatchRows;
        return ctx->worker->NextFree();
    } catch (const std::exception &e) {
        ctx->error = e.what();
        return nullptr;
    }
}

unsigned char *StreamRows(void *context, unsigned char *filled, unsigned count)
{
    auto *ctx = static_cast<StreamContext *>(context);
    ctx->worker->Submit(filled, count);
    return ctx->worker->NextFree();
}

[[noreturn]] void ThrowJpegError(const char *message)
{
    throw EInvalidGraphic(FormatMessage("JPEG エラー: %s", {message}));
}

} // namespace

const TGraphicClass &TJPEGImage::ClassInfo()
{
    return GraphicClassOf<TJPEGImage, TGraphic>("TJPEGImage");
}

void TJPEGImage::LoadFromStream(QIODevice &stream)
{
    QByteArray data;
    if (auto *buffer = qobject_cast<QBuffer *>(&stream); buffer != nullptr && buffer->pos() == 0)
        data = buffer->data(); // shares the memory stream's bytes
    else
        data = stream.readAll();
    HeaderJob job{
        reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()), 0, 0, {}};
    if (!ReadHeaderC(&job))
        ThrowJpegError(job.message);
    if (job.width > INT32_MAX || job.height > INT32_MAX)
        ThrowJpegError("image too large");
    data_ = std::move(data);
    width_ = int(job.width);
    height_ = int(job.height);
}

int TJPEGImage::ChooseScale(int width, int height, const QSize &target)
{
    for (int n = 1; n < 8; ++n) {
        // libjpeg rounds scaled sizes up.
        const int64_t w = (int64_t(width) * n + 7) / 8;
        const int64_t h = (int64_t(height) * n + 7) / 8;
        if (w >= target.width() && h >= target.height())
            return n;
    }
    return 8;
}

QImage TJPEGImage::Decode(int scaleNumerator, bool fancyUpsampling) const
{
    if (data_.isEmpty())
        return QImage();
    AllocateContext ctx;
    DecodeJob job{reinterpret_cast<const unsigned char *>(data_.constData()),
                  static_cast<unsigned long>(data_.size()),
                  static_cast<unsigned>(std::clamp(scaleNumerator, 1, 8)),
                  fancyUpsampling,
                  false,
                  {&AllocateImage, nullptr, &ctx},
                  false,
                  {}};
    if (!DecodeC(&job)) {
        if (ctx.outOfMemory)
            throw EOutOfMemory(ctx.error);
        if (!ctx.error.empty())
            throw EInvalidGraphic(ctx.error);
        ThrowJpegError(job.message);
    }
    if (job.cmyk)
        CmykToRgb(ctx.image, job.adobeInverted);
    return std::move(ctx.image);
}

QImage TJPEGImage::StretchedImage(const QSize &size) const
{
    CheckPixelMemory(size.width(), size.height(), 4);
    if (size.isEmpty() || data_.isEmpty())
        return QImage();
    const int scale = ChooseScale(width_, height_, size);
    const int64_t scaledWidth = (int64_t(width_) * scale + 7) / 8;
    const int64_t scaledHeight = (int64_t(height_) * scale + 7) / 8;
    if (scaledWidth >= size.width() && scaledHeight >= size.height() &&
        (scaledWidth > size.width() || scaledHeight > size.height()))
        return DecodeShrunk(scale, size);
    QImage decoded = Decode(scale);
    return StretchImage(decoded, size);
}

QImage TJPEGImage::DecodeShrunk(int scaleNumerator, const QSize &size) const
{
    // BMP's own row layout: the bitmap writer copies these rows as they are.
    QImage output(size, QImage::Format_BGR888);
    if (output.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    StreamContext ctx{&output, nullptr, std::nullopt, {}};
    // Replicated chroma is faster, and the difference disappears in the averaging.
    DecodeJob job{reinterpret_cast<const unsigned char *>(data_.constData()),
                  static_cast<unsigned long>(data_.size()),
                  static_cast<unsigned>(scaleNumerator),
                  false,
                  false,
                  {&BeginStream, &StreamRows, &ctx},
                  false,
                  {}};
    ctx.job = &job;
    const bool ok = DecodeC(&job);
    if (ctx.worker)
        ctx.worker->Finish();
    if (!ok) {
        if (!ctx.error.empty())
            throw EInvalidGraphic(ctx.error);
        ThrowJpegError(job.message);
    }
    return output;
}
