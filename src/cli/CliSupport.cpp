#include "CliSupport.h"

#include "platform/Encoding.h"
#include "platform/Paths.h"

#include <QGuiApplication>

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

bool HaveDisplay()
{
    const char *x = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

void EnsureGuiApplication(bool forScreen)
{
    if (QCoreApplication::instance() != nullptr)
        return;
    if (!forScreen || !HaveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tapistoctl";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}
