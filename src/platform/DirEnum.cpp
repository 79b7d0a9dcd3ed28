#include "platform/DirEnum.h"

#include "platform/AsciiText.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows file systems order names by their upper-cased form ("ab" before "a_").
bool LessIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(UpperAscii(x)) < static_cast<unsigned char>(UpperAscii(y));
    });
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask)
{
    if (mask == "*" || mask == "*.*")
        return true;
    // Iterative wildcard match with one backtrack point, linear in practice.
    size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<DirEntry> EnumerateDirectory(std::string_view cp932Folder, std::string_view mask)
{
    return ListDirectory(cp932Folder, mask).entries;
}

std::optional<FileIdentity> FolderIdentity(const std::string &nativePath)
{
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

DirListing ListDirectory(std::string_view cp932Folder, std::string_view mask)
{
    DirListing listing;
    std::vector<DirEntry> &entries = listing.entries;
    try {
        listing.nativeFolder = ToNativePath(cp932Folder);
    } catch (const EEncodingError &) {
        return listing;
    }
    const std::string folder = listing.nativeFolder.empty() ? std::string(".") : listing.nativeFolder;
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return listing;
    listing.opened = true;
    const int dirFd = ::dirfd(dir);
    while (const dirent *d = ::readdir(dir)) {
        std::string native = d->d_name;
        if (native == "." || native == "..")
            continue;
        DirEntry e;
        e.nativeName = native;
        try {
            e.name = FromNativePath(native);
        } catch (const EEncodingError &) {
            e.representable = false;
        }
        if (!MatchesMask(e.representable ? e.name : native, mask))
            continue;
        struct stat st {};
        // Follow links, as a shell would; a dangling link still shows, as a plain file.
        if (::fstatat(dirFd, d->d_name, &st, 0) != 0)
            ::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW);
        e.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
        if (S_ISDIR(st.st_mode))
            e.attributes |= faDirectory;
        else
            e.attributes |= faArchive;
        if (native[0] == '.')
            e.attributes |= faHidden;
        if (::faccessat(dirFd, d->d_name, W_OK, 0) != 0)
            e.attributes |= faReadOnly;
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const DirEntry &a, const DirEntry &b) {
        const std::string &x = a.representable ? a.name : a.nativeName;
        const std::string &y = b.representable ? b.name : b.nativeName;
        if (LessIgnoringAsciiCase(x, y))
            return true;
        if (LessIgnoringAsciiCase(y, x))
            return false;
        return x < y;
    });
    return listing;
}
