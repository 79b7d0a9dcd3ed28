/* TIFF decoder plug-in on libtiff: the first page through libtiff's RGBA reader, as a 24-bit
 * picture. libtiff hands out premultiplied colours, so transparency already lies on black. */
#include "common/spicommon.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>

static const char *const kTexts[] = {"00IN", "Tapisto TIFF decoder (libtiff)", "*.tif;*.tiff",
                                     "TIFF " SPI_TEXT_IMAGE_FILE, NULL};

typedef struct {
    const uint8_t *data;
    size_t size, pos;
} mem_file;

static tmsize_t read_proc(thandle_t h, void *out, tmsize_t n)
{
    mem_file *f = h;
    size_t k = n < 0 ? 0 : (size_t)n;
    if (f->pos >= f->size)
        return 0;
    if (k > f->size - f->pos)
        k = f->size - f->pos;
    memcpy(out, f->data + f->pos, k);
    f->pos += k;
    return (tmsize_t)k;
}

static tmsize_t write_proc(thandle_t h, void *in, tmsize_t n)
{
    (void)h;
    (void)in;
    (void)n;
    return -1;
}

static toff_t seek_proc(thandle_t h, toff_t offset, int whence)
{
    mem_file *f = h;
    uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
    if (offset > UINT64_MAX - base)
        return (toff_t)-1;
    f->pos = (size_t)(base + offset);
    return f->pos;
}

static int close_proc(thandle_t h)
{
    (void)h;
    return 0;
}

static toff_t size_proc(thandle_t h)
{
    return ((mem_file *)h)->size;
}

static int quiet(TIFF *tif, void *user, const char *module, const char *fmt, va_list ap)
{
    (void)tif;
    (void)user;
    (void)module;
    (void)fmt;
    (void)ap;
    return 1; /* handled: nothing reaches the host's standard error */
}

static int is_tiff(const uint8_t *d, size_t size)
{
    return size >= 4 && ((d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0) ||
                         (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43)));
}

static TIFF *open_tiff(mem_file *f)
{
    if (!is_tiff(f->data, f->size))
        return NULL;
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (opts == NULL)
        return NULL;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, quiet, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, quiet, NULL);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, (tmsize_t)1 << 30);
    TIFF *tif =
        TIFFClientOpenExt("memory", "rm", f, read_proc, write_proc, seek_proc, close_proc, size_proc, NULL, NULL, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spi_plugin_info(kTexts, infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    (void)filename;
    return data != NULL && is_tiff(data, 4);
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    mem_file f = {0};
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &f.data, &f.size, &owned);
    TIFF *tif = rc == SPI_ALL_RIGHT && info != NULL ? open_tiff(&f) : NULL;
    if (tif != NULL) {
        uint32_t w = 0, h = 0;
        uint16_t bps = 1, spp = 1;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        rc = spi_size_ok(w, h) ? SPI_ALL_RIGHT : SPI_OUT_OF_ORDER;
        if (rc == SPI_ALL_RIGHT)
            spi_fill_info(info, (int32_t)w, (int32_t)h, (int16_t)(bps * spp));
        TIFFClose(tif);
    } else if (rc == SPI_ALL_RIGHT) {
        rc = SPI_NOT_SUPPORT;
    }
    free(owned);
    return rc;
}

/* Reads the picture a band of rows at a time so that progress can be reported between bands. */
static int32_t decode(TIFF *tif, spi_dib *dib, SPI_PROGRESS progress, intptr_t user)
{
    char message[1024];
    TIFFRGBAImage img;
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message))
        return SPI_NOT_SUPPORT;
    int32_t rc = spi_dib_create(dib, (int32_t)img.width, (int32_t)img.height);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    /* Bands read in order only when rows are stored top first; otherwise the whole page at once. */
    const uint32_t band = orientation == ORIENTATION_TOPLEFT ? 64 : img.height;
    uint32_t *raster = rc == SPI_ALL_RIGHT ? malloc((size_t)img.width * band * 4) : NULL;
    if (rc == SPI_ALL_RIGHT && raster == NULL)
        rc = SPI_NO_MEMORY;
    img.req_orientation = ORIENTATION_TOPLEFT;
    for (uint32_t y = 0; rc == SPI_ALL_RIGHT && y < img.height; y += band) {
        const uint32_t rows = img.height - y < band ? img.height - y : band;
        img.row_offset = (int)y;
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, raster, img.width, rows)) {
            rc = SPI_OUT_OF_ORDER;
            break;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t *in = raster + (size_t)r * img.width;
            uint8_t *out = spi_dib_row(dib, (int32_t)(y + r));
            for (uint32_t x = 0; x < img.width; ++x, out += 3) {
                out[0] = (uint8_t)TIFFGetB(in[x]);
                out[1] = (uint8_t)TIFFGetG(in[x]);
                out[2] = (uint8_t)TIFFGetR(in[x]);
            }
        }
        if (spi_progress(progress, (int32_t)(y + rows), (int32_t)img.height, user))
            rc = SPI_ABORT;
    }
    free(raster);
    TIFFRGBAImageEnd(&img);
    return rc;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    mem_file f = {0};
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &f.data, &f.size, &owned);
    if (rc == SPI_ALL_RIGHT && (bitmapInfo == NULL || bits == NULL))
        rc = SPI_OTHER_ERROR;
    TIFF *tif = rc == SPI_ALL_RIGHT ? open_tiff(&f) : NULL;
    if (rc == SPI_ALL_RIGHT && tif == NULL)
        rc = SPI_NOT_SUPPORT;
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    spi_dib dib = {0};
    if (rc == SPI_ALL_RIGHT)
        rc = decode(tif, &dib, progress, user);
    if (rc == SPI_ALL_RIGHT)
        spi_dib_finish(&dib, bitmapInfo, bits);
    else
        spi_dib_discard(&dib);
    if (tif != NULL)
        TIFFClose(tif);
    free(owned);
    return rc;
}
