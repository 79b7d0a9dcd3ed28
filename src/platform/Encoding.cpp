#include "platform/Encoding.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <iconv.h>

namespace {

class Iconv {
public:
    Iconv(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        // (iconv_t)-1 is how iconv_open reports a failure.
        if (cd_ == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
            throw EEncodingError(FormatMessage("文字コード変換 %s → %s を利用できません", {from, to}));
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    // Converts as much as possible; returns the number of input bytes consumed before a failure
    // (input.size() on success) and sets err to the iconv errno (0 on success).
    size_t Convert(std::string_view input, std::string &out, int &err)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char *in = const_cast<char *>(input.data());
        size_t inLeft = input.size();
        char buffer[4096];
        err = 0;
        while (inLeft > 0) {
            char *o = buffer;
            size_t oLeft = sizeof buffer;
            size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
            out.append(buffer, o - buffer);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                err = errno;
                break;
            }
        }
        return input.size() - inLeft;
    }

private:
    iconv_t cd_;
};

// Iconv descriptors are cheap to keep; one per thread avoids sharing state between threads.
Iconv &FromCp932()
{
    thread_local Iconv cd("UTF-8", "CP932");
    return cd;
}

Iconv &ToCp932()
{
    thread_local Iconv cd("CP932", "UTF-8");
    return cd;
}

bool IsAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Length of the UTF-8 sequence that starts with byte b (1 for invalid lead bytes).
size_t Utf8SequenceLength(unsigned char b)
{
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

size_t CountUtf8Chars(std::string_view s)
{
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932)
{
    if (IsAscii(cp932))
        return std::string(cp932);
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    int err = 0;
    size_t done = FromCp932().Convert(cp932, out, err);
    if (err != 0)
        throw EEncodingError(FormatMessage("Shift-JIS (CP932) として読めないバイト列があります (%s バイト目)",
                                           {std::to_string(done + 1)}));
    return out;
}

std::string Cp932ToUtf8Lossy(std::string_view cp932)
{
    if (IsAscii(cp932))
        return std::string(cp932);
    std::string out;
    while (!cp932.empty()) {
        int err = 0;
        size_t done = FromCp932().Convert(cp932, out, err);
        if (err == 0)
            break;
        out += "\xEF\xBF\xBD";
        cp932.remove_prefix(std::min(cp932.size(), done + 1));
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    if (IsAscii(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    int err = 0;
    size_t done = ToCp932().Convert(utf8, out, err);
    if (err != 0) {
        std::string_view bad = utf8.substr(done, Utf8SequenceLength(static_cast<unsigned char>(utf8[done])));
        if (err == EILSEQ && CountUtf8Chars(bad) == 1 && (static_cast<unsigned char>(bad[0]) & 0xC0) == 0xC0)
            throw EEncodingError(FormatMessage("文字「%s」(%s 文字目) は Shift-JIS (CP932) で表せません: %s",
                                               {bad, std::to_string(CountUtf8Chars(utf8.substr(0, done)) + 1), utf8}));
        throw EEncodingError(
            FormatMessage("UTF-8 として正しくないバイト列があります (%s バイト目)", {std::to_string(done + 1)}));
    }
    return out;
}
