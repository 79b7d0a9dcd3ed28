#include "schedule/Settings.h"

#include "ini/IniStore.h"
#include "platform/HomeFolder.h"

namespace Settings {

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
    TIniStoreEx ini(SettingsFilePath());
    ini.WriteString(kSection, key, value);
    ini.Flush();
}

bool ReadFlag(std::string_view key)
{
    return IsFlagOn(ReadValue(key));
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
    s.opSusie = IsFlagOn(ini.ReadString(kSection, kOpSusie, {}));
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
