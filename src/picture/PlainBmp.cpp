#include "picture/PlainBmp.h"

#include "picture/ShrinkWorker.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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
    const std::string native = ToNativePath(cp932Path);
    std::error_code ec;
    const uint64_t fileSize = std::filesystem::file_size(native, ec);
    if (ec)
        return std::nullopt;
    std::ifstream in(native, std::ios::binary);
    unsigned char header[kFileHeader + kInfoHeader];
    if (!in.read(reinterpret_cast<char *>(header), sizeof header))
        return std::nullopt;
    return ParsePlainBmp(header, sizeof header, fileSize);
}

QImage ShrinkPlainBmp(const std::string &cp932Path, const PlainBmpLayout &layout, const QSize &size)
{
    QImage output(size, QImage::Format_BGR888);
    if (output.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    std::ifstream in(ToNativePath(cp932Path), std::ios::binary);
    if (!in)
        Unreadable();
    ShrinkWorker worker(unsigned(layout.Width), unsigned(layout.Height), output);
    std::vector<unsigned char> bytes(layout.Stride);
    const size_t width = size_t(layout.Width), bpp = size_t(layout.BytesPerPixel);
    for (int top = 0; top < layout.Height; top += int(ShrinkWorker::kBatchRows)) {
        const unsigned count = std::min(ShrinkWorker::kBatchRows, unsigned(layout.Height - top));
        unsigned char *batch = worker.NextFree();
        for (unsigned i = 0; i < count; ++i) {
            // The resampler takes rows from the top; a bottom-up file holds the top row last.
            const int y = top + int(i);
            const uint64_t fileRow = layout.TopDown ? uint64_t(y) : uint64_t(layout.Height - 1 - y);
            in.seekg(std::streamoff(layout.PixelOffset + fileRow * layout.Stride));
            if (!in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size())))
                Unreadable();
            auto *row = reinterpret_cast<uint32_t *>(batch) + width * i;
            for (size_t x = 0; x < width; ++x) {
                const unsigned char *p = bytes.data() + x * bpp;
                row[x] = 0xff000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            }
        }
        worker.Submit(batch, count);
    }
    worker.Finish();
    return output;
}
