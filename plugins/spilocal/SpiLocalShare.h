/* Local memory in shared memory files, for Tapisto's plug-in helper process and its host; not part of
 * the plug-in interface. A block in a memory file reaches the other process as the file, without a
 * copy of its bytes. */
#ifndef TAPISTO_SPILOCALSHARE_H
#define TAPISTO_SPILOCALSHARE_H

#include "spi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* From now on, LocalAlloc puts blocks of at least `bytes` bytes into memory files of their own
 * (0: none). */
SPI_EXPORT void SpiLocalShareFrom(size_t bytes);
/* The memory file of a block that LocalAlloc put into one, or -1; the block keeps owning it. */
SPI_EXPORT int SpiLocalSharedFd(HLOCAL h);
/* A block of `size` bytes on the memory file `fd`, which must hold at least that many; the block owns
 * the descriptor from now on (also on failure, when it is closed). NULL when it cannot be mapped. */
SPI_EXPORT HLOCAL SpiLocalAdopt(int fd, size_t size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TAPISTO_SPILOCALSHARE_H */
