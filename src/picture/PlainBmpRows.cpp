#include "picture/PlainBmpRows.h"

#include "picture/ReadOnlyFile.h"
#include "picture/RowPipeline.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

uint32_t LE16(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t LE32(const unsigned char *p)
{
    return LE16(p) | LE16(p + 2) << 16;
}

[[noreturn]] void Unreadable()
{
    throw EInvalidGraphic("ビットマップ イメージは有効ではありません");
}

// The plain BMP layout of the open file, or nullopt; the file's status goes to `st`.
std::optional<PlainBmpLayout> LayoutOf(const ReadOnlyFile &file, struct stat &st)
{
    unsigned char header[kFileHeader + kInfoHeader];
    if (!file.IsRegular(st) || ::pread(file.Fd(), header, sizeof header, 0) != ssize_t(sizeof header))
        return std::nullopt;
    return ParsePlainBmp(header, sizeof header, uint64_t(st.st_size));
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

std::optional<PlainBmpLayout> ParsePlainBmp(const unsigned char *header, size_t headerSize, uint64_t fileSize)
{
    if (headerSize < kFileHeader + kInfoHeader || header[0] != 'B' || header[1] != 'M')
        return std::nullopt;
    const unsigned char *info = header + kFileHeader;
    const uint32_t bitCount = LE16(info + 14);
    if (LE32(info) != kInfoHeader || LE16(info + 12) != 1 || LE32(info + 16) != 0 /* BI_RGB */ ||
        (bitCount != 24 && bitCount != 32))
        return std::nullopt;
    const auto width = int32_t(LE32(info + 4));
    const auto height = int32_t(LE32(info + 8));
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return std::nullopt;
    PlainBmpLayout layout;
    layout.Width = width;
    layout.Height = height < 0 ? -height : height;
    layout.TopDown = height < 0;
    layout.BytesPerPixel = int(bitCount / 8);
    layout.PixelOffset = LE32(header + 10);
    layout.Stride = (uint64_t(width) * layout.BytesPerPixel + 3) / 4 * 4;
    // Pixels overlapping the headers, or rows past the end of the file, are left to the general reader.
    if (layout.PixelOffset < kFileHeader + kInfoHeader || layout.PixelOffset > fileSize ||
        layout.Stride > (fileSize - layout.PixelOffset) / uint64_t(layout.Height))
        return std::nullopt;
    return layout;
}

std::optional<PlainBmpLayout> ReadPlainBmpLayout(const std::string &cp932Path)
{
    try {
        const ReadOnlyFile file(cp932Path);
        struct stat st {};
        return LayoutOf(file, st);
    } catch (const EEncodingError &) {
        return std::nullopt;
    }
}

RowFormat RowFormatOf(const PlainBmpLayout &layout)
{
    return layout.BytesPerPixel == 4 ? RowFormat::Xrgb32 : RowFormat::Bgr24;
}

void ReadPlainBmpRows(const std::string &cp932Path, const PlainBmpLayout &layout, RowPipeline &pipeline)
{
    // A 32-bit pixel's bytes (blue, green, red, unused) are the word 0xXXRRGGBB only in this byte order.
    static_assert(std::endian::native == std::endian::little);
    const ReadOnlyFile file(cp932Path);
    struct stat before {};
    if (LayoutOf(file, before) != layout)
        Unreadable();
    const size_t rowBytes = size_t(layout.Width) * size_t(layout.BytesPerPixel);
    const size_t padding = size_t(layout.Stride) - rowBytes;
    unsigned char pad[4];
    const auto height = unsigned(layout.Height);
    const unsigned batchRows = pipeline.BatchRows();
    std::vector<iovec> parts(2 * size_t(batchRows));
    for (unsigned top = 0; top < height; top += batchRows) {
        const unsigned count = std::min(batchRows, height - top);
        unsigned char *batch = pipeline.NextFree();
        if (batch == nullptr)
            break; // the sink failed: Finish raises its error
        // The batch's rows lie together in the file, in reverse order in a bottom-up one: one read
        // scatters them into the batch, the padding into a scrap buffer.
        int n = 0;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned row = layout.TopDown ? i : count - 1 - i;
            parts[n++] = {batch + pipeline.Stride() * row, rowBytes};
            if (padding > 0)
                parts[n++] = {pad, padding};
        }
        const uint64_t firstFileRow = layout.TopDown ? top : height - top - count;
        const uint64_t offset = layout.PixelOffset + firstFileRow * layout.Stride;
        const size_t wanted = size_t(layout.Stride) * count;
        ssize_t got = 0;
        do
            got = ::preadv(file.Fd(), parts.data(), n, off_t(offset));
        while (got < 0 && errno == EINTR);
        if (got != ssize_t(wanted)) {
            pipeline.Submit(batch, 0);
            Unreadable();
        }
        pipeline.Submit(batch, count);
    }
    // A file rewritten while it was read gives rows of two pictures.
    struct stat after {};
    if (::fstat(file.Fd(), &after) != 0 || !SameFile(before, after))
        Unreadable();
}
