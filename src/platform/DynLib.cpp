#include "platform/DynLib.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>

namespace {
thread_local std::string lastError;
}

std::unique_ptr<DynLib> DynLib::Open(std::string_view cp932Path)
{
    std::string native;
    try {
        native = ToNativePath(cp932Path);
    } catch (const EEncodingError &e) {
        lastError = e.Message();
        return nullptr;
    }
    // dlopen looks a bare name up in the system's library path, never in the current folder.
    if (native.find('/') == std::string::npos) {
        char resolved[PATH_MAX];
        if (::realpath(native.c_str(), resolved) != nullptr)
            native = resolved;
    }
    void *handle = ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *err = ::dlerror();
        lastError = err ? err : "dlopen failed";
        return nullptr;
    }
    return std::unique_ptr<DynLib>(new DynLib(handle));
}

DynLib::~DynLib()
{
    ::dlclose(handle_);
}

void *DynLib::Symbol(const char *name) const
{
    ::dlerror();
    return ::dlsym(handle_, name);
}

std::string DynLib::LoadedPath() const
{
    link_map *map = nullptr;
    if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
        return std::string();
    try {
        return FromNativePath(map->l_name);
    } catch (const EEncodingError &) {
        return std::string();
    }
}

std::string DynLib::LastError()
{
    return lastError;
}
