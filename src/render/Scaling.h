#pragma once

#include <cstdint>

// The wallpaper's size from the picture's size, the correction and the screen's size.
struct TWallPaperSize {
    int32_t Width;
    int32_t Height;
};

// Correction: -1 keeps the picture's size, 0 fits it to the screen (by the picture's own shape),
// p > 0 scales by p percent and fits anything larger than twice the screen into twice the screen.
// Integer products are exact (a product beyond 32 bits is an error, never a wrapped value); divisions
// and products after them are long double; results are rounded half to even.
// Raises EInvalidGraphic for a percentage below 1, a zero-sized picture where a division needs its size,
// and a result without area or beyond 32 bits.
TWallPaperSize ComputeWallPaperSize(int32_t pictureWidth, int32_t pictureHeight, int32_t correction,
                                    int32_t screenWidth, int32_t screenHeight);

// Rounds to the nearest integer, halves to the even neighbour (50.5 -> 50, 51.5 -> 52).
int64_t RoundHalfEven(long double value);
