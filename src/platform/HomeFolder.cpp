#include "platform/HomeFolder.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::optional<std::string> Env(const char *name)
{
    const char *v = std::getenv(name);
    if (v == nullptr || *v == '\0')
        return std::nullopt;
    return std::string(v);
}

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

std::optional<std::string> &HomeOverride()
{
    static std::optional<std::string> value;
    return value;
}

} // namespace

std::string ChooseHomeFolder(const HomeFolderInputs &inputs)
{
    if (inputs.tapistoHome)
        return WithSlash(*inputs.tapistoHome);
    if (!inputs.executableFolder.empty() && inputs.executableFolderWritable)
        return WithSlash(inputs.executableFolder);
    if (inputs.xdgConfigHome)
        return WithSlash(*inputs.xdgConfigHome) + "tapisto/";
    return WithSlash(inputs.userHome.value_or(".")) + ".config/tapisto/";
}

std::string ExecutablePath()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string ExecutableFolder()
{
    std::string exe = ExecutablePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string UserConfigFolder()
{
    if (auto xdg = Env("XDG_CONFIG_HOME"))
        return *xdg;
    return Env("HOME").value_or(".") + "/.config";
}

void SetHomeFolderOverride(const std::string &utf8Folder)
{
    HomeOverride() = utf8Folder;
}

bool HomeFolderOverridden()
{
    return HomeOverride().has_value();
}

std::string HomeFolder()
{
    HomeFolderInputs in;
    in.tapistoHome = HomeOverride() ? HomeOverride() : Env("TAPISTO_HOME");
    in.executableFolder = ExecutableFolder();
    in.executableFolderWritable = !in.executableFolder.empty() && ::access(in.executableFolder.c_str(), W_OK) == 0;
    in.xdgConfigHome = Env("XDG_CONFIG_HOME");
    in.userHome = Env("HOME");
    std::string folder = ChooseHomeFolder(in);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw EInOutError(FormatMessage("フォルダ %s を作成できません: %s", {folder, ErrnoText(ec.value())}));
    return FromNativePath(folder);
}
