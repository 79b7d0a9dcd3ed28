#include "platform/Paths.h"

#include "platform/Encoding.h"

namespace {

bool IsSeparatorByte(char c)
{
    return c == '/' || c == '\\';
}

} // namespace

size_t LastSeparatorIndex(std::string_view path)
{
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < path.size(); i += Cp932CharLength(path, i))
        if (IsSeparatorByte(path[i]))
            last = i;
    return last;
}

SplitPathResult SplitPath(std::string_view path)
{
    size_t sep = LastSeparatorIndex(path);
    if (sep == std::string_view::npos)
        return {std::string(), std::string(path)};
    return {std::string(path.substr(0, sep + 1)), std::string(path.substr(sep + 1))};
}

std::string ExtractFileExt(std::string_view path)
{
    size_t sep = LastSeparatorIndex(path);
    std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < name.size(); i += Cp932CharLength(name, i))
        if (name[i] == '.')
            dot = i;
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string IncludeTrailingSeparator(std::string_view folder)
{
    std::string out(folder);
    if (!out.empty() && LastSeparatorIndex(out) != out.size() - 1)
        out.push_back(kPathSeparator);
    return out;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    return IncludeTrailingSeparator(folder) + std::string(name);
}

std::string ToNativePath(std::string_view cp932Path)
{
    return Cp932ToUtf8(cp932Path);
}

std::string FromNativePath(std::string_view nativePath)
{
    return Utf8ToCp932(nativePath);
}
