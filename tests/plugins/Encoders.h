#pragma once

#include <cstdint>
#include <string>

// Small pictures written with the same libraries the decoder plug-ins read with, so the tests
// need no binary fixtures. Every picture shows TestColour(x, y).

// 0xAARRGGBB of pixel (x, y); with `alpha` the alpha varies along x, otherwise it is 0xff.
uint32_t TestColour(int x, int y, bool alpha);
// The colour a decoder returns for it: composited on black, 0xRRGGBB.
uint32_t OnBlack(uint32_t argb);

enum class PngKind { Rgb, Rgba, Gray, PaletteWithTransparency, Rgb16 };
// Every row filtered the one way, or as libpng picks row by row (Default).
enum class PngFilter { Default, None, Sub, Up, Average, Paeth };
std::string EncodePng(int width, int height, PngKind kind, bool interlaced, PngFilter filter = PngFilter::Default);
// A 4x3 screen; first frame 2x2 at (1, 1) with indices 0 1 / 2 3, index 3 transparent, over a
// black screen; a second frame covers everything with index 0.
std::string EncodeGif(const std::string &path);
std::string EncodeWebp(int width, int height, bool alpha);
// RGB (or RGBA with unassociated alpha), one row per strip, LZW-compressed.
std::string EncodeTiff(const std::string &path, int width, int height, bool alpha);
