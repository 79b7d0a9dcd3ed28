#include "platform/Exceptions.h"

#include "platform/Encoding.h"

#include <new>

EConvertError EConvertError::NotAnInteger(const std::string &cp932Text)
{
    return EConvertError(FormatMessage("'%s' は整数ではありません", {Cp932ToUtf8Lossy(cp932Text)}));
}

std::string ErrorMessage(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::bad_alloc &) {
        return "メモリが不足しています。";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "不明なエラーが発生しました。";
    }
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
