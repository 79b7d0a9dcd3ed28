#include "ini/TextLines.h"

#include <algorithm>
#include <cstring>

namespace {

// The position of the first `c` at or after `from`, or the text's size.
size_t Find(std::string_view text, char c, size_t from)
{
    if (from >= text.size())
        return text.size();
    const void *found = std::memchr(text.data() + from, c, text.size() - from);
    return found ? static_cast<size_t>(static_cast<const char *>(found) - text.data()) : text.size();
}

} // namespace

TextLines::TextLines(std::string_view text) : text_(text.substr(0, Find(text, '\x1A', 0)))
{
    nextCr_ = Find(text_, '\r', 0);
    nextLf_ = Find(text_, '\n', 0);
}

size_t TextLines::NextOf(char c, size_t &cached)
{
    if (cached < pos_)
        cached = Find(text_, c, pos_);
    return cached;
}

bool TextLines::Next(std::string_view &line)
{
    if (pos_ >= text_.size())
        return false;
    const size_t end = std::min(NextOf('\r', nextCr_), NextOf('\n', nextLf_));
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size()) {
        // An LF right after a CR belongs to the same line end.
        const bool crlf = text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
        pos_ += crlf ? 2 : 1;
    }
    return true;
}
