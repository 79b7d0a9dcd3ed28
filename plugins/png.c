/* PNG decoder plug-in on libpng: every PNG flavour becomes a 24-bit picture, with any
 * transparency composited on black. Rows go straight from libpng into the result (or to the host)
 * as they are decoded; only interlaced pictures, whose rows are complete after the last pass, are
 * held whole. The pictures most files are (8-bit RGB or RGBA, not interlaced) have their image data
 * read by pngidat.c once libpng has read everything before it. */
#include "pngidat.h"

#include "common/spicommon.h"

#include <png.h>
#include <stdlib.h>
#include <string.h>

static const char *const kTexts[] = {"00IN", "Tapisto PNG decoder (libpng " PNG_LIBPNG_VER_STRING ")", "*.png",
                                     "PNG " SPI_TEXT_IMAGE_FILE, NULL};

/* Everything a decode holds, on the heap so that the state survives libpng's longjmp intact. */
typedef struct {
    spi_source src;
    png_structp png;
    png_infop info;
    uint8_t *pixels; /* one row of blue, green, red, alpha, or the whole picture of an interlaced file */
    spi_out out;
    int32_t result;
    uint8_t chunkHeader[8]; /* the last chunk header libpng read: length and type */
} decode_state;

static void read_bytes(png_structp png, png_bytep out, size_t n)
{
    decode_state *st = png_get_io_ptr(png);
    if (spi_source_read(&st->src, out, n) != n)
        png_error(png, "truncated");
    /* libpng reads every chunk's length and type in one piece of 8 bytes. */
    if (n == 8)
        memcpy(st->chunkHeader, out, 8);
}

static void on_error(png_structp png, png_const_charp message)
{
    (void)message;
    png_longjmp(png, 1);
}

static void on_warning(png_structp png, png_const_charp message)
{
    (void)png;
    (void)message;
}

static int is_png(const uint8_t *data, size_t size)
{
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

/* Opens the input and reads the signature. Without a place for the result (`has_result` 0) a decode
 * that could start ends with SPI_OTHER_ERROR instead. */
static decode_state *begin(const char *buf, intptr_t len, uint32_t flag, int has_result)
{
    decode_state *st = calloc(1, sizeof *st);
    if (st == NULL)
        return NULL;
    spi_out_to_dib(&st->out);
    st->result = spi_source_open(&st->src, buf, len, flag);
    if (st->result != SPI_ALL_RIGHT)
        return st;
    uint8_t signature[8];
    st->result = SPI_NOT_SUPPORT;
    if (spi_source_read(&st->src, signature, 8) != 8 || !is_png(signature, 8))
        return st;
    st->result = SPI_NO_MEMORY;
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, on_error, on_warning);
    if (st->png == NULL)
        return st;
    st->info = png_create_info_struct(st->png);
    if (st->info == NULL)
        return st;
    png_set_read_fn(st->png, st, read_bytes);
    png_set_sig_bytes(st->png, 8);
    st->result = has_result ? SPI_ALL_RIGHT : SPI_OTHER_ERROR;
    return st;
}

static int32_t end(decode_state *st)
{
    if (st == NULL)
        return SPI_NO_MEMORY;
    int32_t result = st->result;
    if (st->png != NULL)
        png_destroy_read_struct(&st->png, st->info ? &st->info : NULL, NULL);
    spi_out_end(&st->out);
    free(st->pixels);
    spi_source_close(&st->src);
    free(st);
    return result;
}

SPI_INFO_EXPORTS(kTexts, is_png, 8)

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    decode_state *st = begin(buf, len, flag, info != NULL);
    if (st == NULL || st->result != SPI_ALL_RIGHT)
        return end(st);
    if (setjmp(png_jmpbuf(st->png))) {
        st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    png_read_info(st->png, st->info);
    png_uint_32 w = png_get_image_width(st->png, st->info), h = png_get_image_height(st->png, st->info);
    if (!spi_info_size_ok(w, h)) {
        st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    spi_fill_info(info, (int32_t)w, (int32_t)h,
                  (int16_t)(png_get_bit_depth(st->png, st->info) * png_get_channels(st->png, st->info)));
    png_uint_32 xres = 0, yres = 0;
    int unit = 0;
    if (png_get_pHYs(st->png, st->info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) {
        info->x_density = (uint16_t)(xres * 254 / 10000 > 0xffff ? 0 : xres * 254 / 10000);
        info->y_density = (uint16_t)(yres * 254 / 10000 > 0xffff ? 0 : yres * 254 / 10000);
    }
    return end(st);
}

/* Hands over row `y` of `row` (blue, green, red with `channels` 3, plus alpha with 4). */
static int put_row(decode_state *st, int32_t y, uint8_t *row, int channels)
{
    uint8_t *bgr = row;
    if (channels == 4) {
        bgr = spi_out_row(&st->out, y);
        spi_bgra_on_black(bgr, row, st->out.width);
    }
    return spi_out_rows(&st->out, y, 1, bgr, 0);
}

/* Whether pngidat.c reads the image data: an 8-bit RGB picture without a transparent colour or an
 * 8-bit RGBA one (the transformations below leave both as they are, but for the order of the
 * colours), and libpng stopped right after the first image data chunk's header, as it does. Sets
 * that chunk's length. */
static int direct_idat_applies(decode_state *st, png_uint_32 *idatLength)
{
    const int colour = png_get_color_type(st->png, st->info);
    if (png_get_bit_depth(st->png, st->info) != 8 ||
        !((colour == PNG_COLOR_TYPE_RGB && !png_get_valid(st->png, st->info, PNG_INFO_tRNS)) ||
          colour == PNG_COLOR_TYPE_RGB_ALPHA))
        return 0;
    static const png_byte kIdat[4] = {'I', 'D', 'A', 'T'};
    if (png_get_io_chunk_type(st->png) != png_get_uint_32(kIdat) || memcmp(st->chunkHeader + 4, kIdat, 4) != 0)
        return 0;
    *idatLength = png_get_uint_32(st->chunkHeader);
    return *idatLength <= PNG_UINT_31_MAX;
}

/* Decodes into st->out; runs inside the caller's setjmp. */
static int32_t decode(decode_state *st, SPI_PROGRESS progress, intptr_t user)
{
    png_read_info(st->png, st->info);
    png_uint_32 w = png_get_image_width(st->png, st->info), h = png_get_image_height(st->png, st->info);
    if (!spi_size_ok(w, h) || (uint64_t)w * h > ((uint64_t)1 << 29))
        return SPI_OUT_OF_ORDER;
    /* Asked before the transformations below change what libpng tells of the picture. */
    png_uint_32 idatLength = 0;
    const int readIdat = direct_idat_applies(st, &idatLength);
    /* Whatever the file holds, read blue, green, red at 8 bits each, and alpha when it has any. */
    png_set_expand(st->png);
    png_set_scale_16(st->png);
    png_set_gray_to_rgb(st->png);
    png_set_bgr(st->png);
    int passes = png_set_interlace_handling(st->png);
    png_read_update_info(st->png, st->info);
    const int channels = png_get_channels(st->png, st->info);
    if ((channels != 3 && channels != 4) || png_get_rowbytes(st->png, st->info) != (size_t)w * channels)
        return SPI_OUT_OF_ORDER;
    int32_t rc = spi_out_begin(&st->out, (int32_t)w, (int32_t)h);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    if (readIdat && passes == 1)
        return read_idat_rows(&st->src, idatLength, channels, &st->out, progress, user);
    /* Opaque rows land in the result's own rows; an interlaced picture's rows in the result are
     * completed pass by pass, so only one that must go elsewhere is held whole. */
    const int direct = channels == 3 && st->out.rows == NULL;
    const size_t rowBytes = (size_t)w * channels;
    if (!(direct && passes == 1)) {
        st->pixels = malloc(rowBytes * (passes > 1 && !direct ? h : 1));
        if (st->pixels == NULL)
            return SPI_NO_MEMORY;
    }
    const int32_t total = (int32_t)(passes * h);
    int32_t done = 0;
    if (spi_progress(progress, 0, total, user))
        return SPI_ABORT;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t *row =
                direct ? spi_out_row(&st->out, (int32_t)y) : st->pixels + (passes > 1 ? (size_t)y * rowBytes : 0);
            png_read_row(st->png, row, NULL);
            if (passes == 1 && put_row(st, (int32_t)y, row, channels))
                return SPI_ABORT;
            ++done;
            if ((done & 31) == 0 && spi_progress(progress, done, total, user))
                return SPI_ABORT;
        }
    }
    if (passes > 1 && !direct)
        for (png_uint_32 y = 0; y < h; ++y)
            if (put_row(st, (int32_t)y, st->pixels + (size_t)y * rowBytes, channels))
                return SPI_ABORT;
    return spi_progress(progress, total, total, user) ? SPI_ABORT : SPI_ALL_RIGHT;
}

/* decode() with libpng's errors caught: a decode that libpng stops is SPI_OUT_OF_ORDER. */
static int32_t decode_guarded(decode_state *st, SPI_PROGRESS progress, intptr_t user)
{
    if (setjmp(png_jmpbuf(st->png)))
        return SPI_OUT_OF_ORDER;
    return decode(st, progress, user);
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    decode_state *st = begin(buf, len, flag, bitmapInfo != NULL && bits != NULL);
    if (st != NULL && st->result == SPI_ALL_RIGHT) {
        st->result = decode_guarded(st, progress, user);
        if (st->result == SPI_ALL_RIGHT)
            spi_out_finish(&st->out, bitmapInfo, bits);
    }
    return end(st);
}

SPI_EXPORT int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                                  SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user)
{
    (void)wantWidth; /* libpng cannot decode at a smaller size */
    (void)wantHeight;
    decode_state *st = begin(buf, len, flag, rows != NULL);
    if (st != NULL && st->result == SPI_ALL_RIGHT) {
        spi_out_to_host(&st->out, rows, user);
        st->result = decode_guarded(st, progress, user);
    }
    return end(st);
}
