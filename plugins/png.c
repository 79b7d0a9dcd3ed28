/* PNG decoder plug-in on libpng: every PNG flavour becomes a 24-bit picture, with any
 * transparency composited on black. */
#include "common/spicommon.h"

#include <png.h>
#include <stdlib.h>
#include <string.h>

static const char *const kTexts[] = {"00IN", "Tapisto PNG decoder (libpng " PNG_LIBPNG_VER_STRING ")", "*.png",
                                     "PNG " SPI_TEXT_IMAGE_FILE, NULL};

/* Everything a decode holds, on the heap so that the state survives libpng's longjmp intact. */
typedef struct {
    const uint8_t *data;
    size_t size, pos;
    void *owned;
    png_structp png;
    png_infop info;
    uint8_t *pixels; /* one row, or the whole picture for interlaced files */
    spi_dib dib;
    int32_t result;
} decode_state;

static void read_bytes(png_structp png, png_bytep out, size_t n)
{
    decode_state *st = png_get_io_ptr(png);
    if (n > st->size - st->pos)
        png_error(png, "truncated");
    memcpy(out, st->data + st->pos, n);
    st->pos += n;
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

static decode_state *begin(const char *buf, intptr_t len, uint32_t flag)
{
    decode_state *st = calloc(1, sizeof *st);
    if (st == NULL)
        return NULL;
    st->result = spi_input(buf, len, flag, &st->data, &st->size, &st->owned);
    if (st->result != SPI_ALL_RIGHT)
        return st;
    st->result = SPI_NOT_SUPPORT;
    if (st->size < 8 || png_sig_cmp(st->data, 0, 8) != 0)
        return st;
    st->result = SPI_NO_MEMORY;
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, on_error, on_warning);
    if (st->png == NULL)
        return st;
    st->info = png_create_info_struct(st->png);
    if (st->info == NULL)
        return st;
    png_set_read_fn(st->png, st, read_bytes);
    st->result = SPI_ALL_RIGHT;
    return st;
}

static int32_t end(decode_state *st)
{
    if (st == NULL)
        return SPI_NO_MEMORY;
    int32_t result = st->result;
    if (st->png != NULL)
        png_destroy_read_struct(&st->png, st->info ? &st->info : NULL, NULL);
    spi_dib_discard(&st->dib);
    free(st->pixels);
    free(st->owned);
    free(st);
    return result;
}

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spi_plugin_info(kTexts, infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    (void)filename;
    return data != NULL && png_sig_cmp((png_const_bytep)data, 0, 8) == 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    decode_state *st = begin(buf, len, flag);
    if (st == NULL || st->result != SPI_ALL_RIGHT || info == NULL)
        return end(st);
    if (setjmp(png_jmpbuf(st->png))) {
        st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    png_read_info(st->png, st->info);
    png_uint_32 w = png_get_image_width(st->png, st->info), h = png_get_image_height(st->png, st->info);
    if (!spi_size_ok(w, h)) {
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

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    decode_state *st = begin(buf, len, flag);
    if (st == NULL || st->result != SPI_ALL_RIGHT || bitmapInfo == NULL || bits == NULL)
        return end(st);
    if (setjmp(png_jmpbuf(st->png))) {
        if (st->result == SPI_ALL_RIGHT)
            st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    png_read_info(st->png, st->info);
    png_uint_32 w = png_get_image_width(st->png, st->info), h = png_get_image_height(st->png, st->info);
    if (!spi_size_ok(w, h) || (uint64_t)w * h > ((uint64_t)1 << 29)) {
        st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    /* Whatever the file holds, read blue, green, red, alpha at 8 bits each. */
    png_set_expand(st->png);
    png_set_scale_16(st->png);
    png_set_gray_to_rgb(st->png);
    png_set_bgr(st->png);
    png_set_filler(st->png, 0xff, PNG_FILLER_AFTER);
    int passes = png_set_interlace_handling(st->png);
    png_read_update_info(st->png, st->info);
    if (png_get_rowbytes(st->png, st->info) != (size_t)w * 4) {
        st->result = SPI_OUT_OF_ORDER;
        return end(st);
    }
    st->result = spi_dib_create(&st->dib, (int32_t)w, (int32_t)h);
    if (st->result != SPI_ALL_RIGHT)
        return end(st);
    size_t rows = passes > 1 ? h : 1;
    st->pixels = malloc((size_t)w * 4 * rows);
    if (st->pixels == NULL) {
        st->result = SPI_NO_MEMORY;
        return end(st);
    }
    const int32_t total = (int32_t)(passes * h);
    int32_t done = 0;
    if (spi_progress(progress, 0, total, user)) {
        st->result = SPI_ABORT;
        return end(st);
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t *row = st->pixels + (passes > 1 ? (size_t)y * w * 4 : 0);
            png_read_row(st->png, row, NULL);
            if (passes == 1)
                spi_dib_put_bgra(&st->dib, (int32_t)y, row);
            ++done;
            if ((done & 31) == 0 && spi_progress(progress, done, total, user)) {
                st->result = SPI_ABORT;
                return end(st);
            }
        }
    }
    if (passes > 1)
        for (png_uint_32 y = 0; y < h; ++y)
            spi_dib_put_bgra(&st->dib, (int32_t)y, st->pixels + (size_t)y * w * 4);
    if (spi_progress(progress, total, total, user)) {
        st->result = SPI_ABORT;
        return end(st);
    }
    spi_dib_finish(&st->dib, bitmapInfo, bits);
    return end(st);
}
