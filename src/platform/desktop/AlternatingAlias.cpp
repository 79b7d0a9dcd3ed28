#include "platform/desktop/AlternatingAlias.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

std::string AliasName(const std::string &nativePath, char letter)
{
    const size_t slash = nativePath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = nativePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = nativePath.size();
    return nativePath.substr(0, dot) + "." + letter + nativePath.substr(dot);
}

bool Exists(const std::string &nativePath)
{
    return access(nativePath.c_str(), F_OK) == 0;
}

} // namespace

AlternatingAlias::AlternatingAlias(const std::string &cp932Path)
{
    const std::string source = ToNativePath(cp932Path);
    const std::string a = AliasName(source, 'a');
    const std::string b = AliasName(source, 'b');
    const bool useB = Exists(a);
    newPath_ = useB ? b : a;
    oldPath_ = useB ? a : b;

    // Link under a temporary name first, so the new name appears complete or not at all.
    const std::string temp = newPath_ + ".tmp";
    unlink(temp.c_str());
    if (link(source.c_str(), temp.c_str()) == 0) {
        if (rename(temp.c_str(), newPath_.c_str()) != 0) {
            const int err = errno;
            unlink(temp.c_str());
            throw EInOutError(FormatMessage("ファイル %s を作成できません: %s", {newPath_, std::strerror(err)}));
        }
    } else {
        // File systems without hard links get a copy.
        ReplaceFileAtomically(FromNativePath(newPath_), ReadWholeFile(cp932Path));
    }
}

AlternatingAlias::~AlternatingAlias()
{
    if (!committed_)
        unlink(newPath_.c_str());
}

void AlternatingAlias::Commit()
{
    committed_ = true;
    unlink(oldPath_.c_str());
}
