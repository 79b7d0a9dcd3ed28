// Each first-party decoder plug-in, loaded from the program's folder as the host loads it, on
// arbitrary data (the first input byte picks the plug-in and when the progress callback asks it to
// stop). A plug-in must answer with a result the host accepts or with an error code, free what it
// allocated on every path, and the host's whole load must end in a picture or a clean error.
#include "FuzzSupport.h"
#include "QtFuzzApp.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "spi/SpiModule.h"

#include <QBuffer>

#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAPISTO_FUZZ_COUNT_BYTES 1
#include <sanitizer/allocator_interface.h>
#endif
#endif

namespace {

const char *const kPlugins[] = {"png", "gif", "webp", "tiff"};
constexpr size_t kPluginCount = std::size(kPlugins);

std::vector<std::unique_ptr<TSPI>> &Plugins()
{
    static std::vector<std::unique_ptr<TSPI>> loaded;
    return loaded;
}

// The plug-ins are built beside the executables (build/bin); the fuzzers live in build/fuzz.
void LoadPlugins()
{
    if (!Plugins().empty())
        return;
    // In this process, where the fuzzer and the sanitizers see the plug-ins' code.
    SetSpiIsolation(SpiIsolation::InProcess);
    const std::filesystem::path bin = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin";
    for (const char *name : kPlugins) {
        std::unique_ptr<TSPI> spi = CreateSPI((bin / (std::string(name) + ".spi")).string());
        if (!spi || dynamic_cast<TInSPI *>(spi.get()) == nullptr)
            FuzzCheckFailed("first-party plug-in loads as a picture reader", __FILE__, __LINE__);
        Plugins().push_back(std::move(spi));
    }
}

struct Progress {
    int calls = 0;
    int stopAt = INT_MAX;
};

int32_t ProgressCallback(int32_t num, int32_t denom, intptr_t user)
{
    auto *p = reinterpret_cast<Progress *>(user);
    FUZZ_CHECK(denom >= 0 && num >= 0 && num <= denom);
    return ++p->calls >= p->stopAt ? 1 : 0;
}

// What a plug-in's row export handed out so far; the blocks must keep the export's rules.
struct Rows {
    int32_t width = 0, height = 0, next = 0;
    int calls = 0;
    int stopAt = INT_MAX;
};

int32_t RowsCallback(const SPI_ROWBLOCK *block, intptr_t user)
{
    auto *rows = reinterpret_cast<Rows *>(user);
    FUZZ_CHECK(block != nullptr && rows->calls < rows->stopAt);
    if (rows->next == 0) {
        rows->width = block->width;
        rows->height = block->height;
        FUZZ_CHECK(block->width > 0 && block->height > 0 && block->format == SPI_ROWS_BGR);
    }
    FUZZ_CHECK(block->width == rows->width && block->height == rows->height && block->y == rows->next);
    FUZZ_CHECK(block->count > 0 && block->count <= block->height - block->y && block->pixels != nullptr);
    FUZZ_CHECK(block->count == 1 || block->stride >= intptr_t(block->width) * 3);
    // Every byte is read, so that the sanitizer sees a block that is not all there.
    uint64_t sum = 0;
    for (int32_t r = 0; r < block->count; ++r) {
        const auto *row = static_cast<const uint8_t *>(block->pixels) + intptr_t(r) * block->stride;
        for (int32_t i = 0; i < block->width * 3; ++i)
            sum += row[i];
    }
    FUZZ_CHECK(sum <= uint64_t(255) * 3 * uint64_t(block->width) * uint64_t(block->count));
    rows->next += block->count;
    return ++rows->calls >= rows->stopAt ? 1 : 0;
}

size_t AllocatedBytes()
{
#ifdef TAPISTO_FUZZ_COUNT_BYTES
    return __sanitizer_get_current_allocated_bytes();
#else
    return 0;
#endif
}

// The plug-in's own interface, called directly.
void CallDirectly(const TInSPI &spi, std::string_view bytes, int stopAt)
{
    std::vector<char> block(std::max<size_t>(bytes.size(), 2048), 0);
    std::memcpy(block.data(), bytes.data(), bytes.size());
    const char *data = block.data();
    const auto length = static_cast<intptr_t>(bytes.size());
    if (spi.IsSupported("fuzz", data) == 0)
        return;
    SPI_PICTINFO info{};
    const bool informed = spi.GetPictureInfo(data, length, SPI_INPUT_MEMORY, &info) == SPI_ALL_RIGHT;
    if (informed && info.hInfo != nullptr)
        FUZZ_CHECK(LocalFree(info.hInfo) == nullptr);

    // The rows, at the full size or (odd lengths) at the smallest size a plug-in may choose.
    Rows rows;
    rows.stopAt = stopAt;
    const int32_t want = bytes.size() % 2;
    const int32_t rowsResult = spi.GetPictureRows(data, length, SPI_INPUT_MEMORY, want, want, RowsCallback, nullptr,
                                                  reinterpret_cast<intptr_t>(&rows));
    if (rowsResult == SPI_ALL_RIGHT) {
        FUZZ_CHECK(rows.next == rows.height && rows.height > 0);
        if (informed && want == 0)
            FUZZ_CHECK(rows.width == info.width && rows.height == info.height);
        if (informed)
            FUZZ_CHECK(rows.width <= info.width && rows.height <= info.height);
    } else {
        FUZZ_CHECK(rows.calls < stopAt || rowsResult == SPI_ABORT);
    }

    Progress progress;
    progress.stopAt = stopAt;
    HLOCAL header = nullptr, bits = nullptr;
    const int32_t rc = spi.GetPicture(data, length, SPI_INPUT_MEMORY, &header, &bits, ProgressCallback,
                                      reinterpret_cast<intptr_t>(&progress));
    if (rc != SPI_ALL_RIGHT) {
        FUZZ_CHECK(progress.calls < stopAt || rc == SPI_ABORT);
        return;
    }
    FUZZ_CHECK(progress.calls <= stopAt);
    FUZZ_CHECK(LocalSize(header) > 0 && LocalSize(bits) > 0);
    // A first-party result is always one the host accepts.
    TSPIBitmap bitmap;
    bool done = false;
    bitmap.SetDIB(LocalLock(header), LocalSize(header), LocalLock(bits), LocalSize(bits), done, TPictureInfoRec());
    FUZZ_CHECK(done);
    LocalUnlock(header);
    LocalUnlock(bits);
    FUZZ_CHECK(LocalFree(header) == nullptr);
    FUZZ_CHECK(LocalFree(bits) == nullptr);
}

// The host's whole load: plug-in at byte 0, at byte 128, then the bitmap reader.
void LoadThroughHost(TInSPI &spi, std::string_view bytes, const char *ext)
{
    TSPIBitmap bitmap;
    bitmap.SPI = &spi;
    QByteArray copy(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    try {
        bitmap.LoadFromStreamWithName(buffer, std::string("picture.") + ext);
        FUZZ_CHECK(bitmap.Width() > 0 && bitmap.Height() > 0);
        (void)bitmap.StretchedImage(QSize(24, 24));
    } catch (const Exception &e) {
        CheckFailure(e);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    EnsureGuiApplication();
    LoadPlugins();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    EnsureGuiApplication();
    LoadPlugins();
    FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    const size_t index = choice % kPluginCount;
    const int stopAt = choice >= 0xF0 ? choice - 0xF0 : INT_MAX; // rarely: stop after a few reports
    const std::string_view bytes = in.Rest();
    auto &spi = static_cast<TInSPI &>(*Plugins()[index]);

    // Whatever the libraries set up once is allocated by the first call; a second identical call
    // must give every byte back.
    CallDirectly(spi, bytes, stopAt);
    const size_t before = AllocatedBytes();
    CallDirectly(spi, bytes, stopAt);
    const size_t after = AllocatedBytes();
    FUZZ_CHECK(after <= before);

    LoadThroughHost(spi, bytes, kPlugins[index]);
    return 0;
}
