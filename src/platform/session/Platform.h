#pragma once

#include <functional>
#include <memory>

class Autostart;
class Browser;
class ControlTarget;
class Desktop;
class Dialogs;
class Registry;
class ScreenMetrics;
class TrayShell;

// The operating-system services the main window uses, built once by main (and by tests with
// fakes). The objects are owned by whoever builds the struct and outlive the window.
struct Platform {
    Desktop *desktop = nullptr;
    Registry *registry = nullptr;
    ScreenMetrics *screen = nullptr;
    Dialogs *dialogs = nullptr;
    Browser *browser = nullptr;
    Autostart *autostart = nullptr;
    // A fresh notification-area shell for the tray icon.
    std::function<std::unique_ptr<TrayShell>()> makeTrayShell;
    // Offers the window's commands to outside programs (the session bus) before the start decision,
    // so that a box shown at start does not keep them out; the window holds what it returns until
    // it goes. May be empty.
    std::function<std::shared_ptr<void>(ControlTarget &)> offerControl;
};
