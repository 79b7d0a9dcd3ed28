#include "platform/DynLib.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

thread_local std::string lastError;
thread_local bool lastRefused = false;

std::unique_ptr<DynLib> Fail(std::string reason, bool refused)
{
    lastError = std::move(reason);
    lastRefused = refused;
    return nullptr;
}

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why a file or folder that someone else could have written is not trusted; empty when it is safe.
std::string WhyUnsafe(const struct stat &st, const std::string &folder)
{
    const std::string what = folder.empty() ? std::string() : "フォルダー " + folder + " は";
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return what + "持ち主がこのユーザーでも root でもありません";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return what + "グループかほかのユーザーが書き換えられます";
    return std::string();
}

// Why the folder at `path` is not trusted; empty when it is safe. A folder that cannot be opened is
// not trusted either.
std::string WhyFolderUnsafe(const std::string &path, int &fd)
{
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return "フォルダー " + path + " を開けません";
    return WhyUnsafe(st, path);
}

// The device and inode of the file mapped at `address`, from the process's own map.
bool MappedFileAt(const void *address, dev_t &dev, ino_t &ino)
{
    FILE *maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return false;
    const auto at = reinterpret_cast<uintptr_t>(address);
    char line[PATH_MAX + 128];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long start = 0, end = 0, inode = 0;
        unsigned major = 0, minor = 0;
        if (std::sscanf(line, "%lx-%lx %*s %*s %x:%x %lu", &start, &end, &major, &minor, &inode) == 5 && at >= start &&
            at < end) {
            dev = makedev(major, minor);
            ino = static_cast<ino_t>(inode);
            found = true;
        }
    }
    std::fclose(maps);
    return found;
}

} // namespace

std::unique_ptr<DynLib> DynLib::Open(std::string_view cp932Path)
{
    std::string native;
    try {
        native = ToNativePath(cp932Path);
    } catch (const EEncodingError &e) {
        return Fail(e.Message(), false);
    }
    // dlopen looks a bare name up in the system's library path, never in the current folder.
    if (native.find('/') == std::string::npos) {
        char resolved[PATH_MAX];
        if (::realpath(native.c_str(), resolved) != nullptr)
            native = resolved;
    }
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved) == nullptr)
        return Fail(native + ": " + ErrnoText(errno), false);
    const std::string real = resolved;

    // A link's own folder decides where it points, so it must be as safe as the file's.
    int linkFolder = -1;
    const std::string whyLink =
        FolderOf(native) != FolderOf(real) ? WhyFolderUnsafe(FolderOf(native), linkFolder) : std::string();
    if (linkFolder >= 0)
        ::close(linkFolder);
    if (!whyLink.empty())
        return Fail(whyLink, true);

    int folder = -1;
    if (std::string why = WhyFolderUnsafe(FolderOf(real), folder); !why.empty()) {
        if (folder >= 0)
            ::close(folder);
        return Fail(why, true);
    }
    const std::string name = real.substr(real.rfind('/') + 1);
    const int file = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = real + " は読めるファイルではありません";
        if (file >= 0)
            ::close(file);
        ::close(folder);
        return Fail(why, false);
    }
    ::close(file);
    if (std::string why = WhyUnsafe(st, std::string()); !why.empty()) {
        ::close(folder);
        return Fail(why, true);
    }

    // Through the checked folder itself, so that no folder on the way can be swapped meanwhile;
    // $ORIGIN of the library still names its folder.
    const std::string viaFolder = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    void *handle = ::dlopen(viaFolder.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *err = ::dlerror();
        ::close(folder);
        return Fail(err ? err : "dlopen failed", false);
    }
    // Only the user or root can change the folder's entries, but the file loaded must still be the
    // one checked (the loader may also have handed out a library loaded earlier by the same name).
    link_map *map = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || !MappedFileAt(map->l_ld, dev, ino) ||
        dev != st.st_dev || ino != st.st_ino) {
        ::dlclose(handle);
        ::close(folder);
        return Fail(real + " は確かめている間に置き換えられました", true);
    }
    return std::unique_ptr<DynLib>(new DynLib(handle, folder, native));
}

DynLib::~DynLib()
{
    ::dlclose(handle_);
    ::close(folder_);
}

void *DynLib::Symbol(const char *name) const
{
    ::dlerror();
    return ::dlsym(handle_, name);
}

std::string DynLib::LoadedPath() const
{
    try {
        return FromNativePath(loadedPath_);
    } catch (const EEncodingError &) {
        return std::string();
    }
}

std::string DynLib::LastError()
{
    return lastError;
}

bool DynLib::Refused()
{
    return lastRefused;
}
