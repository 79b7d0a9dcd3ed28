#pragma once

#include "platform/TileMode.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TIniReader;
class TIniStore;

// A wallpaper group on disk: "[Main]", "Idx=<last entry number>", then one line per picture,
// "file<k>=<path>,<position>,<correction>," in list order, every line ending in CR LF. All text is
// CP932 bytes.

// The position words (CP932): "中央" centre, "並べて" tile, "拡大" enlarge; and "自動" automatic.
inline constexpr std::string_view kPositionCentre = "\x92\x86\x89\x9B";
inline constexpr std::string_view kPositionTile = "\x95\xC0\x82\xD7\x82\xC4";
inline constexpr std::string_view kPositionEnlarge = "\x8A\x67\x91\xE5";
inline constexpr std::string_view kCorrectionAuto = "\x8E\xA9\x93\xAE";

struct WallPaperEntry {
    std::string PicturePath;    // folder and file name; holds no comma
    std::string PositionText;   // one of the position words, or any other text (read as centre)
    std::string CorrectionText; // "自動", "<n>%" or empty

    bool operator==(const WallPaperEntry &) const = default;
};

using WallPaperList = std::vector<WallPaperEntry>;

// Replaces the file with the list (atomically); an empty list gives the two header lines with
// "Idx=-1". Raises EInOutError when the file cannot be written.
void WriteWallPaperList(std::string_view path, const WallPaperList &list);
// The editor's reader: every line after the first two is an entry, in line order, with no
// length limit. Raises EInOutError when the file cannot be opened.
WallPaperList ReadWallPaperList(std::string_view path);
// The "Idx" value of section "Main". Raises EConvertError when it is missing or not an integer.
int32_t ReadLastIndex(TIniStore &ini);
// Entry "file<k>" of section "Main"; a missing entry gives empty fields.
WallPaperEntry ReadWallPaperEntry(TIniStore &ini, int32_t k);
// The same two reads through a reader that scans the file instead of loading it (a change's reads).
int32_t ReadLastIndex(TIniReader &ini);
WallPaperEntry ReadWallPaperEntry(TIniReader &ini, int32_t k);
// The key of entry k: "file" and k in decimal.
std::string EntryKey(int32_t k);
// Splits "path,position,correction," at its commas; a field whose comma is missing is empty,
// and so are the fields after it.
WallPaperEntry SplitEntryValue(std::string_view value);
// TileValue of a position text: centre (also for any unknown text), tile or enlarge.
TileMode DecodeTileValue(std::string_view positionText);
// Correction of a correction text: -1 none (empty), 0 automatic, otherwise the percentage.
// Raises EConvertError when the text is neither empty, "自動" nor an integer followed by '%'.
int32_t DecodeCorrection(std::string_view correctionText);
