#include "platform/Files.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool StatIs(std::string_view cp932Path, mode_t type)
{
    struct stat st {};
    std::string native;
    try {
        native = ToNativePath(cp932Path);
    } catch (const EEncodingError &) {
        return false;
    }
    return ::stat(native.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

EInOutError CannotOpenError(std::string_view cp932Path, int err)
{
    const std::string display = Cp932ToUtf8Lossy(cp932Path);
    // A missing file keeps the loader's plain message, which says it all.
    if (err == ENOENT)
        return EInOutError(FormatMessage("ファイル %s は開けません", {display}));
    return EInOutError(FormatMessage("ファイル %s は開けません: %s",
                                     {display, err == 0 ? "通常のファイルではありません" : ErrnoText(err)}));
}

} // namespace

int OpenFileToRead(std::string_view cp932Path)
{
    const int fd = ::open(ToNativePath(cp932Path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CannotOpenError(cp932Path, errno);
    struct stat st {};
    const bool statFailed = ::fstat(fd, &st) != 0;
    if (statFailed || !S_ISREG(st.st_mode)) {
        const int err = statFailed ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
        ::close(fd);
        throw CannotOpenError(cp932Path, err);
    }
    return fd;
}

bool FileExists(std::string_view cp932Path)
{
    return StatIs(cp932Path, S_IFREG);
}

bool DirectoryExists(std::string_view cp932Path)
{
    return StatIs(cp932Path, S_IFDIR);
}

bool ReadExactlyAt(int fd, void *data, size_t size, uint64_t offset)
{
    auto *bytes = static_cast<unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, bytes, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

size_t ReadWholeFileInto(std::string_view cp932Path, const std::function<char *(size_t)> &resize)
{
    const int fd = OpenFileToRead(cp932Path);
    // Closed however this ends, including a resize that throws.
    const std::unique_ptr<const int, void (*)(const int *)> closer(&fd, [](const int *f) { ::close(*f); });
    struct stat st {};
    ::fstat(fd, &st);
    // Sized from the file; one byte more notices a file that grew meanwhile.
    size_t size = static_cast<size_t>(st.st_size) + 1;
    char *data = resize(size);
    size_t filled = 0;
    for (;;) {
        if (filled == size)
            data = resize(size *= 2);
        const ssize_t n = ::read(fd, data + filled, size - filled);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            throw EInOutError(
                FormatMessage("ファイル %s を読み込めません: %s", {Cp932ToUtf8Lossy(cp932Path), ErrnoText(err)}));
        }
        filled += static_cast<size_t>(n);
    }
    resize(filled);
    return filled;
}

std::string ReadWholeFile(std::string_view cp932Path)
{
    std::string data;
    ReadWholeFileInto(cp932Path, [&data](size_t size) {
        data.resize(size);
        return data.data();
    });
    return data;
}

void DeleteFileIfExists(std::string_view cp932Path)
{
    const std::string native = ToNativePath(cp932Path);
    if (::unlink(native.c_str()) != 0 && errno != ENOENT) {
        const int err = errno;
        throw EInOutError(
            FormatMessage("ファイル %s を削除できません: %s", {Cp932ToUtf8Lossy(cp932Path), ErrnoText(err)}));
    }
}

AtomicFileWriter::AtomicFileWriter(std::string_view cp932Path)
    : displayPath_(Cp932ToUtf8Lossy(cp932Path)), nativePath_(ToNativePath(cp932Path))
{
    RemoveStaleTemporaries(nativePath_);
    // A hidden name beside the target: same file system for the rename, and a temporary left by a
    // killed process never shows up as a group or a picture.
    temp_ = std::make_unique<LockedTempFile>(nativePath_);
    fd_ = temp_->Fd();
    if (fd_ < 0)
        Fail("作成できません", temp_->CreateError());
}

AtomicFileWriter::~AtomicFileWriter() = default;

void AtomicFileWriter::Fail(const char *what, int err)
{
    fd_ = -1;
    if (temp_)
        temp_->Remove();
    throw EInOutError(FormatMessage("ファイル %s を%s: %s", {displayPath_, what, ErrnoText(err)}));
}

void AtomicFileWriter::Write(const void *data, size_t size)
{
    if (fd_ < 0)
        throw EInOutError(FormatMessage("ファイル %s に書き込めません", {displayPath_}));
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("書き込めません", errno);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void AtomicFileWriter::Reserve(uint64_t size)
{
    if (fd_ < 0)
        throw EInOutError(FormatMessage("ファイル %s に書き込めません", {displayPath_}));
    if (size > uint64_t(INT64_MAX))
        Fail("書き込めません", EFBIG);
    // fallocate claims the blocks now; a file system without it still gets the size, and a full disk
    // then shows at the writes.
    int err = 0;
    do
        err = ::fallocate(fd_, 0, 0, off_t(size)) == 0 ? 0 : errno;
    while (err == EINTR);
    if (err == EOPNOTSUPP || err == ENOSYS) {
        if (::ftruncate(fd_, off_t(size)) != 0)
            Fail("書き込めません", errno);
    } else if (err != 0) {
        Fail("書き込めません", err);
    }
}

void AtomicFileWriter::WriteAt(uint64_t offset, const void *data, size_t size)
{
    if (fd_ < 0)
        throw EInOutError(FormatMessage("ファイル %s に書き込めません", {displayPath_}));
    const char *p = static_cast<const char *>(data);
    uint64_t at = offset;
    for (size_t left = size; left > 0;) {
        const ssize_t n = ::pwrite(fd_, p, left, off_t(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("書き込めません", errno);
        }
        if (n == 0)
            Fail("書き込めません", ENOSPC);
        p += n;
        at += uint64_t(n);
        left -= size_t(n);
    }
    dirtyLow_ = std::min(dirtyLow_, offset);
    dirtyHigh_ = std::max(dirtyHigh_, at);
    constexpr uint64_t kWritebackBytes = 4u << 20;
    if (dirtyHigh_ - dirtyLow_ >= kWritebackBytes)
        StartWriteback();
}

void AtomicFileWriter::StartWriteback()
{
    // Only a hint: the flush in Commit is what makes the file durable, so a refusal is no error.
    ::sync_file_range(fd_, off_t(dirtyLow_), off_t(dirtyHigh_ - dirtyLow_), SYNC_FILE_RANGE_WRITE);
    dirtyLow_ = UINT64_MAX;
    dirtyHigh_ = 0;
}

void AtomicFileWriter::Commit()
{
    if (fd_ < 0)
        throw EInOutError(FormatMessage("ファイル %s に書き込めません", {displayPath_}));
    // A new file gets the usual mode for the user's umask; a replaced one keeps its own.
    struct stat st {};
    mode_t mode;
    if (::stat(nativePath_.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd_, mode) != 0)
        Fail("書き込めません", errno);
    if (::fsync(fd_) != 0)
        Fail("書き込めません", errno);
    if (const int err = temp_->RenameOver(nativePath_); err != 0)
        Fail("置き換えられません", err);
    fd_ = -1;
}

void ReplaceFileAtomically(std::string_view cp932Path, std::string_view bytes)
{
    AtomicFileWriter writer(cp932Path);
    writer.Write(bytes);
    writer.Commit();
}
