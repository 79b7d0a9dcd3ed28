#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// The command line's texts, without Qt: shared by the launcher and the commands. Command lines and
// output are UTF-8; the program's text is CP932, converted here at the edge.

// Wrong arguments: main prints the message and the usage text and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command-line text as CP932; raises EEncodingError when CP932 cannot hold it.
std::string ArgText(const std::string &utf8);
// A command-line path as the CP932 path the program's file functions take.
std::string ArgPath(const std::string &utf8);
// The width and height of `--screen WxH`; raises UsageError when it is none.
std::pair<int, int> ParseScreen(const std::string &text);
// Writes CP932 text as UTF-8 to standard output.
void PrintText(std::string_view cp932);
// Whether the environment variable is set to something.
bool EnvironmentSet(const char *name);
// The session names a display (X11 or Wayland).
bool HaveDisplay();
