#pragma once

#include <cstdint>

// Raises EOutOfMemory when width x height pixels of `bytesPerPixel` bytes exceed the 1 GiB guard
// (or when a dimension is negative). Called before anything of that size is decoded or allocated.
void CheckPixelMemory(int64_t width, int64_t height, int bytesPerPixel);
constexpr int64_t kPixelMemoryLimit = int64_t(1) << 30;
