#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Helpers shared by the tapistoctl commands. Command lines and output are UTF-8; the program's
// text is CP932, converted here at the edge.

// Wrong arguments: main prints the message and the usage text and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command-line text as CP932; raises EEncodingError when CP932 cannot hold it.
std::string ArgText(const std::string &utf8);
// A command-line path as the CP932 path the program's file functions take.
std::string ArgPath(const std::string &utf8);
// Writes CP932 text as UTF-8 to standard output.
void PrintText(std::string_view cp932);

// Whether the session has a display (X11 or Wayland) to connect to.
bool HaveDisplay();
// Creates the Qt GUI application, only for work that needs it (the screen's size, metafiles): its
// start-up costs time. `forScreen`: connect to the session's display when there is one; otherwise
// draw off screen. Does nothing when an application exists.
void EnsureGuiApplication(bool forScreen);
