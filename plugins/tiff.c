/* TIFF decoder plug-in on libtiff: the first page through libtiff's RGBA reader, as a 24-bit
 * picture. libtiff hands out premultiplied colours, so transparency already lies on black. */
#include "common/spicommon.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>

static const char *const kTexts[] = {"00IN", "Tapisto TIFF decoder (libtiff)", "*.tif;*.tiff",
                                     "TIFF " SPI_TEXT_IMAGE_FILE, NULL};

static tmsize_t read_proc(thandle_t h, void *out, tmsize_t n)
{
    return (tmsize_t)spi_source_read(h, out, n < 0 ? 0 : (size_t)n);
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
    spi_source *src = h;
    uint64_t base = whence == SEEK_CUR ? src->pos : whence == SEEK_END ? src->size : 0;
    if (offset > UINT64_MAX - base || !spi_source_seek(src, base + offset))
        return (toff_t)-1;
    return src->pos;
}

static int close_proc(thandle_t h)
{
    (void)h;
    return 0;
}

static toff_t size_proc(thandle_t h)
{
    return ((spi_source *)h)->size;
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

static TIFF *open_tiff(spi_source *src)
{
    uint8_t magic[4];
    if (spi_source_read(src, magic, 4) != 4 || !is_tiff(magic, 4) || !spi_source_seek(src, 0))
        return NULL;
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (opts == NULL)
        return NULL;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, quiet, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, quiet, NULL);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, (tmsize_t)1 << 30);
    TIFF *tif = TIFFClientOpenExt("picture", "rm", src, read_proc, write_proc, seek_proc, close_proc, size_proc, NULL,
                                  NULL, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

SPI_INFO_EXPORTS(kTexts, is_tiff, 4)

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    spi_source src;
    int32_t rc = spi_opened_for(spi_source_open(&src, buf, len, flag), info != NULL);
    TIFF *tif = rc == SPI_ALL_RIGHT ? open_tiff(&src) : NULL;
    if (tif != NULL) {
        uint32_t w = 0, h = 0;
        uint16_t bps = 1, spp = 1;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        rc = spi_info_size_ok(w, h) ? SPI_ALL_RIGHT : SPI_OUT_OF_ORDER;
        /* Both counts come from the file: their product may not fit the 16-bit field, nor an int. */
        const uint32_t depth = (uint32_t)bps * spp;
        if (rc == SPI_ALL_RIGHT)
            spi_fill_info(info, (int32_t)w, (int32_t)h, (int16_t)(depth > INT16_MAX ? INT16_MAX : depth));
        TIFFClose(tif);
    } else if (rc == SPI_ALL_RIGHT) {
        rc = SPI_NOT_SUPPORT;
    }
    spi_source_close(&src);
    return rc;
}

/* Reads the picture a band of rows at a time, handing each band's rows over and reporting progress
 * between bands. */
static int32_t decode(TIFF *tif, spi_out *out, SPI_PROGRESS progress, intptr_t user)
{
    char message[1024];
    TIFFRGBAImage img;
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message))
        return SPI_NOT_SUPPORT;
    int32_t rc = spi_out_begin(out, (int32_t)img.width, (int32_t)img.height);
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
        for (uint32_t r = 0; r < rows && rc == SPI_ALL_RIGHT; ++r) {
            const uint32_t *in = raster + (size_t)r * img.width;
            uint8_t *bgr = spi_out_row(out, (int32_t)(y + r));
            for (uint32_t x = 0; x < img.width; ++x) {
                bgr[x * 3] = (uint8_t)TIFFGetB(in[x]);
                bgr[x * 3 + 1] = (uint8_t)TIFFGetG(in[x]);
                bgr[x * 3 + 2] = (uint8_t)TIFFGetR(in[x]);
            }
            if (spi_out_rows(out, (int32_t)(y + r), 1, bgr, 0))
                rc = SPI_ABORT;
        }
        if (rc == SPI_ALL_RIGHT && spi_progress(progress, (int32_t)(y + rows), (int32_t)img.height, user))
            rc = SPI_ABORT;
    }
    free(raster);
    TIFFRGBAImageEnd(&img);
    return rc;
}

/* Opens the picture and decodes it into `out`. */
static int32_t read_picture(const char *buf, intptr_t len, uint32_t flag, spi_out *out, SPI_PROGRESS progress,
                            intptr_t user)
{
    spi_source src;
    int32_t rc = spi_source_open(&src, buf, len, flag);
    TIFF *tif = rc == SPI_ALL_RIGHT ? open_tiff(&src) : NULL;
    if (rc == SPI_ALL_RIGHT && tif == NULL)
        rc = SPI_NOT_SUPPORT;
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    if (rc == SPI_ALL_RIGHT)
        rc = decode(tif, out, progress, user);
    if (tif != NULL)
        TIFFClose(tif);
    spi_source_close(&src);
    return rc;
}

/* libtiff's RGBA reader has no reduced size. */
SPI_FULL_SIZE_PICTURE_EXPORTS(read_picture)
