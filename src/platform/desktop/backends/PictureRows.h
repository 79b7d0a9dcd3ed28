#pragma once

#include <cstdint>

// A picture read a row at a time, so that a large one is never held whole.
class PictureRows {
public:
    virtual ~PictureRows() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Row `y` (0 is the top) into `out`, Width() pixels of 0x00RRGGBB. Raises Exception on failure.
    virtual void ReadRow(int y, uint32_t *out) = 0;
};
