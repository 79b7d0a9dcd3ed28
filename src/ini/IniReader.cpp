#include "ini/IniReader.h"

#include "ini/IniStore.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How much of the file one read brings in.
constexpr size_t kChunk = 64 * 1024;

// The lines of an open file from its start, read a piece at a time, each cut to the engine's
// kIniMaxText bytes. A CR and an LF each end a line, so a CR LF gives a line and an empty one: the
// lines that are not empty are those TextLines gives, and no reader keeps an empty line. Only the line
// being split is kept: a line longer than the cut is remembered by its first bytes while the rest of it
// is passed over.
class FileLines {
public:
    FileLines(int fd, const std::string &path, std::vector<char> &buffer) : fd_(fd), path_(path), buffer_(buffer)
    {
        buffer_.resize(kChunk + kIniMaxText + 1);
    }

    // The next line, valid until the next call; false at the end of the file or its first Ctrl-Z.
    bool Next(std::string_view &line)
    {
        for (;;) {
            const size_t stop = std::min(NextOf('\r', cr_), NextOf('\n', lf_));
            if (stop < end_ || eof_) {
                if (stop == end_ && pos_ == end_ && !inLongLine_)
                    return false;
                line = inLongLine_ ? std::string_view(longLine_) : View(pos_, std::min(stop - pos_, kIniMaxText));
                inLongLine_ = false;
                pos_ = stop < end_ ? stop + 1 : end_;
                return true;
            }
            // No line end among the bytes read: keep the line's start and read on.
            if (!inLongLine_ && end_ - pos_ > kIniMaxText) {
                longLine_.assign(View(pos_, kIniMaxText));
                inLongLine_ = true;
            }
            if (inLongLine_)
                pos_ = end_;
            Fill();
        }
    }

private:
    // Where a byte was last looked for: found at `at`, or known to be absent before `at`.
    struct Seek {
        size_t at = 0;
        bool found = false;
    };

    std::string_view View(size_t offset, size_t length) const { return {buffer_.data() + (offset - base_), length}; }

    // The file offset of the next `c` at or after pos_ among the bytes read, or end_. A search that
    // found nothing is not repeated over the same bytes, so a file without CR (or LF) costs one pass.
    size_t NextOf(char c, Seek &seek) const
    {
        if (seek.found && seek.at >= pos_)
            return seek.at;
        const size_t from = !seek.found && seek.at > pos_ ? seek.at : pos_;
        const void *hit = from < end_ ? std::memchr(buffer_.data() + (from - base_), c, end_ - from) : nullptr;
        seek = hit != nullptr ? Seek{base_ + size_t(static_cast<const char *>(hit) - buffer_.data()), true}
                              : Seek{end_, false};
        return seek.at;
    }

    // Reads the next piece after the unfinished line (at most kIniMaxText bytes are kept of it).
    void Fill()
    {
        const size_t kept = end_ - pos_;
        if (kept > 0 && pos_ != base_)
            std::memmove(buffer_.data(), buffer_.data() + (pos_ - base_), kept);
        base_ = pos_;
        ssize_t n;
        do
            n = ::pread(fd_, buffer_.data() + kept, kChunk, off_t(readAt_));
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            const int err = errno;
            throw EInOutError(
                FormatMessage("ファイル %s を読み込めません: %s", {Cp932ToUtf8Lossy(path_), ErrnoText(err)}));
        }
        readAt_ += size_t(n);
        const char *fresh = buffer_.data() + kept;
        // The file ends at its first Ctrl-Z.
        const void *ctrlZ = std::memchr(fresh, '\x1A', size_t(n));
        end_ += ctrlZ != nullptr ? size_t(static_cast<const char *>(ctrlZ) - fresh) : size_t(n);
        eof_ = n == 0 || ctrlZ != nullptr;
    }

    int fd_;
    const std::string &path_;
    std::vector<char> &buffer_;
    size_t base_ = 0;   // file offset of buffer_[0]
    size_t pos_ = 0;    // file offset of the line being split
    size_t end_ = 0;    // file offset after the bytes read (and before a Ctrl-Z)
    size_t readAt_ = 0; // file offset of the next read
    bool eof_ = false;
    bool inLongLine_ = false;
    std::string longLine_;
    Seek cr_;
    Seek lf_;
};

int64_t Nanoseconds(const timespec &t)
{
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

TIniReader::TIniReader(std::string_view path) : path_(path)
{
    if (!FileExists(path))
        return;
    fd_ = OpenFileToRead(path);
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        stamp_ = {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), Nanoseconds(st.st_mtim),
                  Nanoseconds(st.st_ctim)};
}

TIniReader::~TIniReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TIniReader::ForEachLine(std::string_view section, const std::function<bool(std::string_view line)> &line)
{
    if (fd_ < 0)
        return;
    section = CutBytes(section, kIniMaxText);
    FileLines lines(fd_, path_, buffer_);
    bool inSection = false;
    std::string_view text;
    while (lines.Next(text)) {
        if (text.empty())
            continue;
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            // Later sections of the same name are the store's duplicates: the first one is all there is.
            if (inSection)
                return;
            inSection = IniNamesEqual(text.substr(1, text.size() - 2), section);
            continue;
        }
        if (inSection && !line(text))
            return;
    }
}

bool TIniReader::Find(std::string_view section, std::string_view key, std::string &value)
{
    bool found = false;
    ForEachLine(section, [&](std::string_view line) {
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || !IniNamesEqual(line.substr(0, eq), key))
            return true;
        value.assign(CutBytes(line.substr(eq + 1), kIniMaxText));
        found = true;
        return false;
    });
    return found;
}

std::string TIniReader::ReadString(std::string_view section, std::string_view key, std::string_view def)
{
    std::string value;
    return Find(section, key, value) ? value : std::string(def);
}
