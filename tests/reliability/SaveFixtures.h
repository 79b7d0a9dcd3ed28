#pragma once

#include "listedit/WallPaperList.h"

#include <string>

class TBitmap;

// Contents for the three files the program rewrites: settings, a group, the output bitmap.

// Writes `keys` keys "Key<i>=<value><i>" into section Main of the INI file and flushes it.
void WriteIniKeys(const std::string &path, int keys, const std::string &value);
// A group of `entries` pictures whose paths carry `tag`.
WallPaperList MakeList(int entries, const std::string &tag);
// A 24-bit bitmap of the given size filled with one colour.
void FillBitmap(TBitmap &bitmap, int width, int height, unsigned rgb);
