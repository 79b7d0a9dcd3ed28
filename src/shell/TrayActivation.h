#pragma once

#include <QSystemTrayIcon>

#include <cstdint>
#include <vector>

// Turns Qt's activation reports for one tray icon into the mouse messages of the press and release
// they stand for.
//
// What Qt reports, observed with Qt 6.4:
//  - XEmbed tray (trayer under Xvfb, clicks from xdotool): Trigger on a left press, DoubleClick on
//    the second press of a double click (after a Trigger for the first), Context on a right press
//    (after Qt has opened the context menu, if one is set), MiddleClick on a middle press; nothing on
//    releases and nothing for pointer movement.
//  - StatusNotifierItem host (D-Bus): Activate becomes Trigger, SecondaryActivate MiddleClick,
//    ContextMenu Context; there is no double click at all, and a host that draws the exported menu
//    itself does not call ContextMenu. A double click arrives as two Activate calls, so a Trigger
//    within the double-click time after a lone Trigger is taken as the second click of a double click.
class TrayActivation {
public:
    // now and doubleClickTime in milliseconds, now from a monotonic clock.
    std::vector<uint32_t> Map(QSystemTrayIcon::ActivationReason reason, int64_t now, int doubleClickTime);

private:
    int64_t lastTrigger_ = -1; // a Trigger that could still start a double click
};
