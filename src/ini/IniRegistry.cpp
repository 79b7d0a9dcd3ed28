#include "ini/IniRegistry.h"

#include "ini/IniStore.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/Paths.h"

#include <filesystem>

std::optional<std::string> IniRegistry::ReadString(const std::string &keyPath, const std::string &name)
{
    TIniStoreEx ini(filePath_);
    std::vector<std::string> lines;
    ini.ReadSectionLines(keyPath, lines);
    // An absent value and an empty one differ here, so look at the lines, not at a default.
    for (const std::string &line : lines) {
        size_t eq = line.find('=');
        if (eq != std::string::npos && IniNamesEqual(std::string_view(line).substr(0, eq), name))
            return line.substr(eq + 1);
    }
    return std::nullopt;
}

void IniRegistry::WriteString(const std::string &keyPath, const std::string &name, const std::string &value)
{
    if (name.empty())
        throw EInOutError(FormatMessage("レジストリ %s に名前のない値は書き込めません", {Cp932ToUtf8Lossy(keyPath)}));
    TIniStoreEx ini(filePath_);
    ini.WriteString(keyPath, name, value);
    ini.Flush();
}

std::string DefaultRegistryPath()
{
    const std::string folder = UserConfigFolder() + "/tapisto";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw EInOutError(FormatMessage("フォルダ %s を作成できません: %s", {folder, ErrnoText(ec.value())}));
    return FromNativePath(folder + "/registry.ini");
}

std::unique_ptr<Registry> CreateUserRegistry()
{
    return std::make_unique<IniRegistry>(DefaultRegistryPath());
}
