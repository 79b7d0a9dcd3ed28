#include "cli/GuiStart.h"

#include <QGuiApplication>

#include <cstdlib>

void EnsureGuiApplication(bool forScreen)
{
    if (QCoreApplication::instance() != nullptr)
        return;
    if (!forScreen || !HaveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!EnvironmentSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", EnvironmentSet("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen");
    static int argc = 1;
    static char name[] = "tapistoctl";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}

void EnsureCoreApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "tapistoctl";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

bool OnRealScreen()
{
    return QCoreApplication::instance() != nullptr && QGuiApplication::platformName() != QLatin1String("offscreen") &&
           QGuiApplication::primaryScreen() != nullptr;
}

std::unique_ptr<ScreenMetrics> X11SessionScreen()
{
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || EnvironmentSet("WAYLAND_DISPLAY"))
        return nullptr;
    if (EnvironmentSet("QT_QPA_PLATFORM") && qgetenv("QT_QPA_PLATFORM") != "xcb")
        return nullptr;
    return CreateX11ScreenMetrics(display);
}
