#include "platform/Exceptions.h"

#include "platform/Encoding.h"

EConvertError EConvertError::NotAnInteger(const std::string &cp932Text)
{
    return EConvertError(FormatMessage("'%s' は整数ではありません", {Cp932ToUtf8Lossy(cp932Text)}));
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    out.reserve(pattern.size() + 64);
    auto arg = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && arg != args.end()) {
            out.append(*arg++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}
