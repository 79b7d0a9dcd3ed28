#include "shell/TrayActivation.h"

#include "shell/TrayShell.h"

std::vector<uint32_t> TrayActivation::Map(QSystemTrayIcon::ActivationReason reason, int64_t now, int doubleClickTime)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (lastTrigger_ >= 0 && now - lastTrigger_ <= doubleClickTime) {
            lastTrigger_ = -1;
            return {TrayMessage::LButtonDblClk, TrayMessage::LButtonUp};
        }
        lastTrigger_ = now;
        return {TrayMessage::LButtonDown, TrayMessage::LButtonUp};
    case QSystemTrayIcon::DoubleClick:
        // The press after a double click starts a new click, as it does with a mouse.
        lastTrigger_ = -1;
        return {TrayMessage::LButtonDblClk, TrayMessage::LButtonUp};
    case QSystemTrayIcon::Context:
        lastTrigger_ = -1;
        return {TrayMessage::RButtonDown, TrayMessage::RButtonUp};
    case QSystemTrayIcon::MiddleClick:
        lastTrigger_ = -1;
        return {TrayMessage::MButtonDown, TrayMessage::MButtonUp};
    case QSystemTrayIcon::Unknown:
        break;
    }
    return {};
}
