#include "render/PixelMemory.h"

#include "platform/Exceptions.h"

#include <cstdint>
#include <string>

void CheckPixelMemory(int64_t width, int64_t height, int bytesPerPixel)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphic(
            FormatMessage("画像の大きさ %sx%s は正しくありません", {std::to_string(width), std::to_string(height)}));
    // Dimensions beyond 2^31 would overflow the product below; they are far over the guard anyway.
    if (width > INT32_MAX || height > INT32_MAX || width * height > kPixelMemoryLimit / bytesPerPixel)
        throw EOutOfMemory(FormatMessage("画像が大きすぎます (%sx%s、1 GiB を超えます)",
                                         {std::to_string(width), std::to_string(height)}));
}
