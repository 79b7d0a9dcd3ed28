#pragma once

#include "shell/ShellEvents.h"
#include "shell/TrayShell.h"

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <string>
#include <string_view>

// Frames for an icon animation.
class TrayIconFrames : public QObject {
public:
    using QObject::QObject;
    QList<QIcon> Frames;
};

// One icon in the notification area, with its tip, its popup menus and the mouse events the shell
// reports for it. The shell must outlive the icon. Menus and frames are referenced, not owned, and a
// reference clears itself when its object is destroyed.
class TTrayIcon : public QObject {
public:
    // Raises EOutOfMemory when 100 tray icons exist already.
    TTrayIcon(QObject *owner, TrayShell &shell);
    ~TTrayIcon() override;
    TTrayIcon(const TTrayIcon &) = delete;
    TTrayIcon &operator=(const TTrayIcon &) = delete;

    // Shown only while an icon is set. Raises EOutOfMemory when the shell refuses the icon (no
    // notification area); Visible then reads false again.
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // CP932 bytes, cut to 62. Raises EOutOfMemory when the shell refuses the change.
    const std::string &TipHelp() const { return tipHelp_; }
    void SetTipHelp(std::string_view tip);
    // An empty icon hides the tray icon. Raises EOutOfMemory when the shell refuses the change.
    const QIcon &Icon() const { return icon_; }
    void SetIcon(const QIcon &icon);
    // While false every notification is ignored.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Milliseconds per frame, at least 100.
    int AnimateRate() const { return animateRate_; }
    void SetAnimateRate(int rate);
    TrayIconFrames *AnimateIcons() const { return animateIcons_; }
    void SetAnimateIcons(TrayIconFrames *frames); // ignored while animating
    QMenu *LBPopupMenu() const { return lbPopupMenu_; }
    void SetLBPopupMenu(QMenu *menu);
    QMenu *RBPopupMenu() const { return rbPopupMenu_; }
    void SetRBPopupMenu(QMenu *menu);
    // A button's popup menu opens on its press instead of OnMouseDown.
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool autoPopup);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    uint32_t IconId() const { return iconId_; }
    bool Registered() const { return registered_; }
    bool ClickPending() const { return clickPending_; }
    bool Animating() const { return animating_; }

    // Between BeginLoading and Loaded, property changes are kept and reach the shell only at Loaded,
    // which adds the icon if it is to be visible by then.
    void BeginLoading() { loading_ = true; }
    void Loaded();

    // A mouse message from the shell for this icon (through the callback window).
    void HandleNotification(uint32_t mouseMessage);

private:
    enum class ShellAction { Add, Modify, Delete };
    void UpdateShellIcon(ShellAction action);
    void FillRecord();
    void IconChanged();
    QMenu *ShellContextMenu() const;
    void UpdateShellMenu();
    void PopupAtCursor(QMenu *menu, QPoint at);
    void SingleClickStep();
    void SingleClickDone();

    TrayShell &shell_;
    uint32_t iconId_ = 0;
    NotifyRecord record_;
    bool visible_ = false;
    std::string tipHelp_ = "TipHelp";
    QIcon icon_;
    bool enabled_ = true;
    int animateRate_ = 500;
    QPointer<TrayIconFrames> animateIcons_;
    QPointer<QMenu> lbPopupMenu_;
    QPointer<QMenu> rbPopupMenu_;
    bool autoPopup_ = true;
    bool registered_ = false;
    bool clickPending_ = false;
    bool loading_ = false;
    // The animation itself is never started by this program; the state is kept for the shell call.
    bool animating_ = false;
    int animateFrame_ = 0;
    QTimer singleClick_;
};
