#pragma once

#include "picture/Scaling.h"

#include <cstdint>
#include <optional>
#include <string>

// The formats whose rows can be read one by one, straight from the file into the output bitmap.
enum class StreamFormat { None, Jpeg, PlainBmp };

// The format the built-in readers give the path's extension ("bmp", "jpg", "jpeg", any case), as
// long as no plug-in has taken the extension over.
StreamFormat BuiltInStreamFormat(const std::string &cp932Path);

// Renders the picture into the 24-bit BMP at `cp932OutputPath` row by row, when `format` can read it
// in rows and the wallpaper is not larger than the picture (JPEG: than its nearest DCT scale): rows
// go from the file through the area resampler straight to their places in the new output file, which
// then replaces the old one atomically. Returns the wallpaper's size; nullopt, having written nothing,
// when the picture is not one that streams (another kind of BMP, an enlarged picture).
// Raises what the general path raises: the file's EInOutError, the decoder's EInvalidGraphic, the
// size's errors and the memory guard's EOutOfMemory before the output is touched; the output's
// EInOutError; EInvalidGraphic when the file turns out cut or changed while it is read. On every
// failure the old output stays as it was.
std::optional<TWallPaperSize> StreamWallPaper(const std::string &cp932PicturePath, StreamFormat format,
                                              int32_t correction, int32_t screenWidth, int32_t screenHeight,
                                              const std::string &cp932OutputPath);
