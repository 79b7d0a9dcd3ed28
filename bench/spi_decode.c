/* Decodes pictures with one plug-in in this process, the way the helper calls it, and prints each
 * picture's size, the result and a hash of its pixels: for timing a plug-in on its own (perf stat,
 * callgrind) and for comparing two builds of it picture by picture.
 * usage: spi_decode [--whole] [--repeat N] PLUGIN.spi PICTURE...
 *   rows (GetPictureRows, by the file) unless --whole (GetPicture of the file's bytes in memory);
 *   the hash is FNV-1a over every row's width * 3 bytes, top row first, either way. */
#include "spi.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    uint64_t hash;
    int32_t width, height, rows, blocks;
} rows_seen;

static uint64_t fnv(uint64_t h, const uint8_t *p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

static int32_t take_rows(const SPI_ROWBLOCK *block, intptr_t user)
{
    rows_seen *seen = (rows_seen *)user;
    if (block->format != SPI_ROWS_BGR || block->y != seen->rows)
        return 1;
    seen->width = block->width;
    seen->height = block->height;
    for (int32_t i = 0; i < block->count; ++i)
        seen->hash =
            fnv(seen->hash, (const uint8_t *)block->pixels + (intptr_t)i * block->stride, (size_t)block->width * 3);
    seen->rows += block->count;
    ++seen->blocks;
    return 0;
}

static char *read_file(const char *path, long *size)
{
    FILE *f = fopen(path, "rb");
    if (f == NULL)
        return NULL;
    char *data = NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (*size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0 &&
        (data = malloc((size_t)*size + 1)) != NULL && fread(data, 1, (size_t)*size, f) != (size_t)*size) {
        free(data);
        data = NULL;
    }
    fclose(f);
    return data;
}

static int32_t decode_whole(SPI_GetPicture get, const char *path, rows_seen *seen)
{
    long size = 0;
    char *data = read_file(path, &size);
    if (data == NULL)
        return SPI_FILE_READ_ERROR;
    HLOCAL info = NULL, bits = NULL;
    int32_t rc = get(data, size, SPI_INPUT_MEMORY, &info, &bits, NULL, 0);
    free(data);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    const SPI_BITMAPINFOHEADER *h = LocalLock(info);
    const uint8_t *p = LocalLock(bits);
    if (h->bitCount != 24) {
        rc = SPI_OTHER_ERROR;
    } else {
        const size_t stride = ((size_t)h->width * 3 + 3) / 4 * 4;
        const int32_t height = h->height < 0 ? -h->height : h->height;
        seen->width = h->width;
        seen->height = height;
        for (int32_t y = 0; y < height; ++y)
            seen->hash =
                fnv(seen->hash, p + stride * (size_t)(h->height < 0 ? y : height - 1 - y), (size_t)h->width * 3);
        seen->rows = height;
    }
    LocalUnlock(bits);
    LocalUnlock(info);
    LocalFree(bits);
    LocalFree(info);
    return rc;
}

int main(int argc, char **argv)
{
    int whole = 0, repeat = 1, first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        if (strcmp(argv[first], "--whole") == 0)
            whole = 1;
        else if (strcmp(argv[first], "--repeat") == 0 && first + 1 < argc)
            repeat = atoi(argv[++first]);
        else
            break;
    }
    if (argc - first < 2) {
        fprintf(stderr, "usage: spi_decode [--whole] [--repeat N] PLUGIN.spi PICTURE...\n");
        return 2;
    }
    void *lib = dlopen(argv[first], RTLD_NOW | RTLD_LOCAL);
    SPI_GetPictureRows rows = lib ? (SPI_GetPictureRows)dlsym(lib, "GetPictureRows") : NULL;
    SPI_GetPicture get = lib ? (SPI_GetPicture)dlsym(lib, "GetPicture") : NULL;
    if (get == NULL || (!whole && rows == NULL)) {
        fprintf(stderr, "spi_decode: %s: %s\n", argv[first], lib ? "no such export" : dlerror());
        return 2;
    }
    for (int i = first + 1; i < argc; ++i) {
        for (int r = 0; r < repeat; ++r) {
            rows_seen seen = {0xcbf29ce484222325ull, 0, 0, 0, 0};
            int32_t rc = whole ? decode_whole(get, argv[i], &seen)
                               : rows(argv[i], 0, SPI_INPUT_FILE, 0, 0, take_rows, NULL, (intptr_t)&seen);
            if (r == repeat - 1)
                printf("%s: rc %d, %dx%d, %d rows, hash %016llx\n", argv[i], rc, seen.width, seen.height, seen.rows,
                       (unsigned long long)seen.hash);
        }
    }
    return 0;
}
