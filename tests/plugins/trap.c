/* Test plug-in that crashes or hangs on demand, for the helper process that runs plug-ins.
 *
 * Trap file: "TRAP" then four bytes that say what GetPicture does: "GOOD" reads a 2 x 2 picture,
 * "CRSH" crashes, "LOOP" never returns and never reports progress. GetPluginInfo crashes when a
 * file named like the plug-in with ".crash" appended lies beside it, and hangs with ".loop". */
#define _GNU_SOURCE
#include "spi.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char *const kTexts[] = {"00IN", "Trap reader", "*.trap", "Trap picture", NULL};

static volatile unsigned spin; /* unsigned: it wraps instead of overflowing */

/* A trap instruction rather than a store through null: the sanitizer build catches the store and
 * spends longer writing its report than the helper's short test timeout, so the crash would read as a
 * hang there. SIGILL is left alone by the sanitizers, and the helper dies at once as a release build does. */
static void crash(void)
{
    __builtin_trap();
}

static void hang(void)
{
    for (;;)
        spin = spin + 1;
}

/* Whether the marker `<this plug-in's path><suffix>` exists. */
static int marked(const char *suffix)
{
    Dl_info self;
    char path[4096];
    if (dladdr((void *)&marked, &self) == 0 || self.dli_fname == NULL)
        return 0;
    snprintf(path, sizeof path, "%s%s", self.dli_fname, suffix);
    return access(path, F_OK) == 0;
}

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    if (marked(".crash"))
        crash();
    if (marked(".loop"))
        hang();
    if (infono < 0 || infono > 3 || buflen <= 0)
        return 0;
    snprintf(buf, (size_t)buflen, "%s", kTexts[infono]);
    return (int32_t)strlen(buf);
}

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    (void)filename;
    return memcmp(data, "TRAP", 4) == 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_MEMORY || len < 8 || memcmp(buf, "TRAP", 4) != 0)
        return SPI_NOT_SUPPORT;
    memset(info, 0, sizeof *info);
    info->width = 2;
    info->height = 2;
    info->colorDepth = 24;
    return SPI_ALL_RIGHT;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    (void)progress;
    (void)user;
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_MEMORY || len < 8 || memcmp(buf, "TRAP", 4) != 0)
        return SPI_NOT_SUPPORT;
    if (memcmp(buf + 4, "CRSH", 4) == 0)
        crash();
    if (memcmp(buf + 4, "LOOP", 4) == 0)
        hang();
    SPI_BITMAPINFOHEADER header = {40, 2, 2, 1, 24, SPI_BI_RGB, 16, 0, 0, 0, 0};
    *bitmapInfo = LocalAlloc(LMEM_FIXED, sizeof header);
    *bits = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 16);
    if (*bitmapInfo == NULL || *bits == NULL) {
        LocalFree(*bitmapInfo);
        LocalFree(*bits);
        return SPI_NO_MEMORY;
    }
    memcpy(*bitmapInfo, &header, sizeof header);
    memset(*bits, 0xff, 6); /* the bottom row white, the top one black */
    return SPI_ALL_RIGHT;
}
