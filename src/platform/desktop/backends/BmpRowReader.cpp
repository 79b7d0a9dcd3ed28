#include "platform/desktop/backends/BmpRowReader.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kHeaderBytes = 54; // file header and the 40-byte info header
constexpr uint32_t kUncompressed = 0;

uint32_t LittleEndian32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

unsigned LittleEndian16(const unsigned char *p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

} // namespace

std::unique_ptr<BmpRowReader> BmpRowReader::Open(const std::string &nativePath)
{
    std::unique_ptr<BmpRowReader> reader(new BmpRowReader);
    reader->path_ = nativePath;
    reader->fd_ = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (reader->fd_ < 0 || ::fstat(reader->fd_, &st) != 0)
        reader->Unreadable(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        reader->Unreadable(ErrnoText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    unsigned char header[kHeaderBytes];
    if (!ReadExactlyAt(reader->fd_, header, sizeof header, 0) || header[0] != 'B' || header[1] != 'M')
        return nullptr;
    const uint32_t infoSize = LittleEndian32(header + 14);
    const int32_t width = int32_t(LittleEndian32(header + 18));
    const int32_t height = int32_t(LittleEndian32(header + 22));
    const unsigned bits = LittleEndian16(header + 28);
    if (infoSize < 40 || LittleEndian16(header + 26) != 1 || (bits != 24 && bits != 32) ||
        LittleEndian32(header + 30) != kUncompressed || width <= 0 || height == 0 || height == INT32_MIN)
        return nullptr;
    reader->width_ = width;
    reader->height_ = height < 0 ? -height : height;
    reader->topDown_ = height < 0;
    reader->bytesPerPixel_ = bits / 8;
    reader->pixelOffset_ = LittleEndian32(header + 10);
    reader->stride_ = (uint64_t(width) * bits + 31) / 32 * 4;
    if (reader->pixelOffset_ + reader->stride_ * uint64_t(reader->height_) > uint64_t(st.st_size))
        reader->Unreadable("ファイルが途中で切れています");
    reader->row_.resize(size_t(reader->stride_));
    return reader;
}

BmpRowReader::~BmpRowReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void BmpRowReader::Unreadable(const std::string &reason) const
{
    throw Exception(FormatMessage("壁紙を設定できません: %s を読めません (%s)", {path_, reason}));
}

void BmpRowReader::ReadRow(int y, uint32_t *out)
{
    const uint64_t fileRow = topDown_ ? uint64_t(y) : uint64_t(height_ - 1 - y);
    errno = 0;
    if (!ReadExactlyAt(fd_, row_.data(), row_.size(), pixelOffset_ + fileRow * stride_))
        Unreadable(errno != 0 ? ErrnoText(errno) : "ファイルが途中で切れています");
    const unsigned char *p = row_.data();
    for (int x = 0; x < width_; ++x, p += bytesPerPixel_)
        out[x] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
