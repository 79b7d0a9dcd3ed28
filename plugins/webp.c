/* WebP decoder plug-in on libwebp: still pictures as 24-bit results, any transparency composited
 * on black. Decoding runs incrementally, so that progress is reported and honoured and rows are
 * handed over as they are done; an opaque picture is decoded straight into the bitmap result, and
 * one that the host will shrink is decoded at that size by libwebp's own scaling. */
#include "common/spicommon.h"

#include <stdlib.h>
#include <string.h>
#include <webp/decode.h>

static const char *const kTexts[] = {"00IN", "Tapisto WebP decoder (libwebp)", "*.webp", "WebP " SPI_TEXT_IMAGE_FILE,
                                     NULL};

enum { kChunk = 64 * 1024, kMaxHead = 1024 * 1024 };

static int is_webp(const uint8_t *data, size_t size)
{
    return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

/* The input and its features. A file's first bytes, read to learn the features, are kept to be
 * decoded first. */
typedef struct {
    spi_source src;
    uint8_t *head;
    size_t headSize;
    WebPBitstreamFeatures features;
} webp_input;

static void close_input(webp_input *in)
{
    free(in->head);
    spi_source_close(&in->src);
}

/* Opens the input and reads its features; SPI_NOT_SUPPORT when it is no WebP picture of a size we decode. */
static int32_t open_input(webp_input *in, const char *buf, intptr_t len, uint32_t flag)
{
    memset(in, 0, sizeof *in);
    int32_t rc = spi_source_open(&in->src, buf, len, flag);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    VP8StatusCode status = VP8_STATUS_NOT_ENOUGH_DATA;
    if (in->src.file == NULL) {
        if (is_webp(in->src.data, (size_t)in->src.size))
            status = WebPGetFeatures(in->src.data, (size_t)in->src.size, &in->features);
    } else {
        /* The features lie in the first chunks; read more only while libwebp asks for it. */
        size_t want = 4096;
        while (status == VP8_STATUS_NOT_ENOUGH_DATA && in->headSize < in->src.size && in->headSize < kMaxHead) {
            uint8_t *grown = realloc(in->head, want);
            if (grown == NULL)
                return SPI_NO_MEMORY;
            in->head = grown;
            in->headSize += spi_source_read(&in->src, in->head + in->headSize, want - in->headSize);
            if (!is_webp(in->head, in->headSize))
                break;
            status = WebPGetFeatures(in->head, in->headSize, &in->features);
            want *= 4;
        }
    }
    if (status != VP8_STATUS_OK || !spi_size_ok(in->features.width, in->features.height))
        return SPI_NOT_SUPPORT;
    return SPI_ALL_RIGHT;
}

/* Gives the decoder its next piece of input; returns the decoder's status, or VP8_STATUS_NOT_ENOUGH_DATA
 * when the input is exhausted. */
static VP8StatusCode feed(webp_input *in, WebPIDecoder *dec, size_t *fed, uint8_t *chunk)
{
    if (in->src.file == NULL) {
        if (*fed >= in->src.size)
            return VP8_STATUS_NOT_ENOUGH_DATA;
        *fed = in->src.size - *fed > kChunk ? *fed + kChunk : (size_t)in->src.size;
        return WebPIUpdate(dec, in->src.data, *fed);
    }
    if (*fed == 0 && in->headSize > 0) {
        *fed = in->headSize;
        return WebPIAppend(dec, in->head, in->headSize);
    }
    const size_t n = spi_source_read(&in->src, chunk, kChunk);
    if (n == 0)
        return VP8_STATUS_NOT_ENOUGH_DATA;
    *fed += n;
    return WebPIAppend(dec, chunk, n);
}

/* Hands over rows [from, to) of a picture decoded into `pixels`. Returns non-zero to stop. */
static int put_rows(spi_out *out, const uint8_t *pixels, size_t stride, int alpha, int32_t from, int32_t to)
{
    if (from >= to)
        return 0;
    if (!alpha)
        return spi_out_rows(out, from, to - from, pixels + (size_t)from * stride, (intptr_t)stride);
    for (int32_t y = from; y < to; ++y) {
        uint8_t *bgr = spi_out_row(out, y);
        spi_bgra_on_black(bgr, pixels + (size_t)y * stride, out->width);
        if (spi_out_rows(out, y, 1, bgr, 0))
            return 1;
    }
    return 0;
}

static int32_t decode(webp_input *in, spi_out *out, int32_t wantWidth, int32_t wantHeight, SPI_PROGRESS progress,
                      intptr_t user)
{
    if (in->features.has_animation)
        return SPI_NOT_SUPPORT;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return SPI_OTHER_ERROR;
    int32_t width = in->features.width, height = in->features.height;
    if (wantWidth > 0 && wantHeight > 0 && wantWidth <= width && wantHeight <= height &&
        (wantWidth < width || wantHeight < height)) {
        config.options.use_scaling = 1;
        config.options.scaled_width = width = wantWidth;
        config.options.scaled_height = height = wantHeight;
    }
    int32_t rc = spi_out_begin(out, width, height);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    const int alpha = in->features.has_alpha;
    uint8_t *pixels = NULL;
    size_t stride;
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    if (!alpha && out->rows == NULL) {
        /* Straight into the bitmap result, whose rows are stored bottom first. */
        stride = out->dib.stride;
        config.output.u.RGBA.rgba = out->dib.pixels;
        config.options.flip = 1;
    } else {
        stride = (size_t)width * (alpha ? 4 : 3);
        pixels = malloc(stride * (size_t)height);
        if (pixels == NULL)
            return SPI_NO_MEMORY;
        config.output.u.RGBA.rgba = pixels;
    }
    config.output.u.RGBA.stride = (int)stride;
    config.output.u.RGBA.size = stride * (size_t)height;
    uint8_t *chunk = in->src.file != NULL ? malloc(kChunk) : NULL;
    WebPIDecoder *dec = in->src.file == NULL || chunk != NULL ? WebPIDecode(NULL, 0, &config) : NULL;
    if (dec == NULL) {
        free(chunk);
        free(pixels);
        return SPI_NO_MEMORY;
    }
    size_t fed = 0;
    int32_t sent = 0;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    while (status == VP8_STATUS_SUSPENDED) {
        status = feed(in, dec, &fed, chunk);
        int lastY = 0;
        WebPIDecGetRGB(dec, &lastY, NULL, NULL, NULL);
        if (lastY > height || lastY < sent)
            lastY = sent;
        if (pixels != NULL && (status == VP8_STATUS_OK || status == VP8_STATUS_SUSPENDED) &&
            put_rows(out, pixels, stride, alpha, sent, lastY)) {
            rc = SPI_ABORT;
            break;
        }
        sent = lastY;
        if (spi_progress(progress, lastY, height, user)) {
            rc = SPI_ABORT;
            break;
        }
    }
    if (rc == SPI_ALL_RIGHT && (status != VP8_STATUS_OK || sent != height))
        rc = SPI_OUT_OF_ORDER;
    WebPIDelete(dec);
    free(chunk);
    free(pixels);
    return rc;
}

SPI_INFO_EXPORTS(kTexts, is_webp, 12)

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    webp_input in;
    int32_t rc = spi_opened_for(open_input(&in, buf, len, flag), info != NULL);
    if (rc == SPI_ALL_RIGHT)
        spi_fill_info(info, in.features.width, in.features.height, in.features.has_alpha ? 32 : 24);
    close_input(&in);
    return rc;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    webp_input in;
    int32_t rc = spi_opened_for(open_input(&in, buf, len, flag), bitmapInfo != NULL && bits != NULL);
    spi_out out;
    spi_out_to_dib(&out);
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    if (rc == SPI_ALL_RIGHT)
        rc = decode(&in, &out, 0, 0, progress, user);
    if (rc == SPI_ALL_RIGHT)
        spi_out_finish(&out, bitmapInfo, bits);
    spi_out_end(&out);
    close_input(&in);
    return rc;
}

SPI_EXPORT int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                                  SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user)
{
    webp_input in;
    int32_t rc = spi_opened_for(open_input(&in, buf, len, flag), rows != NULL);
    spi_out out;
    spi_out_to_host(&out, rows, user);
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    if (rc == SPI_ALL_RIGHT)
        rc = decode(&in, &out, wantWidth, wantHeight, progress, user);
    spi_out_end(&out);
    close_input(&in);
    return rc;
}
