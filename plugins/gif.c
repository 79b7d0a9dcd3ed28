/* GIF decoder plug-in on giflib: the first frame on a black canvas of the file's screen size,
 * transparent pixels left black, as a 24-bit picture. The screen's rows are handed over as the
 * frame's rows arrive; only an interlaced frame, whose rows come out of order, is held whole (one
 * byte a pixel). */
#include "common/spicommon.h"

#include <gif_lib.h>
#include <stdlib.h>
#include <string.h>

static const char *const kTexts[] = {"00IN", "Tapisto GIF decoder (giflib)", "*.gif", "GIF " SPI_TEXT_IMAGE_FILE, NULL};

static int read_bytes(GifFileType *gif, GifByteType *out, int n)
{
    return (int)spi_source_read(gif->UserData, out, n < 0 ? 0 : (size_t)n);
}

static int is_gif(const uint8_t *data, size_t size)
{
    return size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0);
}

static GifFileType *open_gif(spi_source *src)
{
    uint8_t magic[6];
    if (spi_source_read(src, magic, 6) != 6 || !is_gif(magic, 6) || !spi_source_seek(src, 0))
        return NULL;
    int error = 0;
    return DGifOpen(src, read_bytes, &error);
}

static void close_gif(GifFileType *gif)
{
    int error = 0;
    if (gif != NULL)
        DGifCloseFile(gif, &error);
}

SPI_INFO_EXPORTS(kTexts, is_gif, 6)

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    spi_source src;
    int32_t rc = spi_opened_for(spi_source_open(&src, buf, len, flag), info != NULL);
    if (rc != SPI_ALL_RIGHT) {
        spi_source_close(&src);
        return rc;
    }
    GifFileType *gif = open_gif(&src);
    rc = SPI_NOT_SUPPORT;
    if (gif != NULL && spi_info_size_ok(gif->SWidth, gif->SHeight)) {
        spi_fill_info(info, gif->SWidth, gif->SHeight, 8);
        rc = SPI_ALL_RIGHT;
    }
    close_gif(gif);
    spi_source_close(&src);
    return rc;
}

static int clamp_int(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

/* Reads the current frame and hands over the screen's rows from the top, the frame drawn at its place
 * over black. Returns SPI_ALL_RIGHT or an error. */
static int32_t draw_frame(GifFileType *gif, spi_out *out, int transparent, SPI_PROGRESS progress, intptr_t user)
{
    const GifImageDesc *desc = &gif->Image;
    const ColorMapObject *map = desc->ColorMap != NULL ? desc->ColorMap : gif->SColorMap;
    if (map == NULL || desc->Width <= 0 || desc->Height <= 0 || desc->Width > 65535 || desc->Height > 65535)
        return SPI_OUT_OF_ORDER;
    /* The part of the frame that lies on the screen. */
    const int rowsShown = clamp_int(out->height - desc->Top, 0, desc->Height);
    const int columnsShown = clamp_int(out->width - desc->Left, 0, desc->Width);
    GifPixelType *line = malloc((size_t)desc->Width);
    /* An interlaced frame's rows come out of order: its part on the screen is kept, a byte a pixel. */
    GifPixelType *shown =
        desc->Interlace && rowsShown > 0 && columnsShown > 0 ? malloc((size_t)rowsShown * (size_t)columnsShown) : NULL;
    if (line == NULL || (shown == NULL && desc->Interlace && rowsShown > 0 && columnsShown > 0)) {
        free(line);
        free(shown);
        return SPI_NO_MEMORY;
    }
    int32_t done = 0, rc = SPI_ALL_RIGHT;
    if (desc->Interlace) {
        static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && rc == SPI_ALL_RIGHT; ++pass)
            for (int row = kStart[pass]; row < desc->Height && rc == SPI_ALL_RIGHT; row += kStep[pass]) {
                if (DGifGetLine(gif, line, desc->Width) != GIF_OK)
                    rc = SPI_OUT_OF_ORDER;
                else if ((++done & 15) == 0 && spi_progress(progress, done, desc->Height, user))
                    rc = SPI_ABORT;
                else if (shown != NULL && row < rowsShown)
                    memcpy(shown + (size_t)row * (size_t)columnsShown, line, (size_t)columnsShown);
            }
    }
    /* A plain frame's rows are read as their screen rows come. */
    int read = desc->Interlace ? desc->Height : 0;
    for (int32_t y = 0; y < out->height && rc == SPI_ALL_RIGHT; ++y) {
        uint8_t *bgr = spi_out_row(out, y);
        memset(bgr, 0, (size_t)out->width * 3);
        const int row = y - desc->Top;
        if (row >= 0 && row < rowsShown) {
            const GifPixelType *indices = line;
            if (desc->Interlace) {
                if (shown != NULL) /* otherwise no column is shown */
                    indices = shown + (size_t)row * (size_t)columnsShown;
            } else {
                if (DGifGetLine(gif, line, desc->Width) != GIF_OK) {
                    rc = SPI_OUT_OF_ORDER;
                    break;
                }
                ++read;
                if ((++done & 15) == 0 && spi_progress(progress, done, desc->Height, user)) {
                    rc = SPI_ABORT;
                    break;
                }
            }
            for (int x = 0; x < columnsShown; ++x) {
                if (indices[x] == transparent || indices[x] >= map->ColorCount)
                    continue;
                const GifColorType *c = &map->Colors[indices[x]];
                uint8_t *p = bgr + (size_t)(desc->Left + x) * 3;
                p[0] = c->Blue;
                p[1] = c->Green;
                p[2] = c->Red;
            }
        }
        if (spi_out_rows(out, y, 1, bgr, 0))
            rc = SPI_ABORT;
    }
    /* Rows below the screen are still read: a frame cut short is broken wherever it ends. */
    for (; rc == SPI_ALL_RIGHT && read < desc->Height; ++read)
        if (DGifGetLine(gif, line, desc->Width) != GIF_OK)
            rc = SPI_OUT_OF_ORDER;
    free(shown);
    free(line);
    return rc;
}

/* Opens the picture and hands its first frame over to `out`. */
static int32_t read_picture(const char *buf, intptr_t len, uint32_t flag, spi_out *out, SPI_PROGRESS progress,
                            intptr_t user)
{
    spi_source src;
    int32_t rc = spi_source_open(&src, buf, len, flag);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    GifFileType *gif = open_gif(&src);
    rc = gif == NULL ? SPI_NOT_SUPPORT : spi_out_begin(out, gif->SWidth, gif->SHeight);
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
            rc = DGifGetImageDesc(gif) == GIF_OK ? draw_frame(gif, out, transparent, progress, user) : SPI_OUT_OF_ORDER;
            drawn = 1;
        } else if (type == TERMINATE_RECORD_TYPE) {
            rc = SPI_OUT_OF_ORDER; /* no frame at all */
        }
    }
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 1, 1, user))
        rc = SPI_ABORT;
    close_gif(gif);
    spi_source_close(&src);
    return rc;
}

/* A GIF is decoded at its own size. */
SPI_FULL_SIZE_PICTURE_EXPORTS(read_picture)
