#pragma once

#include <memory>
#include <string>
#include <string_view>

// A loaded shared library. Always loaded by absolute path with RTLD_NOW | RTLD_LOCAL, so two
// plug-ins' internal symbols never bind to each other.
//
// Only code that no one but the user or root could have put there is loaded: the file and the
// folders it is reached through must belong to the user or to root and must not be writable by
// group or others (a sticky folder such as /tmp counts as writable). The library is loaded through
// the folder that was checked, and the loaded file is compared with the checked one, so that nothing
// can be swapped in between.
class DynLib {
public:
    // Returns null when the library cannot be loaded (the reason is in LastError(); Refused() tells
    // whether it was refused as unsafe).
    static std::unique_ptr<DynLib> Open(std::string_view cp932Path);
    ~DynLib();
    DynLib(const DynLib &) = delete;
    DynLib &operator=(const DynLib &) = delete;

    // The exported symbol's address, or null.
    void *Symbol(const char *name) const;
    // The path the library was loaded by (CP932), or empty when it cannot tell.
    std::string LoadedPath() const;
    // The reason of the last failed Open on this thread (UTF-8).
    static std::string LastError();
    // Whether the last failed Open on this thread refused the file as unsafe, rather than failing to
    // load it.
    static bool Refused();

private:
    DynLib(void *handle, int folder, std::string loadedPath)
        : handle_(handle), folder_(folder), loadedPath_(std::move(loadedPath))
    {
    }
    void *handle_;
    int folder_; // the checked folder, held open while the library is loaded
    std::string loadedPath_;
};
