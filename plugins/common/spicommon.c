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

int32_t spi_input(const char *buf, intptr_t len, uint32_t flag, const uint8_t **data, size_t *size, void **owned)
{
    *owned = NULL;
    if (buf == NULL || len < 0)
        return SPI_OTHER_ERROR;
    if ((flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY) {
        *data = (const uint8_t *)buf;
        *size = (size_t)len;
        return SPI_ALL_RIGHT;
    }
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_FILE)
        return SPI_NOT_SUPPORT;
    FILE *f = fopen(buf, "rb");
    if (f == NULL)
        return SPI_FILE_READ_ERROR;
    int32_t rc = SPI_FILE_READ_ERROR;
    uint8_t *bytes = NULL;
    if (fseeko(f, 0, SEEK_END) == 0) {
        off_t end = ftello(f);
        if (end >= (off_t)len && fseeko(f, (off_t)len, SEEK_SET) == 0) {
            size_t n = (size_t)(end - (off_t)len);
            bytes = malloc(n ? n : 1);
            if (bytes == NULL)
                rc = SPI_NO_MEMORY;
            else if (fread(bytes, 1, n, f) == n) {
                *data = bytes;
                *size = n;
                *owned = bytes;
                rc = SPI_ALL_RIGHT;
            }
        }
    }
    fclose(f);
    if (rc != SPI_ALL_RIGHT)
        free(bytes);
    return rc;
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

void spi_dib_put_bgra(const spi_dib *dib, int32_t y, const uint8_t *bgra)
{
    uint8_t *out = spi_dib_row(dib, y);
    for (int32_t x = 0; x < dib->width; ++x, bgra += 4, out += 3) {
        unsigned a = bgra[3];
        out[0] = (uint8_t)((bgra[0] * a + 127) / 255);
        out[1] = (uint8_t)((bgra[1] * a + 127) / 255);
        out[2] = (uint8_t)((bgra[2] * a + 127) / 255);
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
