#include "render/Scaling.h"

#include "platform/Exceptions.h"

#include <cmath>
#include <string>

namespace {

[[noreturn]] void TooLarge()
{
    throw EInvalidGraphic("壁紙の大きさが大きすぎます");
}

// An exact product of two 32-bit integers that must itself fit in 32 bits.
int64_t Product(int64_t a, int64_t b)
{
    const int64_t p = a * b;
    if (p > INT32_MAX || p < INT32_MIN)
        TooLarge();
    return p;
}

int32_t Rounded(long double value)
{
    const int64_t r = RoundHalfEven(value);
    if (r > INT32_MAX || r < INT32_MIN)
        TooLarge();
    return static_cast<int32_t>(r);
}

void RequireArea(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        throw EInvalidGraphic(
            FormatMessage("画像の大きさ %sx%s では壁紙を作れません", {std::to_string(width), std::to_string(height)}));
}

} // namespace

int64_t RoundHalfEven(long double value)
{
    const long double floor = std::floor(value);
    const long double diff = value - floor;
    int64_t result = static_cast<int64_t>(floor);
    if (diff > 0.5L || (diff == 0.5L && (result & 1) != 0))
        ++result;
    return result;
}

TWallPaperSize ComputeWallPaperSize(int32_t pw, int32_t ph, int32_t correction, int32_t sw, int32_t sh)
{
    TWallPaperSize size{};
    if (correction == -1) {
        size = {pw, ph};
    } else if (correction == 0) {
        RequireArea(pw, ph);
        if (ph > pw) {
            size.Height = sh;
            size.Width = Rounded(pw * (static_cast<long double>(sh) / ph));
        } else {
            size.Width = sw;
            size.Height = Rounded(static_cast<long double>(Product(ph, sw)) / pw);
        }
    } else {
        if (correction < 0)
            throw EInvalidGraphic(
                FormatMessage("補正 %s% は処理できません (1% 以上を指定してください)", {std::to_string(correction)}));
        size.Width = Rounded(static_cast<long double>(Product(pw, correction)) / 100);
        size.Height = Rounded(static_cast<long double>(Product(ph, correction)) / 100);
        const int64_t maxWidth = Product(2, sw);
        const int64_t maxHeight = Product(2, sh);
        if (size.Width > maxWidth || size.Height > maxHeight) {
            RequireArea(pw, ph);
            if (ph > pw) {
                size.Height = static_cast<int32_t>(maxHeight);
                size.Width = Rounded(pw * (static_cast<long double>(maxHeight) / ph));
            } else {
                size.Width = static_cast<int32_t>(maxWidth);
                size.Height = Rounded(static_cast<long double>(Product(Product(2, ph), sw)) / pw);
            }
        }
    }
    RequireArea(size.Width, size.Height);
    return size;
}
