#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Pixel rows on their way from a reader to where the picture goes, top row first. Nothing here
// needs Qt, so that tapistoctl can render without loading it.
enum class RowFormat {
    Xrgb32, // 32-bit words 0xffRRGGBB (the high byte is ignored)
    Bgr24,  // blue, green and red bytes: a BMP file's own order
};

constexpr size_t BytesPerPixel(RowFormat format)
{
    return format == RowFormat::Xrgb32 ? 4 : 3;
}

// Takes the finished rows of a picture whose size it was made for, each once, top row first.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Row `y` (0 is the top) of the sink's width, in the format it was made for. Raises on failure
    // (the writer's EInOutError); the rows after it are then not asked for.
    virtual void PutRow(unsigned y, const unsigned char *row) = 0;
};

// Makes the sink for a picture's rows once the output's size is known: called once, with that width
// and height, before the first row. Every reader and pipeline opens its sink this one way.
using OpenRowSink = std::function<RowSink &(unsigned width, unsigned height)>;
