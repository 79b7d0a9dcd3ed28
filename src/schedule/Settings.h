#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The settings file Tapisto.ini in the home folder, section [Main]. Every function opens the file,
// reads or writes what it needs and releases it; nothing is cached, so edits by other programs
// count at the next read. Values are CP932 text; writers raise EInOutError when the file cannot
// be written.
namespace Settings {

inline constexpr std::string_view kSection = "Main";
inline constexpr std::string_view kFileName = "Tapisto.ini";
inline constexpr std::string_view kDefaultWallPaperName = "Tapisto_WallPaper.bmp";

// Key names (matched without regard to letter case).
inline constexpr std::string_view kOp1Checked = "Op1Checked";     // flag: start in the tray, running
inline constexpr std::string_view kOp2Checked = "Op2Checked";     // flag: start-up link created
inline constexpr std::string_view kOp3Checked = "Op3Checked";     // flag: random order
inline constexpr std::string_view kOpSusie = "OpSusie";           // flag: use plug-ins; on while absent
inline constexpr std::string_view kOpNoRepeat = "OpNoRepeat";     // flag: random order without repeats
inline constexpr std::string_view kOpPerMonitor = "OpPerMonitor"; // flag: each monitor its own picture
inline constexpr std::string_view kUseSection = "UseSection";     // group file name in the home folder
inline constexpr std::string_view kUseIndex = "UseIndex";         // entry the next change shows
inline constexpr std::string_view kIntervalHH = "IntervalHH";
inline constexpr std::string_view kIntervalMM = "IntervalMM";
inline constexpr std::string_view kIntervalSS = "IntervalSS";
inline constexpr std::string_view kWindows = "Windows"; // output bitmap path
inline constexpr std::string_view kScr = "Scr";         // flag set by other programs: skip timed changes

// HomeFolder() + "Tapisto.ini".
std::string SettingsFilePath();
// The output bitmap when "Windows" is absent: Tapisto_WallPaper.bmp in the home folder.
std::string DefaultWallPaperPath();

// Only "1" is on; every other text, the empty one included, is off.
inline bool IsFlagOn(std::string_view value)
{
    return value == "1";
}
inline std::string_view FlagText(bool on)
{
    return on ? "1" : "0";
}

// One key per opening.
std::string ReadValue(std::string_view key, std::string_view def = {});
void WriteValue(std::string_view key, std::string_view value);
bool ReadFlag(std::string_view key);
void WriteFlag(std::string_view key, bool on);

// The groups of reads and writes that the program does in one opening.
struct StartSettings {
    bool startInTray = false;  // Op1Checked
    std::string wallPaperPath; // Windows, or the default
};
StartSettings ReadStartSettings();

struct GroupSettings {
    std::string useSection;
    std::string intervalHH, intervalMM, intervalSS; // as stored; empty when absent
    bool op1 = false, op2 = false, op3 = false, opSusie = false;
    bool opNoRepeat = false;
    bool opPerMonitor = false;
};
GroupSettings ReadGroupSettings();

struct NextSettings {
    std::string useSection;
    bool random = false;     // Op3Checked
    bool noRepeat = false;   // OpNoRepeat; counts only with random on
    bool perMonitor = false; // OpPerMonitor
};
NextSettings ReadNextSettings();

// Writes UseSection and the three interval texts in one opening.
void WriteSchedule(std::string_view useSection, std::string_view hh, std::string_view mm, std::string_view ss);
// The stored UseIndex text (empty when absent); the caller converts it.
std::string ReadUseIndexText();
void WriteUseIndex(int32_t index);
// True when another program asked to skip timed changes (Scr is "1").
bool ReadScrPaused();

} // namespace Settings
