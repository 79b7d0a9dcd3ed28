// Local-memory handles shared by the host and every plug-in. The library keeps a table of the
// blocks it handed out, so a handle that a plug-in invents or frees twice is refused instead of
// being dereferenced.
#include "spi.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Block {
    size_t size;
    int32_t locks;
};

// Larger requests are refused outright: no picture needs them and malloc would only overcommit.
constexpr size_t kMaxBlock = size_t(1) << 34;

std::mutex &TableMutex()
{
    static std::mutex m;
    return m;
}

std::unordered_map<void *, Block> &Table()
{
    static auto *t = new std::unordered_map<void *, Block>(); // never destroyed: plug-ins may free late
    return *t;
}

} // namespace

extern "C" {

SPI_EXPORT HLOCAL LocalAlloc(uint32_t flags, size_t bytes)
{
    if ((flags & ~(LMEM_MOVEABLE | LMEM_ZEROINIT)) != 0 || bytes > kMaxBlock)
        return nullptr;
    void *p = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (p == nullptr)
        return nullptr;
    try {
        std::lock_guard<std::mutex> lock(TableMutex());
        Table().emplace(p, Block{bytes, 0});
    } catch (const std::bad_alloc &) {
        std::free(p);
        return nullptr;
    }
    return p;
}

SPI_EXPORT void *LocalLock(HLOCAL h)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(h);
    if (it == Table().end())
        return nullptr;
    ++it->second.locks;
    return h;
}

SPI_EXPORT int32_t LocalUnlock(HLOCAL h)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(h);
    if (it == Table().end() || it->second.locks == 0)
        return 0;
    return --it->second.locks;
}

SPI_EXPORT size_t LocalSize(HLOCAL h)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(h);
    return it == Table().end() ? 0 : it->second.size;
}

SPI_EXPORT HLOCAL LocalFree(HLOCAL h)
{
    if (h == nullptr)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        if (Table().erase(h) == 0)
            return h;
    }
    std::free(h);
    return nullptr;
}

} // extern "C"
