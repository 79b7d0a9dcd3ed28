#include "spicommon.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int32_t spi_plugin_info(const char *const *texts, int32_t infono, char *buf, int32_t buflen)
{
    if (infono < 0 || buf == NULL || buflen <= 0)
        return 0;
    for (int32_t i = 0; i < infono; ++i)
        if (texts[i] == NULL)
            return 0;
    const char *text = texts[infono];
    if (text == NULL)
        return 0;
    size_t n = strlen(text);
    if (n > (size_t)buflen - 1)
        n = (size_t)buflen - 1;
    memcpy(buf, text, n);
    buf[n] = '\0';
    return (int32_t)n;
}

enum { kSourceBuffer = 64 * 1024 };

int32_t spi_source_open(spi_source *src, const char *buf, intptr_t len, uint32_t flag)
{
    memset(src, 0, sizeof *src);
    if (buf == NULL || len < 0)
        return SPI_OTHER_ERROR;
    if ((flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY) {
        src->data = (const uint8_t *)buf;
        src->size = (uint64_t)len;
        return SPI_ALL_RIGHT;
    }
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_FILE)
        return SPI_NOT_SUPPORT;
    src->file = fopen(buf, "rb");
    if (src->file == NULL)
        return SPI_FILE_READ_ERROR;
    /* Decoders read in small pieces; a larger buffer saves most of the system calls. It must be
     * given: the C library ignores the size when it allocates the buffer itself. */
    src->buffer = malloc(kSourceBuffer);
    if (src->buffer != NULL)
        setvbuf(src->file, src->buffer, _IOFBF, kSourceBuffer);
    off_t end = -1;
    if (fseeko(src->file, 0, SEEK_END) == 0)
        end = ftello(src->file);
    if (end < (off_t)len || fseeko(src->file, (off_t)len, SEEK_SET) != 0) {
        spi_source_close(src);
        return SPI_FILE_READ_ERROR;
    }
    src->base = (uint64_t)len;
    src->size = (uint64_t)end - (uint64_t)len;
    return SPI_ALL_RIGHT;
}

size_t spi_source_read(spi_source *src, void *out, size_t n)
{
    if (src->pos >= src->size)
        return 0;
    if (n > src->size - src->pos)
        n = (size_t)(src->size - src->pos);
    if (src->file != NULL)
        n = fread(out, 1, n, src->file);
    else
        memcpy(out, src->data + src->pos, n);
    src->pos += n;
    return n;
}

int spi_source_seek(spi_source *src, uint64_t pos)
{
    if (pos > src->size)
        return 0;
    if (src->file != NULL &&
        (pos > (uint64_t)INT64_MAX - src->base || fseeko(src->file, (off_t)(src->base + pos), SEEK_SET) != 0))
        return 0;
    src->pos = pos;
    return 1;
}

void spi_source_close(spi_source *src)
{
    if (src->file != NULL)
        fclose(src->file);
    free(src->buffer);
    memset(src, 0, sizeof *src);
}

int spi_size_ok(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0 || width > 0x7fffffff / 4 || height > 0x7fffffff)
        return 0;
    /* The host refuses pictures whose 32-bit pixels pass 1 GiB (its memory guard): decoding one
     * would only cost the memory and the time. */
    if (width * height > ((int64_t)1 << 30) / 4)
        return 0;
    int64_t stride = (width * 3 + 3) / 4 * 4;
    return stride <= ((int64_t)1 << 31) / height; /* the header's image size is 32-bit */
}

int spi_info_size_ok(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX;
}

int32_t spi_dib_create(spi_dib *dib, int32_t width, int32_t height)
{
    memset(dib, 0, sizeof *dib);
    if (!spi_size_ok(width, height))
        return SPI_OUT_OF_ORDER;
    dib->width = width;
    dib->height = height;
    dib->stride = ((size_t)width * 3 + 3) / 4 * 4;
    dib->header = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(SPI_BITMAPINFOHEADER));
    dib->bits = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, dib->stride * (size_t)height);
    if (dib->header == NULL || dib->bits == NULL) {
        spi_dib_discard(dib);
        return SPI_NO_MEMORY;
    }
    SPI_BITMAPINFOHEADER *h = LocalLock(dib->header);
    h->size = sizeof *h;
    h->width = width;
    h->height = height;
    h->planes = 1;
    h->bitCount = 24;
    h->compression = SPI_BI_RGB;
    h->sizeImage = (uint32_t)(dib->stride * (size_t)height);
    LocalUnlock(dib->header);
    dib->pixels = LocalLock(dib->bits);
    return SPI_ALL_RIGHT;
}

uint8_t *spi_dib_row(const spi_dib *dib, int32_t y)
{
    return dib->pixels + (size_t)(dib->height - 1 - y) * dib->stride;
}

void spi_bgra_on_black(uint8_t *bgr, const uint8_t *bgra, int32_t width)
{
    for (int32_t x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        unsigned a = bgra[3];
        bgr[0] = (uint8_t)((bgra[0] * a + 127) / 255);
        bgr[1] = (uint8_t)((bgra[1] * a + 127) / 255);
        bgr[2] = (uint8_t)((bgra[2] * a + 127) / 255);
    }
}

int32_t spi_dib_finish(spi_dib *dib, HLOCAL *bitmapInfo, HLOCAL *bits)
{
    LocalUnlock(dib->bits);
    *bitmapInfo = dib->header;
    *bits = dib->bits;
    memset(dib, 0, sizeof *dib);
    return SPI_ALL_RIGHT;
}

void spi_dib_discard(spi_dib *dib)
{
    if (dib->pixels != NULL)
        LocalUnlock(dib->bits);
    LocalFree(dib->header);
    LocalFree(dib->bits);
    memset(dib, 0, sizeof *dib);
}

void spi_out_to_dib(spi_out *out)
{
    memset(out, 0, sizeof *out);
}

void spi_out_to_host(spi_out *out, SPI_ROWS rows, intptr_t user)
{
    memset(out, 0, sizeof *out);
    out->rows = rows;
    out->user = user;
}

int32_t spi_out_begin(spi_out *out, int32_t width, int32_t height)
{
    if (!spi_size_ok(width, height))
        return SPI_OUT_OF_ORDER;
    out->width = width;
    out->height = height;
    if (out->rows == NULL)
        return spi_dib_create(&out->dib, width, height);
    out->scratch = malloc((size_t)width * 3);
    return out->scratch != NULL ? SPI_ALL_RIGHT : SPI_NO_MEMORY;
}

uint8_t *spi_out_row(spi_out *out, int32_t y)
{
    return out->rows == NULL ? spi_dib_row(&out->dib, y) : out->scratch;
}

int spi_out_rows(spi_out *out, int32_t y, int32_t count, const uint8_t *bgr, intptr_t stride)
{
    if (out->rows != NULL) {
        SPI_ROWBLOCK block = {out->width, out->height, y, count, SPI_ROWS_BGR, stride, bgr};
        return out->rows(&block, out->user) != 0;
    }
    const size_t bytes = (size_t)out->width * 3;
    for (int32_t i = 0; i < count; ++i) {
        uint8_t *row = spi_dib_row(&out->dib, y + i);
        const uint8_t *from = bgr + (intptr_t)i * stride;
        if (row != from)
            memcpy(row, from, bytes);
    }
    return 0;
}

int32_t spi_out_finish(spi_out *out, HLOCAL *bitmapInfo, HLOCAL *bits)
{
    return spi_dib_finish(&out->dib, bitmapInfo, bits);
}

void spi_out_end(spi_out *out)
{
    spi_dib_discard(&out->dib);
    free(out->scratch);
    out->scratch = NULL;
}

int32_t spi_get_picture(spi_reader read, const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                        SPI_PROGRESS progress, intptr_t user)
{
    if (bitmapInfo == NULL || bits == NULL)
        return SPI_OTHER_ERROR;
    spi_out out;
    spi_out_to_dib(&out);
    int32_t rc = read(buf, len, flag, &out, progress, user);
    if (rc == SPI_ALL_RIGHT)
        spi_out_finish(&out, bitmapInfo, bits);
    spi_out_end(&out);
    return rc;
}

int32_t spi_get_picture_rows(spi_reader read, const char *buf, intptr_t len, uint32_t flag, SPI_ROWS rows,
                             SPI_PROGRESS progress, intptr_t user)
{
    if (rows == NULL)
        return SPI_OTHER_ERROR;
    spi_out out;
    spi_out_to_host(&out, rows, user);
    int32_t rc = read(buf, len, flag, &out, progress, user);
    spi_out_end(&out);
    return rc;
}

int32_t spi_opened_for(int32_t rc, int has_answer)
{
    return rc == SPI_ALL_RIGHT && !has_answer ? SPI_OTHER_ERROR : rc;
}

int spi_progress(SPI_PROGRESS progress, int32_t num, int32_t denom, intptr_t user)
{
    return progress != NULL && progress(num, denom, user) != 0;
}

void spi_fill_info(SPI_PICTINFO *info, int32_t width, int32_t height, int16_t depth)
{
    memset(info, 0, sizeof *info);
    info->width = width;
    info->height = height;
    info->colorDepth = depth;
}
