#pragma once

#include <QColor>

#include <cstdint>
#include <string>

// Plain BMP files written byte by byte, so that a reader is checked against the format rather than
// against another reader.

inline void PutLittleEndian32(std::string &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char(value >> (8 * i));
}

// The colour of pixel (x, y) of every hand-made picture: no two neighbours alike.
inline QRgb HandMadePixel(int x, int y)
{
    return qRgb((x * 67 + y * 13) % 256, (x * 29 + y * 101) % 256, (x * y * 7 + 50) % 256);
}

// A 24- or 32-bit uncompressed BMP of HandMadePixel, rows padded to 4 bytes, bottom-up or top-down; the
// fourth byte of 32-bit pixels is noise, which an uncompressed bitmap does not use.
inline std::string MakeHandMadeBmp(int width, int height, int bits, bool topDown)
{
    const size_t bpp = size_t(bits / 8), stride = (size_t(width) * bpp + 3) / 4 * 4;
    std::string b(54 + stride * size_t(height), '\0');
    b[0] = 'B';
    b[1] = 'M';
    PutLittleEndian32(b, 2, uint32_t(b.size()));
    PutLittleEndian32(b, 10, 54);
    PutLittleEndian32(b, 14, 40);
    PutLittleEndian32(b, 18, uint32_t(width));
    PutLittleEndian32(b, 22, uint32_t(topDown ? -height : height));
    b[26] = 1;
    b[28] = char(bits);
    for (int y = 0; y < height; ++y) {
        const size_t row = 54 + stride * size_t(topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const QRgb c = HandMadePixel(x, y);
            char *p = &b[row + size_t(x) * bpp];
            p[0] = char(qBlue(c));
            p[1] = char(qGreen(c));
            p[2] = char(qRed(c));
            if (bpp == 4)
                p[3] = char(x * 31 + y);
        }
    }
    return b;
}
