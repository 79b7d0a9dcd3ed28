#pragma once

#include "render/RowSink.h"

#include <cstdint>
#include <optional>
#include <string>

class RowPipeline;

// A BMP file whose rows can be read one at a time: 24- or 32-bit uncompressed pixels after a 40-byte
// info header, bottom-up or top-down, with every row present in the file. Shrinking such a file reads
// its rows straight into the area resampler, so the full-size picture is never held.
struct PlainBmpLayout {
    int Width = 0;
    int Height = 0;
    bool TopDown = false;
    int BytesPerPixel = 3;
    uint64_t PixelOffset = 0;
    uint64_t Stride = 0; // bytes per row, padded to 4
    bool operator==(const PlainBmpLayout &) const = default;
};

// The layout of the file's first bytes when they describe a plain BMP of `fileSize` bytes; nullopt for
// every other kind (palettes, bit fields, compression, other headers, rows missing from the file).
std::optional<PlainBmpLayout> ParsePlainBmp(const unsigned char *header, size_t headerSize, uint64_t fileSize);
// The same read from a file; nullopt also when it cannot be opened.
std::optional<PlainBmpLayout> ReadPlainBmpLayout(const std::string &cp932Path);

// The format its rows are handed on in: 24-bit rows as they are, 32-bit ones as 0xffRRGGBB words.
RowFormat RowFormatOf(const PlainBmpLayout &layout);
// Reads every row of the plain BMP (`layout` read from the same file) into `pipeline`, made for the
// picture's size and RowFormatOf(layout), top row first. Raises EInvalidGraphic when the rows cannot
// be read or the file changed meanwhile, and what the pipeline's sink raises.
void ReadPlainBmpRows(const std::string &cp932Path, const PlainBmpLayout &layout, RowPipeline &pipeline);
