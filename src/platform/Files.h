#pragma once

#include "platform/Exceptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// File operations on CP932 paths. Failures raise EInOutError with a message naming the file.

bool FileExists(std::string_view cp932Path);      // a regular file (or a link to one)
bool DirectoryExists(std::string_view cp932Path); // a folder (or a link to one)
// "ファイル %s は開けません" when the file is missing, with the reason when it is there but unreadable.
std::string ReadWholeFile(std::string_view cp932Path);
// Opens a regular file for reading (the caller closes it), raising that error.
int OpenFileToRead(std::string_view cp932Path);
// The same into a buffer of the caller's type, so that the bytes are held once: `resize(n)` makes
// the buffer n bytes long and returns its first byte. Returns the file's size, to which the buffer
// is resized last.
size_t ReadWholeFileInto(std::string_view cp932Path, const std::function<char *(size_t)> &resize);
// Reads exactly `size` bytes at `offset` of an open file (interrupted reads are resumed); false
// when the file ends before them or a read fails. Never raises.
bool ReadExactlyAt(int fd, void *data, size_t size, uint64_t offset);
// Deletes a file if there is one; a missing file is no error.
void DeleteFileIfExists(std::string_view cp932Path);

// Writes a whole file so that readers see the old or the new contents, never a mixture: the data
// goes to a temporary file in the same folder, is flushed to disk and renamed over the target,
// which keeps its permission bits. On any failure the temporary file is removed, the old file is
// untouched and EInOutError is raised. A file whose size is known up front can be reserved and
// written piece by piece at its final offsets (rows of a bitmap as they are made). Each writer
// first removes the temporaries that killed writers left in the folder (TempFiles.h).
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string_view cp932Path);
    ~AtomicFileWriter(); // abandons the temporary file unless Commit succeeded
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    void Write(const void *data, size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Makes the temporary file `size` bytes long with its blocks allocated, so that a full disk is
    // reported here, before anything is made, rather than at some later write.
    void Reserve(uint64_t size);
    // Writes at `offset` of the temporary file, wherever the sequential writes stand.
    void WriteAt(uint64_t offset, const void *data, size_t size);
    void Commit();

private:
    void Fail(const char *what, int err);
    // Starts the disk writing what WriteAt has written so far, so that Commit's flush has little left.
    void StartWriteback();

    std::string displayPath_; // UTF-8, for messages
    std::string nativePath_;
    std::unique_ptr<class LockedTempFile> temp_;
    int fd_ = -1;                    // temp_'s, while it is usable
    uint64_t dirtyLow_ = UINT64_MAX; // the range WriteAt wrote since the last StartWriteback
    uint64_t dirtyHigh_ = 0;
};

void ReplaceFileAtomically(std::string_view cp932Path, std::string_view bytes);
