#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>

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
};

// The layout of the file's first bytes when they describe a plain BMP of `fileSize` bytes; nullopt for
// every other kind (palettes, bit fields, compression, other headers, rows missing from the file).
std::optional<PlainBmpLayout> ParsePlainBmp(const unsigned char *header, size_t headerSize, uint64_t fileSize);
// The same read from a file; nullopt also when it cannot be opened.
std::optional<PlainBmpLayout> ReadPlainBmpLayout(const std::string &cp932Path);

// Shrinks the plain BMP (`layout` read from the same file) to `size` by area averaging and returns it in
// BMP's byte order (Format_BGR888). `size` must be no larger than the picture in either direction.
// Raises EInvalidGraphic when the rows cannot be read (the file changed meanwhile).
QImage ShrinkPlainBmp(const std::string &cp932Path, const PlainBmpLayout &layout, const QSize &size);
