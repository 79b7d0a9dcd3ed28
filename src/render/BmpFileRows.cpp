#include "render/BmpFileRows.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstring>

namespace {

void PutLE16(unsigned char *p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void PutLE32(unsigned char *p, uint32_t v)
{
    PutLE16(p, v & 0xFFFF);
    PutLE16(p + 2, v >> 16);
}

constexpr size_t kHeaderBytes = kBmpHeaderBytes;
constexpr size_t kBlockBytes = 256 * 1024;

size_t PaddedRow(unsigned width)
{
    return (size_t(width) * 3 + 3) & ~size_t(3);
}

// The format's sizes are 32-bit.
bool FitsTheFormat(unsigned width, unsigned height)
{
    return uint64_t(PaddedRow(width)) * height + kHeaderBytes <= UINT32_MAX;
}

uint64_t ImageBytes(unsigned width, unsigned height)
{
    if (!FitsTheFormat(width, height))
        throw EOutOfMemory("ビットマップが大きすぎて保存できません");
    return uint64_t(PaddedRow(width)) * height;
}

// The path, once the size is known to fit: no temporary file is made for a bitmap that cannot be.
const std::string &PathForSize(const std::string &cp932Path, unsigned width, unsigned height)
{
    if (!FitsTheFormat(width, height))
        throw EOutOfMemory(FormatMessage("ビットマップ %s は大きすぎて保存できません (BMP ファイルは 4 GB まで)",
                                         {Cp932ToUtf8Lossy(cp932Path)}));
    return cp932Path;
}

} // namespace

void MakeBmp24Header(unsigned width, unsigned height, unsigned char (&header)[kBmpHeaderBytes])
{
    const uint64_t imageBytes = ImageBytes(width, height);
    std::memset(header, 0, kBmpHeaderBytes);
    header[0] = 'B';
    header[1] = 'M';
    PutLE32(header + 2, static_cast<uint32_t>(kHeaderBytes + imageBytes));
    PutLE32(header + 10, kHeaderBytes);
    PutLE32(header + 14, 40);
    PutLE32(header + 18, width);
    PutLE32(header + 22, height); // positive: rows bottom-up
    PutLE16(header + 26, 1);
    PutLE16(header + 28, 24);
    PutLE32(header + 34, static_cast<uint32_t>(imageBytes));
}

BmpFileRows::BmpFileRows(const std::string &cp932Path, unsigned width, unsigned height)
    : writer_(PathForSize(cp932Path, width, height)), width_(width), height_(height), stride_(PaddedRow(width)),
      bufferRows_(unsigned(std::clamp<size_t>(kBlockBytes / std::max<size_t>(stride_, 1), 1, std::max(height, 1u))))
{
    unsigned char header[kBmpHeaderBytes];
    MakeBmp24Header(width, height, header);
    writer_.Reserve(kHeaderBytes + ImageBytes(width, height));
    writer_.WriteAt(0, header, sizeof header);
    buffer_.assign(stride_ * bufferRows_, 0); // the padding bytes stay zero
}

void BmpFileRows::PutRow(unsigned y, const unsigned char *bgr)
{
    if (y >= height_)
        return;
    // Rows arrive in order; one out of order just closes the block.
    if (buffered_ > 0 && (y != bufferTop_ + buffered_ || buffered_ == bufferRows_))
        Flush();
    if (buffered_ == 0)
        bufferTop_ = y;
    // The block holds rows bufferTop_ .. bufferTop_ + bufferRows_ - 1 bottom-up, as the file does.
    const size_t slot = bufferRows_ - 1 - buffered_;
    std::memcpy(buffer_.data() + slot * stride_, bgr, size_t(width_) * 3);
    ++buffered_;
    if (buffered_ == bufferRows_)
        Flush();
}

void BmpFileRows::Flush()
{
    if (buffered_ == 0)
        return;
    // The lowest of the buffered rows comes first in the file.
    const unsigned lowest = bufferTop_ + buffered_ - 1;
    const uint64_t offset = kHeaderBytes + uint64_t(height_ - 1 - lowest) * stride_;
    const size_t first = bufferRows_ - buffered_;
    writer_.WriteAt(offset, buffer_.data() + first * stride_, size_t(buffered_) * stride_);
    written_ += buffered_;
    buffered_ = 0;
}

void BmpFileRows::Commit()
{
    Flush();
    if (written_ != height_)
        throw EInvalidGraphic("ビットマップ イメージは有効ではありません");
    writer_.Commit();
}
