#include "schedule/Settings.h"

#include "ini/IniStore.h"
#include "platform/AsciiText.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "schedule/ScheduleLock.h"

namespace Settings {

namespace {

// The text of a flag whose key is absent: the plug-ins ship with the program, so they are on until
// the user switches them off; every other flag is off.
std::string_view FlagDefault(std::string_view key)
{
    return SameTextAscii(key, kOpSusie) ? FlagText(true) : std::string_view();
}

// A line end or Ctrl-Z in a value would split its line, or end the file, at the next read: such a
// value (a Linux file name may hold one) is refused before the file is touched.
void RequireOneLine(std::string_view key, std::string_view value)
{
    if (value.find_first_of("\r\n\x1A") != std::string_view::npos)
        throw EInOutError(FormatMessage("改行または Ctrl-Z を含む値は設定ファイルに保存できません: %s=%s",
                                        {key, Cp932ToUtf8Lossy(value)}));
}

} // namespace

std::string SettingsFilePath()
{
    return HomeFolder() + std::string(kFileName);
}

std::string DefaultWallPaperPath()
{
    return HomeFolder() + std::string(kDefaultWallPaperName);
}

std::string ReadValue(std::string_view key, std::string_view def)
{
    TIniStoreEx ini(SettingsFilePath());
    return ini.ReadString(kSection, key, def);
}

void WriteValue(std::string_view key, std::string_view value)
{
    RequireOneLine(key, value);
    const ScheduleLock lock;
    TIniStoreEx ini(SettingsFilePath());
    ini.WriteString(kSection, key, value);
    ini.Flush();
}

bool ReadFlag(std::string_view key)
{
    return IsFlagOn(ReadValue(key, FlagDefault(key)));
}

void WriteFlag(std::string_view key, bool on)
{
    WriteValue(key, FlagText(on));
}

StartSettings ReadStartSettings()
{
    TIniStoreEx ini(SettingsFilePath());
    StartSettings s;
    s.startInTray = IsFlagOn(ini.ReadString(kSection, kOp1Checked, {}));
    s.wallPaperPath = ini.ReadString(kSection, kWindows, DefaultWallPaperPath());
    return s;
}

GroupSettings ReadGroupSettings()
{
    TIniStoreEx ini(SettingsFilePath());
    GroupSettings s;
    s.useSection = ini.ReadString(kSection, kUseSection, {});
    s.intervalHH = ini.ReadString(kSection, kIntervalHH, {});
    s.intervalMM = ini.ReadString(kSection, kIntervalMM, {});
    s.intervalSS = ini.ReadString(kSection, kIntervalSS, {});
    s.op1 = IsFlagOn(ini.ReadString(kSection, kOp1Checked, {}));
    s.op2 = IsFlagOn(ini.ReadString(kSection, kOp2Checked, {}));
    s.op3 = IsFlagOn(ini.ReadString(kSection, kOp3Checked, {}));
    s.opSusie = IsFlagOn(ini.ReadString(kSection, kOpSusie, FlagDefault(kOpSusie)));
    s.opNoRepeat = IsFlagOn(ini.ReadString(kSection, kOpNoRepeat, {}));
    s.opPerMonitor = IsFlagOn(ini.ReadString(kSection, kOpPerMonitor, {}));
    return s;
}

NextSettings ReadNextSettings()
{
    TIniStoreEx ini(SettingsFilePath());
    NextSettings s;
    s.useSection = ini.ReadString(kSection, kUseSection, {});
    s.random = IsFlagOn(ini.ReadString(kSection, kOp3Checked, {}));
    s.noRepeat = IsFlagOn(ini.ReadString(kSection, kOpNoRepeat, {}));
    s.perMonitor = IsFlagOn(ini.ReadString(kSection, kOpPerMonitor, {}));
    return s;
}

void WriteSchedule(std::string_view useSection, std::string_view hh, std::string_view mm, std::string_view ss)
{
    RequireOneLine(kUseSection, useSection);
    RequireOneLine(kIntervalHH, hh);
    RequireOneLine(kIntervalMM, mm);
    RequireOneLine(kIntervalSS, ss);
    const ScheduleLock lock;
    TIniStoreEx ini(SettingsFilePath());
    ini.WriteString(kSection, kUseSection, useSection);
    ini.WriteString(kSection, kIntervalHH, hh);
    ini.WriteString(kSection, kIntervalMM, mm);
    ini.WriteString(kSection, kIntervalSS, ss);
    ini.Flush();
}

std::string ReadUseIndexText()
{
    return ReadValue(kUseIndex);
}

void WriteUseIndex(int32_t index)
{
    WriteValue(kUseIndex, std::to_string(index));
}

bool ReadScrPaused()
{
    return IsFlagOn(ReadValue(kScr, "0"));
}

} // namespace Settings
