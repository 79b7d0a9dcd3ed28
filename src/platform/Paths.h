#pragma once

#include <string>
#include <string_view>

// Path text is CP932, as stored in settings and list files. Both '/' and '\' separate folders
// (groups written on Windows hold '\'); a '\' that is the second byte of a double-byte character
// (表, ソ) is part of that character, never a separator.

constexpr char kPathSeparator = '/';

struct SplitPathResult {
    std::string folder; // up to and including the last separator; empty when there is none
    std::string name;   // the rest
};

// Index of the last separator that is not inside a double-byte character, or npos.
size_t LastSeparatorIndex(std::string_view path);
SplitPathResult SplitPath(std::string_view path);
inline std::string ExtractFilePath(std::string_view path)
{
    return SplitPath(path).folder;
}
inline std::string ExtractFileName(std::string_view path)
{
    return SplitPath(path).name;
}
// The name part's extension from its last '.', with the dot; empty when the name has none.
std::string ExtractFileExt(std::string_view path);
// Appends the native separator unless the text is empty or already ends in a separator.
std::string IncludeTrailingSeparator(std::string_view folder);
// Folder joined with a name, with exactly the separators the folder needs.
std::string JoinPath(std::string_view folder, std::string_view name);

// The file-system form (UTF-8) of a CP932 path, and back. Both raise EEncodingError.
std::string ToNativePath(std::string_view cp932Path);
std::string FromNativePath(std::string_view nativePath);
