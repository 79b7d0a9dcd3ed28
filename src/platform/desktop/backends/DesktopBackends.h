#pragma once

#include "platform/desktop/CommandRunner.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Monitors.h"

#include <memory>
#include <string>
#include <vector>

// The backends, for CreateDesktop (DesktopFactory.cpp beside them; the session side knows only
// DesktopFactory.h), and the texts they build, for their tests.

// "file:///path" with every byte outside the unreserved set and '/' percent-encoded (UTF-8 path).
std::string FileUri(const std::string &nativePath);
// A GVariant string literal: 'text' with quotes and backslashes escaped.
std::string GVariantString(const std::string &text);
// The Plasma script that sets `uri` with `fillMode` on every desktop and switches to the image plugin.
std::string PlasmaScript(const std::string &uri, int fillMode);
// The Plasma script that prints, per desktop, "PLUGIN IMAGE FILLMODE", and "locked" when widgets are locked.
std::string PlasmaReadBackScript();
// Plasma's text of a screen's geometry, "X,Y,WxH".
std::string PlasmaGeometryText(const Monitor &monitor);
// The Plasma script that gives each desktop the piece (uris[i]) of the monitor whose geometry its screen
// has, stretched, and prints the geometries of screens that match none.
std::string PlasmaMonitorScript(const MonitorLayout &layout, const std::vector<std::string> &uris);
// The Plasma script that prints, per desktop on a screen, "X,Y,WxH PLUGIN IMAGE FILLMODE", and "locked".
std::string PlasmaMonitorReadBackScript();
// The path quoted for sway's command parser and then for the wordexp that its `bg` command applies.
std::string SwayQuoted(const std::string &text);
// Sets SlideShowInterval to 0 in every pcmanfm-qt profile's settings that cycles; returns how many.
int DisablePcmanfmQtSlideshow(const std::string &configHome);

std::unique_ptr<Desktop> CreateFileDesktop();
std::unique_ptr<Desktop> CreateGnomeDesktop(CommandRunner &runner);
std::unique_ptr<Desktop> CreateMateDesktop(CommandRunner &runner);
std::unique_ptr<Desktop> CreateCinnamonDesktop(CommandRunner &runner);
std::unique_ptr<Desktop> CreateKdeDesktop(CommandRunner &runner);
std::unique_ptr<Desktop> CreateXfceDesktop(CommandRunner &runner, const std::string &procRoot);
std::unique_ptr<Desktop> CreateLxqtDesktop(CommandRunner &runner, const std::string &configHome,
                                           const std::string &procRoot);
std::unique_ptr<Desktop> CreateLxdeDesktop(CommandRunner &runner, const std::string &configHome,
                                           const std::string &procRoot);
std::unique_ptr<Desktop> CreateSwayDesktop(CommandRunner &runner, const std::string &procRoot);
std::unique_ptr<Desktop> CreateHyprlandDesktop(CommandRunner &runner);
std::unique_ptr<Desktop> CreateX11Desktop(const std::string &display);
