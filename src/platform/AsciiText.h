#pragma once

#include "platform/Encoding.h"

#include <string>
#include <string_view>

// Case rules that touch ASCII letters only: file names, extensions and plug-in paths compare this
// way, while the bytes of double-byte CP932 characters are left alone (a trail byte may look like
// a letter: "ア" is 0x83 0x41, "ヂ" 0x83 0x61).

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
constexpr char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Letter case ignored in single-byte characters only.
inline bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size();) {
        const size_t length = Cp932CharLength(a, i);
        if (length == 1 ? UpperAscii(a[i]) != UpperAscii(b[i]) : a.substr(i, 2) != b.substr(i, 2))
            return false;
        i += length;
    }
    return true;
}

inline std::string LowerAsciiText(std::string_view text)
{
    std::string out(text);
    for (size_t i = 0; i < out.size(); i += Cp932CharLength(out, i))
        out[i] = LowerAscii(out[i]);
    return out;
}
