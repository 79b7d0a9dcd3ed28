/* Pieces every first-party decoder shares: information texts, input in memory or in a file, and
 * building the 24-bit bitmap result. */
#ifndef TAPISTO_SPICOMMON_H
#define TAPISTO_SPICOMMON_H

#include "spi.h"

#include <stddef.h>
#include <stdint.h>

/* "イメージファイル" in CP932, the code page of the plug-in texts. */
#define SPI_TEXT_IMAGE_FILE "\x83\x43\x83\x81\x81\x5b\x83\x57\x83\x74\x83\x40\x83\x43\x83\x8b"

/* The plug-in's texts: version, name, then pattern/description pairs, ended by NULL. */
int32_t spi_plugin_info(const char *const *texts, int32_t infono, char *buf, int32_t buflen);

/* The picture's bytes for `buf`/`len`/`flag`: the memory itself, or the file read from offset
 * `len` (then *owned must be released with free). Returns SPI_ALL_RIGHT or an error. */
int32_t spi_input(const char *buf, intptr_t len, uint32_t flag, const uint8_t **data, size_t *size, void **owned);

/* Sizes we are willing to decode: positive, the 24-bit result below 2 GiB and the pixels within the
 * host's memory guard (1 GiB at 4 bytes a pixel). */
int spi_size_ok(int64_t width, int64_t height);

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
/* Stores blue, green, red, alpha pixels into row `y`, composited on black. */
void spi_dib_put_bgra(const spi_dib *dib, int32_t y, const uint8_t *bgra);
/* Unlocks and hands both handles over; returns SPI_ALL_RIGHT. */
int32_t spi_dib_finish(spi_dib *dib, HLOCAL *bitmapInfo, HLOCAL *bits);
/* Frees both handles (on failure). */
void spi_dib_discard(spi_dib *dib);

/* Calls the host's progress callback; non-zero means stop. */
int spi_progress(SPI_PROGRESS progress, int32_t num, int32_t denom, intptr_t user);

/* Fills the common part of the picture information. */
void spi_fill_info(SPI_PICTINFO *info, int32_t width, int32_t height, int16_t depth);

#endif
