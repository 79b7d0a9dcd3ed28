// The INI engine on arbitrary files and arbitrary sequences of its operations, then a flush and a
// reload: the reloaded store must hold exactly the lines the first one would have written.
#include "FuzzSupport.h"
#include "ini/IniStore.h"

#include <string>
#include <vector>

namespace {

// Whether a reload can give back exactly these lines. Some stores cannot be written faithfully
// and are left out of the comparison: a line over 255 bytes is cut at load, CR, LF and Ctrl-Z end
// a line or the file, and an entry that looks like "[x]" reads back as a section header.
bool Representable(const std::vector<std::string> &lines)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (line.size() > kIniMaxText || line.find_first_of("\r\n\x1A") != std::string::npos)
            return false;
        const bool header = i == 0 || lines[i - 1].empty();
        if (!header && !line.empty() && line.front() == '[' && line.back() == ']' && line.size() >= 2)
            return false;
    }
    return true;
}

void RunOperations(TIniStore &ini, FuzzInput &in)
{
    std::vector<std::string> target;
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        const uint8_t op = in.Byte();
        const std::string section(in.Text(40));
        const std::string key(in.Text(40));
        switch (op % 12) {
        case 0: {
            const std::string def(in.Text(8));
            const std::string value = ini.ReadString(section, key, def);
            FUZZ_CHECK(value.size() <= kIniMaxText || value == def);
            break;
        }
        case 1: {
            const std::string value(in.Text(255));
            ini.WriteString(section, key, value);
            // A key without '=' that fits is read back with its value cut to what the line holds.
            if (!key.empty() && key.find('=') == std::string::npos && key.size() < kIniMaxText) {
                const std::string expected = value.substr(0, kIniMaxText - key.size() - 1);
                FUZZ_CHECK(ini.ReadString(section, key, "\x01missing") == expected);
                FUZZ_CHECK(ini.ReadString(section, key, {}).size() <= kIniMaxText);
            }
            break;
        }
        case 2:
            (void)ini.ReadInteger(section, key, 7);
            break;
        case 3: {
            const int32_t value = in.I32();
            ini.WriteInteger(section, key, value);
            if (!key.empty() && key.find('=') == std::string::npos && key.size() + 13 <= kIniMaxText)
                FUZZ_CHECK(ini.ReadInteger(section, key, value ^ 1) == value);
            break;
        }
        case 4: {
            const bool value = in.Byte() & 1;
            ini.WriteBool(section, key, value);
            if (!key.empty() && key.find('=') == std::string::npos && key.size() + 2 <= kIniMaxText)
                FUZZ_CHECK(ini.ReadBool(section, key, !value) == value);
            break;
        }
        case 5:
            ini.ReadSectionKeys(section, target);
            break;
        case 6:
            ini.ReadSectionNames(target);
            FUZZ_CHECK(target.size() == size_t(ini.Sections().Count()));
            break;
        case 7:
            ini.ReadSectionLines(section, target);
            break;
        case 8:
            ini.EraseSection(section);
            break;
        case 9:
            ini.DeleteKey(section, key);
            break;
        case 10:
            ini.ReadAllLines(target);
            break;
        case 11:
            ini.Flush();
            FUZZ_CHECK(!ini.Modified());
            break;
        }
        if (target.size() > 4096)
            target.clear();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const size_t fileLength = in.U16();
    const std::string path = WriteScratchFile("Tapisto.ini", in.Bytes(fileLength));
    try {
        std::vector<std::string> expected;
        {
            TIniStoreEx ini(path);
            FUZZ_CHECK(!ini.Modified());
            // Section names are unique after a load.
            for (int32_t i = 0; i < ini.Sections().Count(); ++i)
                FUZZ_CHECK(ini.Sections().IndexOf(ini.Sections().Name(i)) == i);
            RunOperations(ini, in);
            ini.ReadAllLines(expected);
            ini.Flush();
            FUZZ_CHECK(!ini.Modified());
        }
        if (!Representable(expected))
            return 0;
        TIniStoreEx reloaded(path);
        std::vector<std::string> actual;
        reloaded.ReadAllLines(actual);
        FUZZ_CHECK(actual == expected);
    } catch (const Exception &e) {
        CheckFailure(e);
    }
    return 0;
}
