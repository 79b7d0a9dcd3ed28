// A plug-in's result as the host receives it: a bitmap header block and a pixel block from the
// shared local-memory library, with sizes that need not match what the header claims. SetDIB must
// refuse what does not fit and read what does.
#include "FuzzSupport.h"
#include "QtFuzzApp.h"
#include "spi.h"
#include "spi/SPIBmp.h"

#include <cstring>

namespace {

// Frees the two blocks on every path.
struct Blocks {
    HLOCAL header = nullptr;
    HLOCAL bits = nullptr;
    ~Blocks()
    {
        LocalFree(header);
        LocalFree(bits);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // Header block: its size, then its bytes (zero-filled where the input ends).
    const size_t headerSize = in.U16() % 2048;
    const std::string_view headerBytes = in.Bytes(headerSize);
    // Pixel block: a size up to 4 MB, independent of the bytes that fill it.
    const size_t bitsSize = size_t(in.U16()) << (in.Byte() % 7);
    const std::string_view bitsBytes = in.Rest();

    Blocks blocks;
    blocks.header = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, headerSize);
    blocks.bits = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, bitsSize);
    FUZZ_CHECK(blocks.header != nullptr && blocks.bits != nullptr);
    auto *header = static_cast<uint8_t *>(LocalLock(blocks.header));
    auto *bits = static_cast<uint8_t *>(LocalLock(blocks.bits));
    std::memcpy(header, headerBytes.data(), headerBytes.size());
    std::memcpy(bits, bitsBytes.data(), std::min(bitsBytes.size(), bitsSize));

    TSPIBitmap bitmap;
    bool done = false;
    try {
        bitmap.SetDIB(header, LocalSize(blocks.header), bits, LocalSize(blocks.bits), done, TPictureInfoRec());
    } catch (const Exception &e) {
        CheckFailure(e);
        done = false;
    }
    if (done) {
        SPI_BITMAPINFOHEADER h;
        std::memcpy(&h, header, sizeof h);
        FUZZ_CHECK(bitmap.Width() == h.width);
        FUZZ_CHECK(bitmap.Height() == (h.height < 0 ? -int64_t(h.height) : int64_t(h.height)));
        try {
            (void)bitmap.StretchedImage(QSize(32, 32));
        } catch (const Exception &e) {
            CheckFailure(e);
        }
    }
    LocalUnlock(blocks.header);
    LocalUnlock(blocks.bits);
    return 0;
}
