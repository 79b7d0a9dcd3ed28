#pragma once

#include <string>
#include <string_view>

// CP932 (Shift-JIS as Windows writes it) is the encoding of every text the program stores;
// UTF-8 is the encoding of file-system paths, command lines and messages.

// Raises EEncodingError naming the byte offset when the bytes are not valid CP932.
std::string Cp932ToUtf8(std::string_view cp932);
// For messages only: undecodable bytes become U+FFFD instead of failing.
std::string Cp932ToUtf8Lossy(std::string_view cp932);
// Raises EEncodingError naming the character and its position when CP932 cannot hold it.
std::string Utf8ToCp932(std::string_view utf8);

// True when byte b starts a double-byte CP932 character.
constexpr bool IsCp932LeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length of the character that starts at text[i] (1 or 2; 1 at a lone lead byte at the end).
inline size_t Cp932CharLength(std::string_view text, size_t i)
{
    return IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// Cuts text to at most maxBytes bytes; a double-byte character may be split, as the byte limits
// of the stored formats do.
inline std::string_view CutBytes(std::string_view text, size_t maxBytes)
{
    return text.substr(0, std::min(text.size(), maxBytes));
}
