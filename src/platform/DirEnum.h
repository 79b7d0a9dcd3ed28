#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Attribute bits as the callers test them.
enum FileAttribute : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02, // a name starting with '.'
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20, // any regular file
};

// Which file a name leads to (links followed): two names of one folder have the same identity.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

struct DirEntry {
    std::string name;       // CP932; empty when the name cannot be held in CP932
    std::string nativeName; // the file system's own name (UTF-8)
    uint32_t attributes = 0;
    bool representable = true; // false: CP932 cannot hold the name
    FileIdentity identity;     // of what the name leads to
};

// A folder's entries together with the folder's own path on the file system, for a walk that
// needs both without converting the path twice.
struct DirListing {
    std::string nativeFolder; // UTF-8, as given (no separator added)
    std::vector<DirEntry> entries;
    bool opened = false; // false: the folder is missing or could not be read (or its path converted)
};

// Entries of a folder (CP932 path) whose names match a wildcard mask ('*' and '?', ASCII case
// ignored; "*" and "*.*" match everything), without "." and "..", in case-insensitive name order.
// A missing or unreadable folder gives an empty list.
std::vector<DirEntry> EnumerateDirectory(std::string_view cp932Folder, std::string_view mask = "*");
// The same, with the folder's native path; empty when CP932 path cannot be converted.
DirListing ListDirectory(std::string_view cp932Folder, std::string_view mask = "*");

// The identity of the folder a UTF-8 path names (links followed); nothing when it names no folder.
std::optional<FileIdentity> FolderIdentity(const std::string &nativePath);

// The wildcard test used by EnumerateDirectory, on raw bytes.
bool MatchesMask(std::string_view name, std::string_view mask);
