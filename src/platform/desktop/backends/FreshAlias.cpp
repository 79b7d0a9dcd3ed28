#include "platform/desktop/backends/FreshAlias.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <optional>
#include <unistd.h>

namespace {

// The bitmap's folder (with its '/'), its name before the extension, and the extension with its dot.
struct NameParts {
    std::string folder;
    std::string stem;
    std::string ext;
};

NameParts Split(const std::string &nativePath)
{
    const size_t slash = nativePath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = nativePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = nativePath.size();
    return {nativePath.substr(0, nameStart), nativePath.substr(nameStart, dot - nameStart), nativePath.substr(dot)};
}

// N of a name STEM~N.EXT; nothing for any other name.
std::optional<uint64_t> AliasNumber(const std::string &name, const NameParts &parts)
{
    const std::string prefix = parts.stem + "~";
    if (name.size() <= prefix.size() + parts.ext.size() || !name.starts_with(prefix) || !name.ends_with(parts.ext))
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - parts.ext.size());
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(digits);
}

// The two names earlier versions alternated between, and the temporary names they linked them under.
bool IsOldAlternatingName(const std::string &name, const NameParts &parts)
{
    for (const char *letter : {".a", ".b"})
        for (const char *temp : {"", ".tmp"})
            if (name == parts.stem + letter + parts.ext + temp)
                return true;
    return false;
}

uint64_t NowMilliseconds()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

} // namespace

FreshAlias::FreshAlias(const std::string &cp932Path)
{
    const std::string source = ToNativePath(cp932Path);
    const NameParts parts = Split(source);
    // Names made after this look (another change running at the same time) are left alone.
    uint64_t next = NowMilliseconds();
    if (DIR *dir = opendir(parts.folder.empty() ? "." : parts.folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            const auto number = AliasNumber(name, parts);
            if (number)
                next = std::max(next, *number + 1);
            if (number || IsOldAlternatingName(name, parts))
                older_.push_back(parts.folder + name);
        }
        closedir(dir);
    }

    // link() makes the name complete or not at all, and fails on a name that is taken.
    for (int attempt = 0; attempt < 1000; ++attempt, ++next) {
        newPath_ = parts.folder + parts.stem + "~" + std::to_string(next) + parts.ext;
        if (link(source.c_str(), newPath_.c_str()) == 0)
            return;
        if (errno == EEXIST)
            continue;
        // File systems without hard links get a copy.
        ReplaceFileAtomically(FromNativePath(newPath_), ReadWholeFile(cp932Path));
        return;
    }
    throw EInOutError(FormatMessage("ファイル %s を作成できません: %s", {newPath_, "同じ名前のファイルがあります"}));
}

FreshAlias::~FreshAlias()
{
    if (!committed_)
        unlink(newPath_.c_str());
}

void FreshAlias::Commit()
{
    committed_ = true;
    for (const std::string &path : older_)
        unlink(path.c_str());
}
