#pragma once

#include "TempHome.h"

#include <cstdint>
#include <string>
#include <vector>

// Folder of the test plug-ins (build/testplugins), with a trailing '/'.
std::string TestPluginDir();
// Folder of the executables and the first-party plug-ins (build/bin), with a trailing '/'.
std::string BinDir();

// A fresh folder "spi/" in the home folder, readable by all as a plug-in folder must be; with a
// trailing '/'.
std::string MakePluginFolder(const TempHome &home);

// Copies a plug-in into `folder` as `asName` (default: the same name), readable and executable by
// all and writable by the owner only. Returns the new path.
std::string InstallPlugin(const std::string &sourcePath, const std::string &folder, const std::string &asName = "");

// Options of the toy format (see toy.c).
enum ToyOption : uint16_t {
    ToyTopDown = 0x0001,
    ToyShortBits = 0x0002,
    ToyShortHeader = 0x0004,
    ToyHuge = 0x0008,
    ToyBitFields = 0x0010,
    ToyBigHeader = 0x0020,
    ToyFail = 0x0040,
    ToyInfoText = 0x0080,
    ToyFailInfo = 0x0100,
    ToyBadHandle = 0x0200,
    ToyNoTable = 0x0400,
    ToyRowsFail = 0x0800,
    ToyRowsWidth = 0x1000,
    ToyRowsSkip = 0x2000,
    ToyRowsShort = 0x4000,
    ToyRowsMore = 0x8000,
};

// A toy picture file's bytes.
std::string ToyFile(int32_t width, int32_t height, uint16_t bits, uint16_t options = 0, uint32_t colours = 0);

// The colour the toy plug-in gives pixel (x, y) of a 24- or 32-bit picture, as 0xRRGGBB.
uint32_t ToyTrueColour(int x, int y);
// The colour of palette entry `index` of the toy plug-in, as 0xRRGGBB.
uint32_t ToyPaletteColour(int index);

// Collects the toy plug-ins' call log for the lifetime of the object.
class ToyLog {
public:
    explicit ToyLog(const TempHome &home);
    ~ToyLog();
    std::vector<std::string> Lines() const;
    // Only the lines of one function ("IsSupported", "GetPicture", ...).
    std::vector<std::string> Calls(const std::string &function) const;
    void Clear() const;

private:
    std::string path_;
};
