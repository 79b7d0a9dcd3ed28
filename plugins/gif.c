/* GIF decoder plug-in on giflib: the first frame on a black canvas of the file's screen size,
 * transparent pixels left black, as a 24-bit picture. */
#include "common/spicommon.h"

#include <gif_lib.h>
#include <stdlib.h>
#include <string.h>

static const char *const kTexts[] = {"00IN", "Tapisto GIF decoder (giflib)", "*.gif", "GIF " SPI_TEXT_IMAGE_FILE, NULL};

typedef struct {
    const uint8_t *data;
    size_t size, pos;
} mem_reader;

static int read_bytes(GifFileType *gif, GifByteType *out, int n)
{
    mem_reader *r = gif->UserData;
    size_t k = n < 0 ? 0 : (size_t)n;
    if (k > r->size - r->pos)
        k = r->size - r->pos;
    memcpy(out, r->data + r->pos, k);
    r->pos += k;
    return (int)k;
}

static int is_gif(const uint8_t *data, size_t size)
{
    return size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0);
}

static GifFileType *open_gif(mem_reader *reader)
{
    int error = 0;
    return is_gif(reader->data, reader->size) ? DGifOpen(reader, read_bytes, &error) : NULL;
}

static void close_gif(GifFileType *gif)
{
    int error = 0;
    if (gif != NULL)
        DGifCloseFile(gif, &error);
}

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spi_plugin_info(kTexts, infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    (void)filename;
    return data != NULL && is_gif(data, 6);
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    mem_reader reader = {0};
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &reader.data, &reader.size, &owned);
    if (rc != SPI_ALL_RIGHT || info == NULL) {
        free(owned);
        return rc != SPI_ALL_RIGHT ? rc : SPI_OTHER_ERROR;
    }
    GifFileType *gif = open_gif(&reader);
    rc = SPI_NOT_SUPPORT;
    if (gif != NULL && spi_size_ok(gif->SWidth, gif->SHeight)) {
        spi_fill_info(info, gif->SWidth, gif->SHeight, 8);
        rc = SPI_ALL_RIGHT;
    }
    close_gif(gif);
    free(owned);
    return rc;
}

/* Reads the rows of the current frame into the canvas; returns SPI_ALL_RIGHT or an error. */
static int32_t draw_frame(GifFileType *gif, spi_dib *dib, int transparent, SPI_PROGRESS progress, intptr_t user)
{
    const GifImageDesc *desc = &gif->Image;
    const ColorMapObject *map = desc->ColorMap != NULL ? desc->ColorMap : gif->SColorMap;
    if (map == NULL || desc->Width <= 0 || desc->Height <= 0 || desc->Width > 65535 || desc->Height > 65535)
        return SPI_OUT_OF_ORDER;
    GifPixelType *line = malloc((size_t)desc->Width);
    if (line == NULL)
        return SPI_NO_MEMORY;
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = desc->Interlace ? 4 : 1;
    int32_t done = 0, rc = SPI_ALL_RIGHT;
    for (int pass = 0; pass < passes && rc == SPI_ALL_RIGHT; ++pass) {
        const int start = desc->Interlace ? kStart[pass] : 0, step = desc->Interlace ? kStep[pass] : 1;
        for (int row = start; row < desc->Height; row += step) {
            if (DGifGetLine(gif, line, desc->Width) != GIF_OK) {
                rc = SPI_OUT_OF_ORDER;
                break;
            }
            const int y = desc->Top + row;
            if (y >= 0 && y < dib->height) {
                uint8_t *out = spi_dib_row(dib, y);
                for (int x = 0; x < desc->Width; ++x) {
                    const int cx = desc->Left + x;
                    if (cx < 0 || cx >= dib->width || line[x] == transparent || line[x] >= map->ColorCount)
                        continue;
                    const GifColorType *c = &map->Colors[line[x]];
                    out[cx * 3] = c->Blue;
                    out[cx * 3 + 1] = c->Green;
                    out[cx * 3 + 2] = c->Red;
                }
            }
            if ((++done & 15) == 0 && spi_progress(progress, done, desc->Height, user)) {
                rc = SPI_ABORT;
                break;
            }
        }
    }
    free(line);
    return rc;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    mem_reader reader = {0};
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &reader.data, &reader.size, &owned);
    if (rc != SPI_ALL_RIGHT || bitmapInfo == NULL || bits == NULL) {
        free(owned);
        return rc != SPI_ALL_RIGHT ? rc : SPI_OTHER_ERROR;
    }
    GifFileType *gif = open_gif(&reader);
    spi_dib dib = {0};
    rc = gif == NULL ? SPI_NOT_SUPPORT : spi_dib_create(&dib, gif->SWidth, gif->SHeight);
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    int transparent = -1, drawn = 0;
    while (rc == SPI_ALL_RIGHT && !drawn) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            rc = SPI_OUT_OF_ORDER;
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *ext = NULL;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK)
                rc = SPI_OUT_OF_ORDER;
            if (rc == SPI_ALL_RIGHT && code == GRAPHICS_EXT_FUNC_CODE && ext != NULL) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            while (rc == SPI_ALL_RIGHT && ext != NULL)
                if (DGifGetExtensionNext(gif, &ext) != GIF_OK)
                    rc = SPI_OUT_OF_ORDER;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            rc =
                DGifGetImageDesc(gif) == GIF_OK ? draw_frame(gif, &dib, transparent, progress, user) : SPI_OUT_OF_ORDER;
            drawn = 1;
        } else if (type == TERMINATE_RECORD_TYPE) {
            rc = SPI_OUT_OF_ORDER; /* no frame at all */
        }
    }
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 1, 1, user))
        rc = SPI_ABORT;
    if (rc == SPI_ALL_RIGHT)
        spi_dib_finish(&dib, bitmapInfo, bits);
    else
        spi_dib_discard(&dib);
    close_gif(gif);
    free(owned);
    return rc;
}
