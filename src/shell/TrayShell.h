#pragma once

#include "platform/ui/ErrorReport.h"

#include <QIcon>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>

class CallbackWindow;
class QMenu;

// Mouse messages that the shell reports for a tray icon, with the numbers the component dispatches on.
namespace TrayMessage {
constexpr uint32_t MouseMove = 512;
constexpr uint32_t LButtonDown = 513;
constexpr uint32_t LButtonUp = 514;
constexpr uint32_t LButtonDblClk = 515;
constexpr uint32_t RButtonDown = 516;
constexpr uint32_t RButtonUp = 517;
constexpr uint32_t RButtonDblClk = 518;
constexpr uint32_t MButtonDown = 519;
constexpr uint32_t MButtonUp = 520;
} // namespace TrayMessage

// Which fields of a NotifyRecord the shell takes.
namespace TrayFlag {
constexpr uint32_t Message = 1;
constexpr uint32_t Icon = 2;
constexpr uint32_t Tip = 4;
} // namespace TrayFlag

// The message number the callback window receives notifications under (first user message + 200).
constexpr uint32_t TrayNotifyMessage = 1024 + 200;

// Longest tip, in CP932 bytes; the record holds it with its terminator in 64 bytes.
constexpr size_t TrayTipMaxBytes = 62;

// One icon as the shell sees it.
struct NotifyRecord {
    uint32_t IconId = 0;
    uint32_t Flags = 0;
    uint32_t CallbackMessage = TrayNotifyMessage;
    QPointer<CallbackWindow> Window;
    QIcon Icon;
    std::string Tip; // CP932 bytes, at most TrayTipMaxBytes
    // The right-button menu for shells whose host draws menus itself; null when the icon pops up
    // no menu of its own on a right-button press.
    QPointer<QMenu> ContextMenu;
};

// The notification area: icons are added, changed and removed by record, and every mouse action on
// one comes back to the record's window as (IconId, mouse message).
class TrayShell {
public:
    virtual ~TrayShell() = default;
    // Each returns false when the shell refused the record.
    virtual bool Add(const NotifyRecord &record) = 0;
    virtual bool Modify(const NotifyRecord &record) = 0;
    virtual bool Delete(const NotifyRecord &record) = 0;
    // Whether a notification area is there now to take an icon (one may turn up or go at any time).
    virtual bool Available() const { return true; }

    // Where an error from an event handler goes: events run from Qt's loop, which must never see
    // one. Without a report set the text is logged.
    void SetErrorReport(ErrorReportFunction report) { errorReport_ = std::move(report); }
    // Runs an event handler inside the general error report.
    void RunHandler(const std::function<void()> &handler) const;

private:
    ErrorReportFunction errorReport_;
};
