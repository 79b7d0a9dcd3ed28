#pragma once

#include <string>
#include <string_view>

// Case rules that touch ASCII letters only: file names, extensions and plug-in paths compare this
// way, while the bytes of double-byte characters are left alone.

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
constexpr char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

inline std::string LowerAsciiText(std::string text)
{
    for (char &c : text)
        c = LowerAscii(c);
    return text;
}
