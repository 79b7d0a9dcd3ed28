/* The image data of the PNG pictures most files are, read without libpng's row machinery. */
#ifndef TAPISTO_PNGIDAT_H
#define TAPISTO_PNGIDAT_H

#include "common/spicommon.h"

#include <stdint.h>

/* Reads the rows of an 8-bit RGB (`channels` 3) or RGBA (4) picture that is not interlaced from
 * `src`, which stands at the data of its first IDAT chunk, `length` bytes long, into `out` (begun
 * at the picture's size) as blue, green, red, alpha composited on black: the pixels libpng gives.
 * Checks every chunk's CRC and the Adler-32 of the compressed stream; reads the file up to the end
 * of the chunk the stream ends in. Returns SPI_ALL_RIGHT, SPI_ABORT (asked by a callback),
 * SPI_NO_MEMORY or SPI_OUT_OF_ORDER (broken or truncated data). */
int32_t read_idat_rows(spi_source *src, uint32_t length, int channels, spi_out *out, SPI_PROGRESS progress,
                       intptr_t user);

#endif
