#pragma once

#include "platform/desktop/DesktopDetect.h"

#include <QString>

// The desktop of the session the user sits in, for advice about it. A backend forced through
// TAPISTO_DESKTOP does not count: the advice is about the desktop on screen. None when unknown.
DesktopKind SessionDesktop(DesktopEnvironment env);

// What the user is told when no tray icon can be shown: that the schedule runs on with the window
// minimized, and how to get a notification area on this desktop.
QString NoTrayAreaMessage(DesktopKind desktop);
