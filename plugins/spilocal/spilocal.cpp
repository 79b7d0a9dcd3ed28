// Local-memory handles shared by the host and every plug-in. The library keeps a table of the
// blocks it handed out, so a handle that a plug-in invents or frees twice is refused instead of
// being dereferenced.
//
// In Tapisto's plug-in helper, large blocks live in memory files, so that a decoded picture is handed
// to the host process without being copied (SpiLocalShare.h).
#include "spi.h"
#include "spilocal/SpiLocalShare.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct Block {
    size_t size;
    int32_t locks;
    int fd = -1;       // the memory file of a shared block, -1 for one of the heap
    size_t mapped = 0; // bytes mapped for a shared block
};

std::atomic<size_t> shareFrom{0}; // 0: every block on the heap

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

// Records a mapped block; unmaps it when the table cannot take it.
HLOCAL RecordMapped(void *p, size_t bytes, int fd, size_t mapped)
{
    try {
        std::lock_guard<std::mutex> lock(TableMutex());
        Table().emplace(p, Block{bytes, 0, fd, mapped});
    } catch (const std::bad_alloc &) {
        ::munmap(p, mapped);
        ::close(fd);
        return nullptr;
    }
    return p;
}

// A block in a new memory file (zero-filled, as every new file is).
HLOCAL AllocShared(size_t bytes)
{
    const int fd = ::memfd_create("spilocal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return nullptr;
    // Faulted in at once: a plug-in fills every page of a picture anyway.
    void *p = ::ftruncate(fd, off_t(bytes)) == 0
                  ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0)
                  : MAP_FAILED;
    if (p == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    return RecordMapped(p, bytes, fd, bytes);
}

} // namespace

extern "C" {

SPI_EXPORT HLOCAL LocalAlloc(uint32_t flags, size_t bytes)
{
    // Other flags (discardable, no-compact, ...) mean nothing when blocks never move.
    if (bytes > kMaxBlock)
        return nullptr;
    const size_t from = shareFrom.load();
    if (from != 0 && bytes >= from)
        return AllocShared(bytes);
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
    Block block{};
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        auto it = Table().find(h);
        if (it == Table().end())
            return h;
        block = it->second;
        Table().erase(it);
    }
    if (block.fd >= 0) {
        ::munmap(h, block.mapped);
        ::close(block.fd);
    } else {
        std::free(h);
    }
    return nullptr;
}

SPI_EXPORT void SpiLocalShareFrom(size_t bytes)
{
    shareFrom.store(bytes);
}

SPI_EXPORT int SpiLocalSharedFd(HLOCAL h)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(h);
    return it == Table().end() ? -1 : it->second.fd;
}

SPI_EXPORT HLOCAL SpiLocalAdopt(int fd, size_t size)
{
    if (fd < 0 || size > kMaxBlock) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    // Private: the host may write to its block without the other process seeing it.
    const size_t mapped = size ? size : 1;
    void *p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    return RecordMapped(p, size, fd, mapped);
}

} // extern "C"
