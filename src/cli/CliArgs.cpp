#include "cli/CliArgs.h"

#include "platform/Encoding.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>

std::string ArgText(const std::string &utf8)
{
    return Utf8ToCp932(utf8);
}

std::string ArgPath(const std::string &utf8)
{
    return FromNativePath(utf8);
}

void PrintText(std::string_view cp932)
{
    const std::string utf8 = Cp932ToUtf8(cp932);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::pair<int, int> ParseScreen(const std::string &text)
{
    const size_t x = text.find('x');
    char *end = nullptr;
    if (x != std::string::npos) {
        const long w = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() + x && w > 0 && w <= 100000) {
            const long h = std::strtol(text.c_str() + x + 1, &end, 10);
            if (*end == '\0' && end != text.c_str() + x + 1 && h > 0 && h <= 100000)
                return {int(w), int(h)};
        }
    }
    throw UsageError("--screen: WxH の形で指定してください (例 1920x1080)");
}

bool EnvironmentSet(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool HaveDisplay()
{
    return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY");
}
