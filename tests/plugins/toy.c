/* Test plug-in reading the toy picture format, built in several variants (see CMakeLists.txt)
 * whose answers and exports differ. The file's own header asks for odd results.
 *
 * Toy file, little-endian: "TOY1", int32 width, int32 height, uint16 bit count (4, 8, 24, 32),
 * uint16 options (TOY_* below), uint32 colour count written into the result's header. Pixels are
 * computed, not stored. With TOY_SPI_LOG set, every call appends one line to that file.
 * The "rows" variant also exports GetPictureRows, whose lies the TOY_ROWS_* options ask for; a lying
 * plug-in ignores the host's request to stop and goes on to the end. */
#include "spi.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Each variant answers its own texts; TOY_TAG names it in the log. */
#if defined(TOY_SECOND)
#define TOY_TAG "toy2"
#define TOY_TEXTS "00IN", "Second toy reader", "*.toy", "Toy picture again"
#elif defined(TOY_OTHER)
#define TOY_TAG "other"
#define TOY_TEXTS "00IN", "Other reader", "*.oth", "Other picture"
#elif defined(TOY_LOWER)
#define TOY_TAG "lower"
#define TOY_TEXTS "00in", "Lower-case version", "*.low", "Lower picture"
#elif defined(TOY_ARCHIVE)
#define TOY_TAG "archive"
#define TOY_TEXTS "00AM", "Toy archive", "*.tar", "Toy archive file"
#elif defined(TOY_XN)
#define TOY_TAG "xn"
#define TOY_TEXTS "00XN", "Toy filter"
#elif defined(TOY_HALF_PAIR)
#define TOY_TAG "half"
#define TOY_TEXTS "00IN", "Half a pair", "*.hp1", "First pair", "*.hp2"
#elif defined(TOY_PATTERNS)
#define TOY_TAG "patterns"
#define TOY_TEXTS "00IN", "Pattern reader", "*.jpg;*.jpeg", "JPEG by toy", "*.bmp", "Bitmap by toy", "*", "Anything"
#elif defined(TOY_JPE)
#define TOY_TAG "jpe"
#define TOY_TEXTS "00IN", "JPE reader", "*.jpg;*.jpe", "jpg then jpe", "*.jpe;*.jpg", "jpe then jpg"
#elif defined(TOY_ROWS)
#define TOY_TAG "rows"
#define TOY_TEXTS "00IN", "Row reader", "*.toy", "Toy picture by rows"
#elif defined(TOY_SILENT)
#define TOY_TAG "silent"
#define TOY_TEXTS NULL
#else
#define TOY_TAG "toy"
#define TOY_TEXTS "00IN", "Toy reader", "*.toy", "Toy picture"
#endif

enum {
    TOY_TOPDOWN = 0x0001,      /* negative height, top row first */
    TOY_SHORT_BITS = 0x0002,   /* the pixel handle is smaller than the header claims */
    TOY_SHORT_HEADER = 0x0004, /* the header handle is smaller than 40 bytes */
    TOY_HUGE = 0x0008,         /* the header claims an enormous picture */
    TOY_BITFIELDS = 0x0010,    /* 32-bit with colour masks in red, green, blue, x byte order */
    TOY_BIG_HEADER = 0x0020,   /* a 108-byte header before the colour table */
    TOY_FAIL = 0x0040,         /* GetPicture refuses */
    TOY_INFO_TEXT = 0x0080,    /* GetPictureInfo returns a text */
    TOY_FAIL_INFO = 0x0100,    /* GetPictureInfo refuses */
    TOY_BAD_HANDLE = 0x0200,   /* the pixel "handle" was never allocated */
    TOY_NO_TABLE = 0x0400,     /* the header handle has no room for the colour table */
    TOY_ROWS_FAIL = 0x0800,    /* GetPictureRows fails half-way */
    TOY_ROWS_WIDTH = 0x1000,   /* the blocks claim one pixel more than the picture has */
    TOY_ROWS_SKIP = 0x2000,    /* row 1 is never handed over */
    TOY_ROWS_SHORT = 0x4000,   /* the last row is missing, yet the result is success */
    TOY_ROWS_MORE = 0x8000,    /* the last block claims one row past the end */
};

__attribute__((unused)) static const char *const kTexts[] = {TOY_TEXTS, NULL};

static void log_line(const char *fmt, const char *func, const char *text, long long number)
{
    const char *path = getenv("TOY_SPI_LOG");
    if (path == NULL)
        return;
    FILE *f = fopen(path, "a");
    if (f == NULL)
        return;
    fprintf(f, "%s %s ", TOY_TAG, func);
    fprintf(f, fmt, text, number);
    fputc('\n', f);
    fclose(f);
}

typedef struct {
    int32_t width, height;
    uint16_t bits, options;
    uint32_t colors;
} toy_header;

__attribute__((unused)) static int parse(const char *data, intptr_t len, toy_header *h)
{
    if (data == NULL || len < 20 || memcmp(data, "TOY1", 4) != 0)
        return 0;
    memcpy(&h->width, data + 4, 4);
    memcpy(&h->height, data + 8, 4);
    memcpy(&h->bits, data + 12, 2);
    memcpy(&h->options, data + 14, 2);
    memcpy(&h->colors, data + 16, 4);
    return h->width > 0 && h->height > 0 && h->width <= 4096 && h->height <= 4096 &&
           (h->bits == 4 || h->bits == 8 || h->bits == 24 || h->bits == 32);
}

/* The data for `buf`/`len`/`flag`: the memory itself, or the first bytes of the file from offset `len`
 * (a toy picture's pixels are computed, so its header is all there is to read). */
__attribute__((unused)) static int toy_input(const char *buf, intptr_t len, uint32_t flag, char *copy,
                                             const char **data, intptr_t *size)
{
    if ((flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY) {
        *data = buf;
        *size = len;
        return 1;
    }
    FILE *f = (flag & SPI_INPUT_MASK) == SPI_INPUT_FILE && buf != NULL ? fopen(buf, "rb") : NULL;
    if (f == NULL)
        return 0;
    size_t n = fseek(f, (long)len, SEEK_SET) == 0 ? fread(copy, 1, 20, f) : 0;
    fclose(f);
    *data = copy;
    *size = (intptr_t)n;
    return 1;
}

#ifndef TOY_NO_PLUGININFO
SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    if (infono < 0 || buflen <= 0)
        return 0;
    for (int32_t i = 0; i < infono; ++i)
        if (kTexts[i] == NULL)
            return 0;
    if (kTexts[infono] == NULL)
        return 0;
#ifdef TOY_UNTERMINATED
    /* Fills one byte more than asked, with no terminating zero. */
    memset(buf, 'A', (size_t)buflen + 1);
    return buflen + 1;
#else
    snprintf(buf, (size_t)buflen, "%s", kTexts[infono]);
    return (int32_t)strlen(buf);
#endif
}
#endif

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    const unsigned char *d = data;
    int nonzero = 0;
    for (int i = 0; i < 2048; ++i) /* the host promises 2048 readable bytes */
        nonzero += d[i] != 0;
    log_line("name=%s nonzero=%lld", "IsSupported", filename ? filename : "(null)", nonzero);
    return memcmp(d, "TOY1", 4) == 0;
}

#if !defined(TOY_ARCHIVE) && !defined(TOY_XN)
SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    log_line("flag=%s len=%lld", "GetPictureInfo", flag == 1 ? "1" : "other", (long long)len);
    char copy[20];
    toy_header h;
    if (!toy_input(buf, len, flag, copy, &buf, &len) || !parse(buf, len, &h) || (h.options & TOY_FAIL_INFO))
        return SPI_NOT_SUPPORT;
    memset(info, 0, sizeof *info);
    info->left = 1;
    info->top = 2;
    info->width = h.width;
    info->height = h.height;
    info->x_density = 72;
    info->y_density = 96;
    info->colorDepth = (int16_t)h.bits;
    if (h.options & TOY_INFO_TEXT) {
        /* Exactly the text's bytes, no terminating zero: the host must stop at the handle's end. */
        info->hInfo = LocalAlloc(LMEM_MOVEABLE, 8);
        memcpy(LocalLock(info->hInfo), "toy info", 8);
        LocalUnlock(info->hInfo);
    }
    return SPI_ALL_RIGHT;
}

__attribute__((unused)) static uint32_t table_entries(const toy_header *h)
{
    return h->bits > 8 ? 0 : h->colors ? h->colors : (1u << h->bits);
}

__attribute__((unused)) static void put_pixel(uint8_t *row, const toy_header *h, int32_t x, int32_t y)
{
    const uint32_t entries = table_entries(h);
    switch (h->bits) {
    case 4: {
        uint8_t index = (uint8_t)((x + y) % entries);
        row[x / 2] |= (uint8_t)(x % 2 ? index : index << 4);
        break;
    }
    case 8:
        row[x] = (uint8_t)((x + y) % entries);
        break;
    case 24:
        row[x * 3] = (uint8_t)(x * 16 + 1);
        row[x * 3 + 1] = (uint8_t)(y * 16 + 2);
        row[x * 3 + 2] = (uint8_t)((x + y) * 8 + 3);
        break;
    case 32:
        if (h->options & TOY_BITFIELDS) { /* red, green, blue, unused */
            row[x * 4] = (uint8_t)((x + y) * 8 + 3);
            row[x * 4 + 1] = (uint8_t)(y * 16 + 2);
            row[x * 4 + 2] = (uint8_t)(x * 16 + 1);
        } else {
            row[x * 4] = (uint8_t)(x * 16 + 1);
            row[x * 4 + 1] = (uint8_t)(y * 16 + 2);
            row[x * 4 + 2] = (uint8_t)((x + y) * 8 + 3);
        }
        row[x * 4 + 3] = 0x7f;
        break;
    }
}

#ifndef TOY_NO_GETPICTURE
SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    log_line("flag=%s len=%lld", "GetPicture", flag == 1 ? "1" : "other", (long long)len);
    char copy[20];
    toy_header h;
    if (!toy_input(buf, len, flag, copy, &buf, &len) || !parse(buf, len, &h) || (h.options & TOY_FAIL))
        return SPI_NOT_SUPPORT;
    if (progress && progress(0, h.height, user))
        return SPI_ABORT;
    const uint32_t headerSize = (h.options & TOY_BIG_HEADER) ? 108 : 40;
    const uint32_t entries = table_entries(&h);
    const uint32_t extra = (h.options & TOY_BITFIELDS) ? 12 : entries * 4;
    const size_t stride = ((size_t)h.width * h.bits + 31) / 32 * 4;
    size_t headerBytes = (h.options & TOY_SHORT_HEADER) ? 16 : headerSize + extra;
    if (h.options & TOY_NO_TABLE)
        headerBytes = headerSize;
    size_t bitsBytes = stride * (size_t)h.height;
    HLOCAL hh = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, headerSize + extra);
    HLOCAL hb = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, bitsBytes);
    uint8_t *header = LocalLock(hh), *pixels = LocalLock(hb);
    SPI_BITMAPINFOHEADER bi = {0};
    bi.size = headerSize;
    bi.width = h.width;
    bi.height = (h.options & TOY_TOPDOWN) ? -h.height : h.height;
    bi.planes = 1;
    bi.bitCount = h.bits;
    bi.compression = (h.options & TOY_BITFIELDS) ? SPI_BI_BITFIELDS : SPI_BI_RGB;
    bi.clrUsed = h.colors;
    if (h.options & TOY_HUGE)
        bi.width = bi.height = 0x7fffffff;
    memcpy(header, &bi, sizeof bi);
    if (h.options & TOY_BITFIELDS) {
        const uint32_t masks[3] = {0x000000ffu, 0x0000ff00u, 0x00ff0000u};
        memcpy(header + headerSize, masks, sizeof masks);
    }
    for (uint32_t i = 0; i < entries && !(h.options & TOY_BITFIELDS); ++i) {
        SPI_RGBQUAD q = {(uint8_t)(i * 3), (uint8_t)(i * 5), (uint8_t)(i * 7), 0};
        memcpy(header + headerSize + i * 4, &q, 4);
    }
    for (int32_t y = 0; y < h.height; ++y) {
        const int32_t stored = (h.options & TOY_TOPDOWN) ? y : h.height - 1 - y;
        for (int32_t x = 0; x < h.width; ++x)
            put_pixel(pixels + (size_t)stored * stride, &h, x, y);
        if (progress && progress(y + 1, h.height, user)) {
            LocalUnlock(hh);
            LocalUnlock(hb);
            LocalFree(hh);
            LocalFree(hb);
            return SPI_ABORT;
        }
    }
    LocalUnlock(hh);
    LocalUnlock(hb);
    /* The lies: copy into smaller blocks than the header claims. */
    if (headerBytes < headerSize + extra) {
        HLOCAL small = LocalAlloc(LMEM_FIXED, headerBytes);
        memcpy(small, hh, headerBytes);
        LocalFree(hh);
        hh = small;
    }
    if (h.options & TOY_SHORT_BITS) {
        HLOCAL small = LocalAlloc(LMEM_FIXED, bitsBytes / 2);
        memcpy(small, hb, bitsBytes / 2);
        LocalFree(hb);
        hb = small;
    }
    if (h.options & TOY_BAD_HANDLE) {
        static uint8_t notABlock[64];
        LocalFree(hb);
        hb = notABlock;
    }
    *bitmapInfo = hh;
    *bits = hb;
    return SPI_ALL_RIGHT;
}
#endif
#endif

#ifdef TOY_ROWS
/* The true-colour toy pictures in blocks of 1 and 2 rows, 24-bit ones as SPI_ROWS_BGR and 32-bit ones
 * (their fourth byte 0x7f) as SPI_ROWS_BGRX, rows 4 bytes apart more than they need. Indexed pictures
 * are refused, so the host has to fall back to GetPicture. */
SPI_EXPORT int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                                  SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user)
{
    char text[64];
    snprintf(text, sizeof text, "flag=%s want=%dx%d", flag == 1 ? "1" : "other", (int)wantWidth, (int)wantHeight);
    log_line("%s len=%lld", "GetPictureRows", text, (long long)len);
    char copy[20];
    toy_header h;
    if (!toy_input(buf, len, flag, copy, &buf, &len) || !parse(buf, len, &h) || rows == NULL)
        return SPI_NOT_SUPPORT;
    if (h.bits < 24 || (h.options & TOY_BITFIELDS))
        return SPI_NOT_SUPPORT;
    const int lying = (h.options & (TOY_ROWS_WIDTH | TOY_ROWS_SKIP | TOY_ROWS_SHORT | TOY_ROWS_MORE)) != 0;
    const size_t stride = (size_t)h.width * (h.bits / 8) + 4;
    uint8_t *pixels = calloc(3, stride);
    if (pixels == NULL)
        return SPI_NO_MEMORY;
    int32_t rc = SPI_ALL_RIGHT, stopped = 0, step = 1;
    if (progress && progress(0, h.height, user))
        rc = SPI_ABORT;
    for (int32_t y = 0; rc == SPI_ALL_RIGHT && y < h.height; y += step, step = 3 - step) {
        if ((h.options & TOY_ROWS_FAIL) && y >= h.height / 2) {
            rc = SPI_OUT_OF_ORDER;
            break;
        }
        if ((h.options & TOY_ROWS_SHORT) && y == h.height - 1)
            break;
        const int32_t count = step < h.height - y ? step : h.height - y;
        memset(pixels, 0, 2 * stride);
        for (int32_t r = 0; r < count; ++r)
            for (int32_t x = 0; x < h.width; ++x)
                put_pixel(pixels + (size_t)r * stride, &h, x, y + r);
        SPI_ROWBLOCK block = {h.width,          h.height, y, count, h.bits == 24 ? SPI_ROWS_BGR : SPI_ROWS_BGRX,
                              (intptr_t)stride, pixels};
        if (h.options & TOY_ROWS_WIDTH)
            block.width = h.width + 1;
        if ((h.options & TOY_ROWS_SKIP) && y == 1 && h.height > 2)
            block.y = 2;
        if ((h.options & TOY_ROWS_MORE) && y + count == h.height)
            block.count = count + 1;
        stopped |= rows(&block, user) != 0;
        if (stopped && !lying)
            rc = SPI_ABORT;
        else if (progress && progress(y + count, h.height, user))
            rc = SPI_ABORT;
    }
    free(pixels);
    return rc;
}
#endif

#ifdef TOY_ARCHIVE
SPI_EXPORT int32_t GetArchiveInfo(const char *buf, intptr_t len, uint32_t flag, HLOCAL *info)
{
    (void)buf;
    (void)len;
    (void)flag;
    (void)info;
    return SPI_NOT_SUPPORT;
}

SPI_EXPORT int32_t GetFileInfo(const char *buf, intptr_t len, const char *filename, uint32_t flag, void *info)
{
    (void)buf;
    (void)len;
    (void)filename;
    (void)flag;
    (void)info;
    return SPI_NOT_SUPPORT;
}

SPI_EXPORT int32_t GetFile(const char *src, intptr_t len, char *dest, uint32_t flag, SPI_PROGRESS progress,
                           intptr_t user)
{
    (void)src;
    (void)len;
    (void)dest;
    (void)flag;
    (void)progress;
    (void)user;
    return SPI_NOT_SUPPORT;
}
#endif
