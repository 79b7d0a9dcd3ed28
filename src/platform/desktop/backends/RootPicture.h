#pragma once

#include "platform/desktop/backends/PictureRows.h"

#include <cstdint>
#include <memory>
#include <vector>

// The pixels of a root window (0xffRRGGBB, row by row) made from a picture read a row at a time: only
// the rows that show are read, and only a few are held at once.

// A root drawn a row at a time: row y's pixels (0xffRRGGBB) into `out`. Rows are asked for from the top
// down, each once.
class RootRows {
public:
    virtual ~RootRows() = default;
    virtual void Row(int y, uint32_t *out) = 0;
};

// Roots `width` wide (and `height` high where the picture's place depends on it), drawn a row at a
// time, or whole into a vector.

// The picture with its top-left corner at (left, top), black around it.
std::unique_ptr<RootRows> RowsPlacedOnBlack(PictureRows &picture, int width, int left, int top);
std::vector<uint32_t> PlacedOnBlack(PictureRows &picture, int width, int height, int left, int top);
// The picture repeated from the top-left corner.
std::unique_ptr<RootRows> RowsTiledFromCorner(PictureRows &picture, int width);
std::vector<uint32_t> TiledFromCorner(PictureRows &picture, int width, int height);
// The picture stretched to the whole root: averaged where it shrinks, interpolated where it grows.
std::unique_ptr<RootRows> RowsStretchedToFit(PictureRows &picture, int width, int height);
std::vector<uint32_t> StretchedToFit(PictureRows &picture, int width, int height);
