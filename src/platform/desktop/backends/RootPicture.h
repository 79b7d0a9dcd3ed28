#pragma once

#include "platform/desktop/backends/PictureRows.h"

#include <cstdint>
#include <vector>

// The pixels of a root window of `width` x `height` (0xffRRGGBB, row by row) made from a picture read
// a row at a time: only the rows that show are read, and only a few are held at once.

// Each draws the whole root: into `screen` (width x height pixels, rows of `width`), writing every
// pixel once, or into a vector of its own.

// The picture with its top-left corner at (left, top), black around it.
void PlacedOnBlack(PictureRows &picture, uint32_t *screen, int width, int height, int left, int top);
std::vector<uint32_t> PlacedOnBlack(PictureRows &picture, int width, int height, int left, int top);
// The picture repeated from the top-left corner.
void TiledFromCorner(PictureRows &picture, uint32_t *screen, int width, int height);
std::vector<uint32_t> TiledFromCorner(PictureRows &picture, int width, int height);
// The picture stretched to the whole root: averaged where it shrinks, interpolated where it grows.
void StretchedToFit(PictureRows &picture, uint32_t *screen, int width, int height);
std::vector<uint32_t> StretchedToFit(PictureRows &picture, int width, int height);
