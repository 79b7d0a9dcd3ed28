#pragma once

#include "cli/CliArgs.h"
#include "platform/desktop/ScreenMetrics.h"

#include <memory>

// The Qt application object of tapistoctl, created only for work that needs it (the screen's size,
// metafiles): its start-up costs time.

// Creates the application once. `forScreen`: on the session's display, trying Wayland, then X11, then
// drawing off screen, unless the user chose a platform (QT_QPA_PLATFORM): a missing platform plug-in or
// a display that cannot be reached must not abort a command. Otherwise off screen.
void EnsureGuiApplication(bool forScreen);
// The application shows on a real display: its screen's size is the session's.
bool OnRealScreen();
// Creates a plain application object once, for commands that only talk to the session bus.
void EnsureCoreApplication();
// The session's screen asked of the X server itself where Qt would ask it too (DISPLAY without
// WAYLAND_DISPLAY, and QT_QPA_PLATFORM unset or xcb), so that no GUI application (its platform plug-in,
// its X connection, its screens) is started only for the screen's size. nullptr otherwise, or when
// the display cannot be opened.
std::unique_ptr<ScreenMetrics> X11SessionScreen();
