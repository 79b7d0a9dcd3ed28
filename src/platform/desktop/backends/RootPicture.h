#pragma once

#include "platform/desktop/backends/PictureRows.h"

#include <cstdint>
#include <vector>

// The pixels of a root window of `width` x `height` (0xffRRGGBB, row by row) made from a picture read
// a row at a time: only the rows that show are read, and only a few are held at once.

// The picture with its top-left corner at (left, top), black around it.
std::vector<uint32_t> PlacedOnBlack(PictureRows &picture, int width, int height, int left, int top);
// The picture repeated from the top-left corner.
std::vector<uint32_t> TiledFromCorner(PictureRows &picture, int width, int height);
// The picture stretched to the whole root: averaged where it shrinks, interpolated where it grows.
std::vector<uint32_t> StretchedToFit(PictureRows &picture, int width, int height);
