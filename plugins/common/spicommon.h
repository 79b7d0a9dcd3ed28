/* Pieces every first-party decoder shares: information texts, input in memory or in a file, and
 * handing out the decoded rows, as a 24-bit bitmap result or row by row to the host. */
#ifndef TAPISTO_SPICOMMON_H
#define TAPISTO_SPICOMMON_H

#include "spi.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

/* "イメージファイル" in CP932, the code page of the plug-in texts. */
#define SPI_TEXT_IMAGE_FILE "\x83\x43\x83\x81\x81\x5b\x83\x57\x83\x74\x83\x40\x83\x43\x83\x8b"

/* The plug-in's texts: version, name, then pattern/description pairs, ended by NULL. */
int32_t spi_plugin_info(const char *const *texts, int32_t infono, char *buf, int32_t buflen);

/* GetPluginInfo and IsSupported, alike in every decoder: `texts` as spi_plugin_info takes them, and
 * `signature(data, size)`, the decoder's test of a file's first `size` bytes (the host hands over
 * 2 KiB, so any signature fits). */
#define SPI_INFO_EXPORTS(texts, signature, size)                                                                       \
    SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)                                        \
    {                                                                                                                  \
        return spi_plugin_info(texts, infono, buf, buflen);                                                            \
    }                                                                                                                  \
    SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)                                             \
    {                                                                                                                  \
        (void)filename;                                                                                                \
        return data != NULL && signature((const uint8_t *)data, size);                                                 \
    }

/* The picture's bytes for `buf`/`len`/`flag`: the memory itself, or a file read as the decoder asks,
 * never held whole. Positions count from the picture's first byte. */
typedef struct {
    const uint8_t *data; /* memory input */
    FILE *file;          /* file input */
    char *buffer;        /* the file's read buffer */
    uint64_t base;       /* the picture's offset in the file */
    uint64_t size;       /* bytes from the picture's start to the end */
    uint64_t pos;
} spi_source;

/* Returns SPI_ALL_RIGHT, SPI_FILE_READ_ERROR or SPI_NOT_SUPPORT (an unknown input kind). */
int32_t spi_source_open(spi_source *src, const char *buf, intptr_t len, uint32_t flag);
/* Up to `n` bytes from the position; fewer only at the end or on a read error. */
size_t spi_source_read(spi_source *src, void *out, size_t n);
/* Moves to `pos` (at most the size); returns 0 when it cannot. */
int spi_source_seek(spi_source *src, uint64_t pos);
void spi_source_close(spi_source *src);

/* Sizes we are willing to decode: positive, the 24-bit result below 2 GiB and the pixels within the
 * host's memory guard (1 GiB at 4 bytes a pixel). */
int spi_size_ok(int64_t width, int64_t height);
/* Sizes the picture information may tell, also of a picture too large to decode, so that the host can
 * say why it is not read. */
int spi_info_size_ok(int64_t width, int64_t height);

/* A 24-bit bottom-up result under construction. */
typedef struct {
    HLOCAL header, bits;
    uint8_t *pixels;
    size_t stride;
    int32_t width, height;
} spi_dib;

/* Allocates both handles (pixels zero-filled). Returns SPI_ALL_RIGHT or SPI_NO_MEMORY. */
int32_t spi_dib_create(spi_dib *dib, int32_t width, int32_t height);
/* Row `y` counted from the top. */
uint8_t *spi_dib_row(const spi_dib *dib, int32_t y);
/* Unlocks and hands both handles over; returns SPI_ALL_RIGHT. */
int32_t spi_dib_finish(spi_dib *dib, HLOCAL *bitmapInfo, HLOCAL *bits);
/* Frees both handles (on failure). */
void spi_dib_discard(spi_dib *dib);

/* Blue, green, red, alpha pixels as blue, green, red, composited on black. */
void spi_bgra_on_black(uint8_t *bgr, const uint8_t *bgra, int32_t width);

/* Where the decoded rows go: into a bitmap result (GetPicture) or to the host's row callback
 * (GetPictureRows). Rows are 24-bit, blue, green, red, handed over from the top. */
typedef struct {
    SPI_ROWS rows; /* NULL: into `dib` */
    intptr_t user;
    spi_dib dib;
    int32_t width, height;
    uint8_t *scratch; /* one row, for the row callback */
} spi_out;

/* Into a bitmap result. */
void spi_out_to_dib(spi_out *out);
/* To the host, one block per call of spi_out_rows. */
void spi_out_to_host(spi_out *out, SPI_ROWS rows, intptr_t user);
/* Fixes the size once it is known; allocates the result. Returns SPI_ALL_RIGHT or an error. */
int32_t spi_out_begin(spi_out *out, int32_t width, int32_t height);
/* A place to decode row `y` into (width * 3 bytes): the result's own row, or a scratch row. */
uint8_t *spi_out_row(spi_out *out, int32_t y);
/* Hands over `count` rows from row `y`, `stride` bytes apart, from `bgr` (the place spi_out_row gave
 * for a single row, or any other buffer). Returns non-zero when the host asked to stop. */
int spi_out_rows(spi_out *out, int32_t y, int32_t count, const uint8_t *bgr, intptr_t stride);
/* Hands the bitmap result over (GetPicture); returns SPI_ALL_RIGHT. */
int32_t spi_out_finish(spi_out *out, HLOCAL *bitmapInfo, HLOCAL *bits);
/* Frees whatever is still held (every path). */
void spi_out_end(spi_out *out);

/* A decoder that reads the picture named by buf, len and flag (as GetPicture takes them) at its own
 * size into `out`; returns SPI_ALL_RIGHT or an error. */
typedef int32_t (*spi_reader)(const char *buf, intptr_t len, uint32_t flag, spi_out *out, SPI_PROGRESS progress,
                              intptr_t user);
/* GetPicture and GetPictureRows of a plug-in whose decoder cannot make a smaller picture. */
int32_t spi_get_picture(spi_reader read, const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                        SPI_PROGRESS progress, intptr_t user);
int32_t spi_get_picture_rows(spi_reader read, const char *buf, intptr_t len, uint32_t flag, SPI_ROWS rows,
                             SPI_PROGRESS progress, intptr_t user);
/* The two exports of such a plug-in, on its reader; the size the host wants is not used. */
#define SPI_FULL_SIZE_PICTURE_EXPORTS(read)                                                                            \
    SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,      \
                                  SPI_PROGRESS progress, intptr_t user)                                                \
    {                                                                                                                  \
        return spi_get_picture(read, buf, len, flag, bitmapInfo, bits, progress, user);                                \
    }                                                                                                                  \
    SPI_EXPORT int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth,                 \
                                      int32_t wantHeight, SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user)         \
    {                                                                                                                  \
        (void)wantWidth;                                                                                               \
        (void)wantHeight;                                                                                              \
        return spi_get_picture_rows(read, buf, len, flag, rows, progress, user);                                       \
    }

/* `rc` of opening the input, or SPI_OTHER_ERROR when it opened but the caller gave no place for the
 * answer (`has_answer` 0): the input's own failure is told first. */
int32_t spi_opened_for(int32_t rc, int has_answer);

/* Calls the host's progress callback; non-zero means stop. */
int spi_progress(SPI_PROGRESS progress, int32_t num, int32_t denom, intptr_t user);

/* Fills the common part of the picture information. */
void spi_fill_info(SPI_PICTINFO *info, int32_t width, int32_t height, int16_t depth);

#endif
