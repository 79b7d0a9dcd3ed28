/* Most of a large PNG's decoding time goes into inflating its image data. libpng inflates it with
 * zlib a row at a time, has zlib compute the checksums and reads the file in small pieces. Here the
 * stream is inflated in batches of rows straight into place by ISA-L's inflate (2.5 times zlib's
 * speed, its Adler-32 and CRC-32 several times zlib's), and the file is read 64 KiB at a time.
 * Inflating stays streamed, with memory of a few batches: libdeflate, as fast, only inflates whole
 * buffers, which would hold the picture's whole filtered data (36 MB for 4000x3000) and its
 * compressed data at once. Where ISA-L is missing (it is built for few processors), zlib inflates.
 *
 * What a picture decodes to, and which damage fails it, are libpng's: every chunk's CRC is checked
 * (up to the end of the chunk the stream ends in), the stream must hold every row, and data it
 * holds after the last row is inflated and ignored. The Adler-32 is always checked (libpng let a
 * wrong one pass when it came to it after the last row). */
#include "pngidat.h"

#include <stdlib.h>
#include <string.h>
#ifdef TAPISTO_PNG_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

enum {
    kInputBytes = 64 * 1024, /* read from the file at a time */
    kBatchBytes = 128 * 1024 /* of filtered rows inflated at a time */
};

static const uint8_t kIdat[4] = {'I', 'D', 'A', 'T'};

typedef struct {
    spi_source *src;
    uint8_t *input;
    const uint8_t *next; /* the input not given to the inflater yet */
    size_t left;
    uint32_t chunkLeft; /* data bytes of the current chunk not read yet */
    uint32_t crc;       /* of the current chunk's type and data so far */
    int ended;          /* the compressed stream and its checksum have ended */
#ifdef TAPISTO_PNG_ISAL
    struct inflate_state *isal;
#else
    z_stream z;
    int zlibStarted;
    int deflateEnded; /* the Adler-32 comes next */
    uint32_t adler;   /* of the inflated bytes so far */
#endif
} idat_reader;

static uint32_t be32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static uint32_t crc_update(uint32_t crc, const uint8_t *data, size_t n)
{
#ifdef TAPISTO_PNG_ISAL
    return crc32_gzip_refl(crc, (unsigned char *)data, n);
#else
    return (uint32_t)crc32(crc, data, (uInt)n);
#endif
}

/* Reads the rest of the current chunk and its CRC; 1 when that matches. */
static int end_chunk(idat_reader *r)
{
    while (r->chunkLeft > 0) {
        const size_t n = r->chunkLeft < kInputBytes ? r->chunkLeft : kInputBytes;
        if (spi_source_read(r->src, r->input, n) != n)
            return 0;
        r->crc = crc_update(r->crc, r->input, n);
        r->chunkLeft -= (uint32_t)n;
    }
    uint8_t crc[4];
    return spi_source_read(r->src, crc, 4) == 4 && be32(crc) == r->crc;
}

/* The next piece of the image data, once the inflater has taken all before it. Returns 1, or 0 when
 * the data is broken or there is no more (the next chunk is another one). */
static int refill(idat_reader *r)
{
    while (r->chunkLeft == 0) {
        uint8_t header[8];
        if (!end_chunk(r) || spi_source_read(r->src, header, 8) != 8 || memcmp(header + 4, kIdat, 4) != 0 ||
            be32(header) > 0x7fffffffu)
            return 0;
        r->chunkLeft = be32(header);
        r->crc = crc_update(0, kIdat, 4);
    }
    const size_t n = r->chunkLeft < kInputBytes ? r->chunkLeft : kInputBytes;
    if (spi_source_read(r->src, r->input, n) != n)
        return 0;
    r->crc = crc_update(r->crc, r->input, n);
    r->chunkLeft -= (uint32_t)n;
    r->next = r->input;
    r->left = n;
    return 1;
}

/* Takes `n` bytes of the stream that the inflater does not read itself. */
static int take(idat_reader *r, uint8_t *to, size_t n)
{
    while (n > 0) {
        if (r->left == 0 && !refill(r))
            return 0;
        const size_t k = n < r->left ? n : r->left;
        memcpy(to, r->next, k);
        r->next += k;
        r->left -= k;
        to += k;
        n -= k;
    }
    return 1;
}

/* ---- The inflater: one step at a time, counting what it gives and takes ------------------------- */

enum { kStepOn, kStepEnded, kStepBroken, kStepNoMemory };

#ifdef TAPISTO_PNG_ISAL

static int32_t start_inflater(idat_reader *r)
{
    r->isal = malloc(sizeof *r->isal);
    if (r->isal == NULL)
        return SPI_NO_MEMORY;
    isal_inflate_init(r->isal);
    /* A raw stream with its Adler-32 after it, checked. */
    r->isal->crc_flag = ISAL_ZLIB_NO_HDR_VER;
    return SPI_ALL_RIGHT;
}

static int inflate_step(idat_reader *r, uint8_t *to, size_t n, size_t *made)
{
    struct inflate_state *s = r->isal;
    s->next_in = (uint8_t *)r->next;
    s->avail_in = (uint32_t)r->left;
    s->next_out = to;
    s->avail_out = (uint32_t)n;
    const int rc = isal_inflate(s);
    *made = n - s->avail_out;
    r->next = s->next_in;
    r->left = s->avail_in;
    if (rc != ISAL_DECOMP_OK)
        return kStepBroken;
    return s->block_state == ISAL_BLOCK_FINISH ? kStepEnded : kStepOn;
}

static void stop_inflater(idat_reader *r)
{
    free(r->isal);
}

#else

static int32_t start_inflater(idat_reader *r)
{
    const int rc = inflateInit2(&r->z, -15);
    if (rc != Z_OK)
        return rc == Z_MEM_ERROR ? SPI_NO_MEMORY : SPI_OUT_OF_ORDER;
    r->zlibStarted = 1;
    r->adler = 1;
    return SPI_ALL_RIGHT;
}

static int inflate_step(idat_reader *r, uint8_t *to, size_t n, size_t *made)
{
    *made = 0;
    if (r->deflateEnded) {
        uint8_t trailer[4];
        return take(r, trailer, 4) && be32(trailer) == r->adler ? kStepEnded : kStepBroken;
    }
    r->z.next_in = (Bytef *)r->next;
    r->z.avail_in = (uInt)r->left;
    r->z.next_out = to;
    r->z.avail_out = (uInt)n;
    const int rc = inflate(&r->z, Z_NO_FLUSH);
    *made = n - r->z.avail_out;
    r->next = r->z.next_in;
    r->left = r->z.avail_in;
    r->adler = (uint32_t)adler32(r->adler, to, (uInt)*made);
    if (rc == Z_STREAM_END) {
        r->deflateEnded = 1;
        return kStepOn;
    }
    if (rc == Z_MEM_ERROR)
        return kStepNoMemory;
    return rc == Z_OK || (rc == Z_BUF_ERROR && r->left == 0) ? kStepOn : kStepBroken;
}

static void stop_inflater(idat_reader *r)
{
    if (r->zlibStarted)
        inflateEnd(&r->z);
}

#endif

/* The zlib header, then the inflater. Its window is always the largest: neither zlib nor ISA-L
 * refuse a distance beyond the header's window when they still hold the data, so a stream that
 * names too small a window (which some writers do) is read; libpng refused some of them, depending
 * on where its rows ended. */
static int32_t begin_stream(idat_reader *r)
{
    uint8_t h[2];
    if (!take(r, h, 2) || (h[0] * 256u + h[1]) % 31 != 0 || (h[0] & 15) != 8 || (h[0] >> 4) > 7 || (h[1] & 0x20))
        return SPI_OUT_OF_ORDER;
    return start_inflater(r);
}

/* Inflates into `to` until `n` bytes are there. Returns 1 when it could (the stream may end with the
 * last byte), or with `ignoreEnd` when the stream ended before; 0 when the stream is broken or ends
 * too soon; -1 when memory ran out. `n` is at most one batch. */
static int inflate_into(idat_reader *r, uint8_t *to, size_t n, int ignoreEnd)
{
    size_t got = 0;
    while (got < n) {
        const size_t before = r->left;
        size_t made = 0;
        const int step = inflate_step(r, to + got, n - got, &made);
        got += made;
        if (step == kStepEnded) {
            r->ended = 1;
            return got == n || ignoreEnd;
        }
        if (step != kStepOn)
            return step == kStepNoMemory ? -1 : 0;
        /* None taken and none made is broken data; more input when the inflater took all it had. */
        if (made == 0 && r->left == before && before > 0)
            return 0;
        if (r->left == 0 && got < n && !refill(r))
            return 0;
    }
    return 1;
}

/* After the last row: the rest of the stream (inflated and thrown away), its Adler-32, and the end of
 * the chunk it ends in. */
static int32_t end_stream(idat_reader *r)
{
    uint8_t spare[4096];
    while (!r->ended) {
        const int rc = inflate_into(r, spare, sizeof spare, 1);
        if (rc <= 0)
            return rc < 0 ? SPI_NO_MEMORY : SPI_OUT_OF_ORDER;
    }
    return end_chunk(r) ? SPI_ALL_RIGHT : SPI_OUT_OF_ORDER;
}

/* The neighbour the Paeth filter predicts from (left `a`, above `b`, above left `c`): the first of
 * them closest to a + b - c. Without branches: on photographs they would be mispredicted about
 * every other byte, which costs several times the arithmetic. */
static inline uint8_t paeth(int a, int b, int c)
{
    const int p = b - c, q = a - c;
    int pa = abs(p), pb = abs(q), pc = abs(p + q);
    int take = -(pb < pa);
    a = (a & ~take) | (b & take);
    pa = (pa & ~take) | (pb & take);
    take = -(pc < pa);
    return (uint8_t)((a & ~take) | (c & take));
}

/* Undoes the filter of one row of `n` bytes, `bpp` bytes a pixel, whose row above is `up` (zeros
 * for the first). Returns 0 for a filter type that does not exist. */
static inline int unfilter(uint8_t *row, const uint8_t *up, size_t n, size_t bpp, int type)
{
    switch (type) {
    case 0:
        return 1;
    case 1:
        for (size_t i = bpp; i < n; ++i)
            row[i] = (uint8_t)(row[i] + row[i - bpp]);
        return 1;
    case 2:
        for (size_t i = 0; i < n; ++i)
            row[i] = (uint8_t)(row[i] + up[i]);
        return 1;
    case 3:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = (uint8_t)(row[i] + (up[i] >> 1));
        for (size_t i = bpp; i < n; ++i)
            row[i] = (uint8_t)(row[i] + ((row[i - bpp] + up[i]) >> 1));
        return 1;
    case 4:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = (uint8_t)(row[i] + up[i]);
        for (size_t i = bpp; i < n; ++i)
            row[i] = (uint8_t)(row[i] + paeth(row[i - bpp], up[i], up[i - bpp]));
        return 1;
    default:
        return 0;
    }
}

/* Red, green, blue (and alpha) into blue, green, red, composited on black as libpng's rows are. */
static void to_bgr(uint8_t *bgr, const uint8_t *rgb, int32_t width, int channels)
{
    if (channels == 3) {
        for (int32_t x = 0; x < width; ++x, rgb += 3, bgr += 3) {
            bgr[0] = rgb[2];
            bgr[1] = rgb[1];
            bgr[2] = rgb[0];
        }
        return;
    }
    for (int32_t x = 0; x < width; ++x, rgb += 4, bgr += 3) {
        const unsigned a = rgb[3];
        bgr[0] = (uint8_t)((rgb[2] * a + 127) / 255);
        bgr[1] = (uint8_t)((rgb[1] * a + 127) / 255);
        bgr[2] = (uint8_t)((rgb[0] * a + 127) / 255);
    }
}

/* The rows, a batch at a time: inflated into place, unfiltered, turned into blue, green, red and
 * handed over. */
static int32_t read_rows(idat_reader *r, int channels, spi_out *out, SPI_PROGRESS progress, intptr_t user)
{
    const int32_t width = out->width, height = out->height;
    const size_t bpp = (size_t)channels, rowBytes = (size_t)width * bpp, stride = rowBytes + 1;
    const size_t outStride = (size_t)width * 3;
    size_t batch = kBatchBytes / stride;
    batch = batch < 1 ? 1 : batch > (size_t)height ? (size_t)height : batch;
    uint8_t *filtered = malloc(batch * stride);
    uint8_t *above = calloc(1, stride); /* the last row of the batch before */
    /* Rows for the host wait in `block`; a bitmap result's rows are made in place. */
    uint8_t *block = out->rows != NULL ? malloc(batch * outStride) : NULL;
    int32_t result = SPI_NO_MEMORY;
    if (filtered == NULL || above == NULL || (out->rows != NULL && block == NULL))
        goto done;
    result = SPI_ABORT;
    if (spi_progress(progress, 0, height, user))
        goto done;
    for (int32_t y0 = 0; y0 < height; y0 += (int32_t)batch) {
        const size_t n = (size_t)(height - y0) < batch ? (size_t)(height - y0) : batch;
        const int inflated = inflate_into(r, filtered, n * stride, 0);
        if (inflated <= 0) {
            result = inflated < 0 ? SPI_NO_MEMORY : SPI_OUT_OF_ORDER;
            goto done;
        }
        for (size_t i = 0; i < n; ++i) {
            uint8_t *row = filtered + i * stride;
            const uint8_t *up = i > 0 ? row - stride + 1 : above + 1;
            const int known =
                bpp == 3 ? unfilter(row + 1, up, rowBytes, 3, row[0]) : unfilter(row + 1, up, rowBytes, 4, row[0]);
            if (!known) {
                result = SPI_OUT_OF_ORDER;
                goto done;
            }
            const int32_t y = y0 + (int32_t)i;
            to_bgr(block != NULL ? block + i * outStride : spi_out_row(out, y), row + 1, width, channels);
            if (((y + 1) & 31) == 0 && spi_progress(progress, y + 1, height, user))
                goto done;
        }
        memcpy(above, filtered + (n - 1) * stride, stride);
        if (block != NULL && spi_out_rows(out, y0, (int32_t)n, block, (intptr_t)outStride))
            goto done;
    }
    result = end_stream(r);
    if (result == SPI_ALL_RIGHT && spi_progress(progress, height, height, user))
        result = SPI_ABORT;
done:
    free(filtered);
    free(above);
    free(block);
    return result;
}

int32_t read_idat_rows(spi_source *src, uint32_t length, int channels, spi_out *out, SPI_PROGRESS progress,
                       intptr_t user)
{
    if (channels != 3 && channels != 4)
        return SPI_OUT_OF_ORDER;
    idat_reader r;
    memset(&r, 0, sizeof r);
    r.src = src;
    r.chunkLeft = length;
    r.crc = crc_update(0, kIdat, 4);
    r.input = malloc(kInputBytes);
    if (r.input == NULL)
        return SPI_NO_MEMORY;
    int32_t result = begin_stream(&r);
    if (result == SPI_ALL_RIGHT)
        result = read_rows(&r, channels, out, progress, user);
    stop_inflater(&r);
    free(r.input);
    return result;
}
