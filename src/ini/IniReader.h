#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What a file's contents are known by without reading them: a file replaced or written since shows
// another stamp (the change time moves with every write and cannot be set back).
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp &) const = default;
    // The stamp of no file: equal to no file's stamp.
    bool Known() const { return inode != 0 || changedNs != 0; }
};

// Reads keys of an INI file exactly as a TIniStore loaded from it would answer them, without loading
// the file: each read goes through the file's lines from the start and stops at the key. The lines
// are those the store parses (CR LF, CR or LF ends a line, Ctrl-Z ends the file, a line counts with its
// first 255 bytes), a section is the first one of its name (the store drops later ones), and keys
// match as the store matches them. A large list file thus costs a change only the lines up to the
// entry it shows, and never its whole size in memory.
//
// The file stays open while the reader lives, so all reads see one version of it even when another
// program replaces it meanwhile.
class TIniReader {
public:
    // A missing file reads as empty, as the store's. Raises EInOutError when the file is there but
    // cannot be opened.
    explicit TIniReader(std::string_view path);
    ~TIniReader();
    TIniReader(const TIniReader &) = delete;
    TIniReader &operator=(const TIniReader &) = delete;

    // As TIniStore::ReadString: the value of the first matching entry (at most 255 bytes), or def.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def);
    // The same, telling whether the key is there.
    bool Find(std::string_view section, std::string_view key, std::string &value);
    // Calls `line` with every entry line of the section (as TIniStore::ReadSectionLines gives them), in
    // file order, until it returns false. Raises EInOutError when the file cannot be read.
    void ForEachLine(std::string_view section, const std::function<bool(std::string_view line)> &line);

    // Whether there was a file to read.
    bool FileFound() const { return fd_ >= 0; }
    // The open file's stamp (all zero without a file).
    const FileStamp &Stamp() const { return stamp_; }

private:
    std::string path_; // CP932, for messages
    int fd_ = -1;
    FileStamp stamp_;
    std::vector<char> buffer_; // reused by every pass over the file
};
