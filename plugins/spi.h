/*
 * Tapisto picture plug-in interface (".spi" files), for 64-bit Linux processes.
 *
 * A plug-in is a shared library named "<something>.spi" (no "lib" prefix) that exports the functions
 * below with C linkage and default visibility. Link it with -Wl,-Bsymbolic so that its own internal
 * calls never bind to another plug-in's functions, and link it with libspilocal.so (LocalAlloc and
 * friends), which the host links as well: a handle that a plug-in allocates is freed by the host.
 *
 * Integers that are 32-bit in the interface stay int32_t; values that carry an address or a handle
 * are pointer-sized. Texts are zero-terminated, in the system code page (CP932).
 *
 * Which exports a plug-in must have depends on the API version text it answers for information
 * number 0:
 *   "00IN" picture import:  GetPluginInfo, IsSupported, GetPictureInfo, GetPicture
 *   "00AM" archive:         GetPluginInfo, IsSupported, GetArchiveInfo, GetFileInfo, GetFile
 *   anything else:          GetPluginInfo
 * GetPreview and ConfigurationDlg are optional. The host compares the version text exactly.
 * GetPictureRows is Tapisto's own optional extension (see the end of this file).
 *
 * Tapisto loads plug-ins into a helper process of its own (tapisto-spihelper) and calls them there, so
 * that a plug-in that crashes or never returns costs the picture it was reading, not the program. A
 * call that sends nothing back (no progress, no rows, no result) for about ten seconds is taken for a
 * hang and the helper is ended: a plug-in that decodes slowly should call its progress callback. The
 * helper loads only plug-ins that belong to the user or to root and that neither group nor others can
 * write, from folders that are as safe. Nothing else changes for a plug-in: the calls, the handles
 * and the callbacks work as described here.
 */
#ifndef TAPISTO_SPI_H
#define TAPISTO_SPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define SPI_EXPORT __attribute__((visibility("default")))
#else
#define SPI_EXPORT
#endif

/* ---- Local memory (libspilocal.so) ------------------------------------------------------------ */

/* A handle to a block of local memory. Only handles that LocalAlloc returned are valid; the
 * functions below recognise any other value and fail instead of touching it. */
typedef void *HLOCAL;

#define LMEM_FIXED 0x0000u    /* the handle is also the block's address */
#define LMEM_MOVEABLE 0x0002u /* use LocalLock to get the address (it never actually moves) */
#define LMEM_ZEROINIT 0x0040u /* the block starts filled with zero bytes */

/* A new block of at least `bytes` bytes, or NULL when memory is short. Other flags are ignored. */
SPI_EXPORT HLOCAL LocalAlloc(uint32_t flags, size_t bytes);
/* The block's address (NULL for an invalid handle); counts one more lock. */
SPI_EXPORT void *LocalLock(HLOCAL h);
/* Counts one lock less; returns non-zero while the block is still locked, 0 otherwise. */
SPI_EXPORT int32_t LocalUnlock(HLOCAL h);
/* The usable size of the block in bytes, 0 for an invalid handle. */
SPI_EXPORT size_t LocalSize(HLOCAL h);
/* Frees the block: returns NULL on success, the handle itself when it was not valid. */
SPI_EXPORT HLOCAL LocalFree(HLOCAL h);

/* ---- Results and flags ------------------------------------------------------------------------- */

#define SPI_ALL_RIGHT 0       /* success */
#define SPI_ABORT 1           /* the progress callback asked to stop */
#define SPI_NOT_SUPPORT 2     /* not a format this plug-in reads */
#define SPI_OUT_OF_ORDER 3    /* the data is broken */
#define SPI_NO_MEMORY 4       /* a block could not be allocated */
#define SPI_MEMORY_ERROR 5    /* a block could not be used */
#define SPI_FILE_READ_ERROR 6 /* the file could not be read */
#define SPI_OTHER_ERROR 8     /* anything else */

/* Low three bits of the `flag` argument: where the picture comes from. */
#define SPI_INPUT_FILE                                                                                                 \
    0                      /* `buf` is a file name, `len` the offset of the picture in that file; the name is the      \
                            * path as the file system spells it (UTF-8 on Linux) */
#define SPI_INPUT_MEMORY 1 /* `buf` is the picture's bytes, `len` their count (what Tapisto uses) */
#define SPI_INPUT_MASK 7

/* Progress callback handed to GetPicture: report `num` of `denom` done (0 <= num <= denom) and pass
 * back `user` unchanged. A non-zero result asks the plug-in to stop: it then frees what it allocated
 * and returns SPI_ABORT. */
typedef int32_t (*SPI_PROGRESS)(int32_t num, int32_t denom, intptr_t user);

#pragma pack(push, 1)
/* Picture information filled by GetPictureInfo (30 bytes, no padding). */
typedef struct {
    int32_t left, top;             /* position of the picture inside its file's canvas, usually 0 */
    int32_t width, height;         /* size in pixels */
    uint16_t x_density, y_density; /* pixels per inch, 0 when unknown */
    int16_t colorDepth;            /* bits per pixel of the stored picture */
    HLOCAL hInfo;                  /* LocalAlloc'd zero-terminated text about the picture, or NULL; the host frees it */
} SPI_PICTINFO;

/* The bitmap header that GetPicture returns: a 40-byte bitmap-information header, followed by
 * `clrUsed` colour-table entries (or 2^bitCount when clrUsed is 0 and bitCount <= 8), or by three
 * 32-bit colour masks (red, green, blue) when compression is SPI_BI_BITFIELDS. A longer header
 * (size > 40) is allowed; the colour table then follows the whole header. */
typedef struct {
    uint32_t size;        /* 40, or the size of a longer header */
    int32_t width;        /* pixels */
    int32_t height;       /* pixels; negative when rows are stored top to bottom */
    uint16_t planes;      /* 1 */
    uint16_t bitCount;    /* 1, 4, 8, 16, 24 or 32 */
    uint32_t compression; /* SPI_BI_RGB or SPI_BI_BITFIELDS */
    uint32_t sizeImage;   /* may be 0 */
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint32_t clrUsed; /* colour-table entries, 0 for the default */
    uint32_t clrImportant;
} SPI_BITMAPINFOHEADER;

/* One colour-table entry, stored blue, green, red, reserved. */
typedef struct {
    uint8_t blue, green, red, reserved;
} SPI_RGBQUAD;
#pragma pack(pop)

#define SPI_BI_RGB 0u
#define SPI_BI_BITFIELDS 3u

/* ---- Exports ----------------------------------------------------------------------------------- */

/* Information number `infono` as text into `buf` (at most `buflen` bytes plus the zero; the host
 * passes 255 for a 256-byte buffer). Returns the text's length, or 0 when there is no such number.
 *   0: API version ("00IN" for a picture reader)   1: the plug-in's name and copyright
 *   2, 4, 6, ...: a pattern list such as "*.png" or "*.tif;*.tiff"
 *   3, 5, 7, ...: the description of the pattern list just before it
 * The host stops at the first pattern list or description that is missing. */
SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen);

/* Non-zero when the plug-in reads this picture. `filename` is the picture's name (may be empty);
 * `data` points at the first 2048 bytes of the file (zero-filled past a shorter file's end). */
SPI_EXPORT int32_t IsSupported(const char *filename, const void *data);

/* Fills `info` for the picture in `buf` (see the flags above); returns SPI_ALL_RIGHT or an error. */
SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info);

/* Decodes the picture. On SPI_ALL_RIGHT, `*bitmapInfo` holds a LocalAlloc'd SPI_BITMAPINFOHEADER with
 * its colour table or masks, and `*bits` a LocalAlloc'd block with the pixel rows (each padded to a
 * multiple of 4 bytes, bottom row first unless the height is negative). The host owns and frees
 * both handles; both must be large enough for what the header claims, or the host rejects the
 * result. On any other result the plug-in has freed everything and the handles are not read.
 * `progress` may be NULL; call it now and then and stop when it returns non-zero. */
SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user);

/* Optional: a small version of the picture, same contract as GetPicture. */
SPI_EXPORT int32_t GetPreview(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user);

/* Optional: a settings dialog (fnc 0: about, 1: settings); Tapisto never calls it. */
SPI_EXPORT int32_t ConfigurationDlg(intptr_t parent, int32_t fnc);

/* Archive plug-ins ("00AM") only. Tapisto loads and lists them but never calls these. */
SPI_EXPORT int32_t GetArchiveInfo(const char *buf, intptr_t len, uint32_t flag, HLOCAL *info);
SPI_EXPORT int32_t GetFileInfo(const char *buf, intptr_t len, const char *filename, uint32_t flag, void *info);
SPI_EXPORT int32_t GetFile(const char *src, intptr_t len, char *dest, uint32_t flag, SPI_PROGRESS progress,
                           intptr_t user);

/* Pointer types of the exports, for hosts that look them up by name. */
typedef int32_t (*SPI_GetPluginInfo)(int32_t, char *, int32_t);
typedef int32_t (*SPI_IsSupported)(const char *, const void *);
typedef int32_t (*SPI_GetPictureInfo)(const char *, intptr_t, uint32_t, SPI_PICTINFO *);
typedef int32_t (*SPI_GetPicture)(const char *, intptr_t, uint32_t, HLOCAL *, HLOCAL *, SPI_PROGRESS, intptr_t);
typedef int32_t (*SPI_ConfigurationDlg)(intptr_t, int32_t);
typedef int32_t (*SPI_GetArchiveInfo)(const char *, intptr_t, uint32_t, HLOCAL *);
typedef int32_t (*SPI_GetFileInfo)(const char *, intptr_t, const char *, uint32_t, void *);
typedef int32_t (*SPI_GetFile)(const char *, intptr_t, char *, uint32_t, SPI_PROGRESS, intptr_t);

/* ---- Extension: rows as they are decoded (optional, Tapisto's own) ------------------------------- */

/* A picture reader may also export GetPictureRows. It decodes like GetPicture but hands the rows over,
 * top row first, as soon as they are ready, so that neither the plug-in nor the host has to hold the
 * whole picture. For a plug-in with the export, Tapisto may ask for a large picture by its file:
 * IsSupported on the first bytes, then GetPictureInfo and later GetPictureRows with SPI_INPUT_FILE.
 * Its width and height are then the full size. When GetPictureRows fails in any way (an error result,
 * or rows that break the rules below), Tapisto reads the file and calls GetPicture as always. A
 * plug-in without the export sees exactly the calls it always saw. */

#define SPI_ROWS_BGR 24  /* 3 bytes a pixel: blue, green, red */
#define SPI_ROWS_BGRX 32 /* 4 bytes a pixel: blue, green, red and a byte the host ignores */

/* One block of rows. Transparency is already composited (on black, for Tapisto's own plug-ins). */
typedef struct {
    int32_t width, height; /* the picture as handed over, the same in every block: GetPictureInfo's
                            * size, or a smaller one as GetPictureRows allows */
    int32_t y, count;      /* this block holds `count` (> 0) rows from row `y`, counted from the top */
    int32_t format;        /* SPI_ROWS_BGR or SPI_ROWS_BGRX, the same in every block */
    intptr_t stride;       /* bytes from one row's start to the next's, at least width * bytes a pixel */
    const void *pixels;    /* row y's first pixel; read only during the call */
} SPI_ROWBLOCK;

/* Takes one block. Blocks come in order, each row exactly once, the first at row 0, all from the
 * thread that called GetPictureRows and before it returns. Returns 0 to go on; non-zero asks the
 * plug-in to stop: it calls no more, frees what it allocated and returns SPI_ABORT. */
typedef int32_t (*SPI_ROWS)(const SPI_ROWBLOCK *block, intptr_t user);

/* Decodes the picture of `buf`/`len`/`flag` (as GetPicture) into rows for `rows`. `wantWidth` and
 * `wantHeight` are the size the host will shrink the picture to, or both 0 when it needs the full
 * size: a plug-in that can decode at a reduced size more cheaply may hand over the picture at any size
 * from that up to the full size in each direction; any other plug-in ignores them. Returns
 * SPI_ALL_RIGHT once the last row was taken; on any other result the host discards what it got.
 * `progress` may be NULL; both callbacks get `user`. */
SPI_EXPORT int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                                  SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user);
typedef int32_t (*SPI_GetPictureRows)(const char *, intptr_t, uint32_t, int32_t, int32_t, SPI_ROWS, SPI_PROGRESS,
                                      intptr_t);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TAPISTO_SPI_H */
