#pragma once

#include <cstddef>
#include <string_view>

// The lines of a settings or list file as the program reads them. The text ends at its first Ctrl-Z
// (0x1A). A line ends at CR LF, at a lone CR or at a lone LF: text editors on Linux end lines with LF
// alone, and a file whose line ends are mixed reads line by line as it looks. The line end is not part
// of the line; the last line needs none. (The program itself always writes CR LF.)
class TextLines {
public:
    explicit TextLines(std::string_view text);

    // The next line; false when the text is used up.
    bool Next(std::string_view &line);

private:
    // The position of the next `c` at or after pos_, or the end; kept between lines, so that a file
    // without any CR (or any LF) is not searched to its end again for every line.
    size_t NextOf(char c, size_t &cached);

    std::string_view text_;
    size_t pos_ = 0;
    size_t nextCr_ = 0;
    size_t nextLf_ = 0;
};
