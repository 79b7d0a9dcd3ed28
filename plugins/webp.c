/* WebP decoder plug-in on libwebp: still pictures as 24-bit results, any transparency composited
 * on black. Decoding runs incrementally so that progress can be reported and honoured. */
#include "common/spicommon.h"

#include <stdlib.h>
#include <string.h>
#include <webp/decode.h>

static const char *const kTexts[] = {"00IN", "Tapisto WebP decoder (libwebp)", "*.webp", "WebP " SPI_TEXT_IMAGE_FILE,
                                     NULL};

static int is_webp(const uint8_t *data, size_t size)
{
    return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spi_plugin_info(kTexts, infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char *filename, const void *data)
{
    (void)filename;
    return data != NULL && is_webp(data, 12);
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info)
{
    const uint8_t *data = NULL;
    size_t size = 0;
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &data, &size, &owned);
    if (rc == SPI_ALL_RIGHT) {
        WebPBitstreamFeatures features;
        rc = SPI_NOT_SUPPORT;
        if (info != NULL && is_webp(data, size) && WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
            spi_size_ok(features.width, features.height)) {
            spi_fill_info(info, features.width, features.height, features.has_alpha ? 32 : 24);
            rc = SPI_ALL_RIGHT;
        }
    }
    free(owned);
    return rc;
}

static int32_t decode(const uint8_t *data, size_t size, spi_dib *dib, SPI_PROGRESS progress, intptr_t user)
{
    WebPBitstreamFeatures features;
    if (!is_webp(data, size) || WebPGetFeatures(data, size, &features) != VP8_STATUS_OK || features.has_animation)
        return SPI_NOT_SUPPORT;
    int32_t rc = spi_dib_create(dib, features.width, features.height);
    if (rc != SPI_ALL_RIGHT)
        return rc;
    const size_t stride = (size_t)features.width * 4;
    uint8_t *bgra = malloc(stride * (size_t)features.height);
    WebPIDecoder *dec = bgra ? WebPINewRGB(MODE_BGRA, bgra, stride * (size_t)features.height, (int)stride) : NULL;
    if (dec == NULL) {
        free(bgra);
        return SPI_NO_MEMORY;
    }
    const size_t chunk = 64 * 1024;
    size_t fed = 0;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    while (status == VP8_STATUS_SUSPENDED && fed < size) {
        fed = size - fed > chunk ? fed + chunk : size;
        status = WebPIUpdate(dec, data, fed);
        int lastY = 0;
        WebPIDecGetRGB(dec, &lastY, NULL, NULL, NULL);
        if (spi_progress(progress, lastY, features.height, user)) {
            rc = SPI_ABORT;
            break;
        }
    }
    if (rc == SPI_ALL_RIGHT && status != VP8_STATUS_OK)
        rc = SPI_OUT_OF_ORDER;
    WebPIDelete(dec);
    if (rc == SPI_ALL_RIGHT)
        for (int32_t y = 0; y < features.height; ++y)
            spi_dib_put_bgra(dib, y, bgra + (size_t)y * stride);
    free(bgra);
    return rc;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                              SPI_PROGRESS progress, intptr_t user)
{
    const uint8_t *data = NULL;
    size_t size = 0;
    void *owned = NULL;
    int32_t rc = spi_input(buf, len, flag, &data, &size, &owned);
    if (rc == SPI_ALL_RIGHT && (bitmapInfo == NULL || bits == NULL))
        rc = SPI_OTHER_ERROR;
    spi_dib dib = {0};
    if (rc == SPI_ALL_RIGHT && spi_progress(progress, 0, 1, user))
        rc = SPI_ABORT;
    if (rc == SPI_ALL_RIGHT)
        rc = decode(data, size, &dib, progress, user);
    if (rc == SPI_ALL_RIGHT)
        spi_dib_finish(&dib, bitmapInfo, bits);
    else
        spi_dib_discard(&dib);
    free(owned);
    return rc;
}
