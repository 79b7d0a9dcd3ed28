#pragma once

#include <memory>
#include <string>
#include <string_view>

// A loaded shared library. Always loaded by absolute path with RTLD_NOW | RTLD_LOCAL, so two
// plug-ins' internal symbols never bind to each other.
class DynLib {
public:
    // Returns null when the library cannot be loaded (the reason is in LastError()).
    static std::unique_ptr<DynLib> Open(std::string_view cp932Path);
    ~DynLib();
    DynLib(const DynLib &) = delete;
    DynLib &operator=(const DynLib &) = delete;

    // The exported symbol's address, or null.
    void *Symbol(const char *name) const;
    // The path the loader reports for the loaded module (CP932), or empty when it cannot tell.
    std::string LoadedPath() const;
    static std::string LastError();

private:
    explicit DynLib(void *handle) : handle_(handle) {}
    void *handle_;
};
