#pragma once

#include <cstdint>
#include <string_view>

// The platform's integer conversion: leading blanks, an optional sign, then decimal digits or
// hexadecimal digits after '$', and nothing after the number. Decimal values must fit in 32 bits;
// hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1).
bool TryStrToInt(std::string_view text, int32_t &value);
// Raises EConvertError "'%s' は整数ではありません" naming the text.
int32_t StrToInt(std::string_view text);
