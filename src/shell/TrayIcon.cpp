#include "shell/TrayIcon.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "shell/TrayCallback.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>
#include <QWidget>

#include <algorithm>

namespace {

const char *const CannotRegister = "タスクトレイにアイコンを登録できません。";

// Time after a release within which a second press makes a double click.
int DoubleClickTime()
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

} // namespace

TTrayIcon::TTrayIcon(QObject *owner, TrayShell &shell) : QObject(owner), shell_(shell)
{
    iconId_ = IconRegistry::NextId();
    if (IconRegistry::Count() >= IconRegistry::MaxIcons)
        throw EOutOfMemory(CannotRegister);
    IconRegistry::Add(iconId_, this);

    CallbackWindow::Instance(owner);
    record_.IconId = iconId_;
    record_.CallbackMessage = TrayNotifyMessage;

    singleClick_.setSingleShot(true);
    connect(&singleClick_, &QTimer::timeout, this, [this] { SingleClickDone(); });
}

TTrayIcon::~TTrayIcon()
{
    animating_ = false;
    try {
        if (registered_)
            UpdateShellIcon(ShellAction::Delete);
    } catch (...) {
        // Out of memory while removing it: the icon goes with the program, and a destructor may not throw.
    }
    IconRegistry::Remove(this);
}

void TTrayIcon::SetVisible(bool visible)
{
    if (visible == visible_)
        return;
    visible_ = visible && !icon_.isNull();
    if (loading_)
        return;
    if (visible_)
        UpdateShellIcon(ShellAction::Add);
    else if (registered_)
        UpdateShellIcon(ShellAction::Delete);
}

void TTrayIcon::SetTipHelp(std::string_view tip)
{
    const std::string_view cut = CutBytes(tip, TrayTipMaxBytes);
    if (cut == tipHelp_)
        return;
    tipHelp_ = cut;
    if (registered_)
        UpdateShellIcon(ShellAction::Modify);
}

void TTrayIcon::SetIcon(const QIcon &icon)
{
    if (&icon == &icon_)
        return;
    if (icon.isNull()) {
        // Hidden first, so the shell is never asked to show an icon without a picture.
        SetVisible(false);
        icon_ = QIcon();
        return;
    }
    icon_ = icon;
    IconChanged();
}

void TTrayIcon::IconChanged()
{
    if (registered_)
        UpdateShellIcon(ShellAction::Modify);
}

void TTrayIcon::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (!enabled_)
        clickPending_ = false;
    UpdateShellMenu();
}

void TTrayIcon::SetAnimateRate(int rate)
{
    if (rate != animateRate_)
        animateRate_ = std::max(rate, 100);
}

void TTrayIcon::SetAnimateIcons(TrayIconFrames *frames)
{
    if (!animating_)
        animateIcons_ = frames;
}

void TTrayIcon::SetLBPopupMenu(QMenu *menu)
{
    lbPopupMenu_ = menu;
}

void TTrayIcon::SetRBPopupMenu(QMenu *menu)
{
    rbPopupMenu_ = menu;
    UpdateShellMenu();
}

void TTrayIcon::SetAutoPopup(bool autoPopup)
{
    autoPopup_ = autoPopup;
    UpdateShellMenu();
}

void TTrayIcon::Loaded()
{
    loading_ = false;
    if (!registered_)
        UpdateShellIcon(ShellAction::Add);
}

// The menu a host that draws menus itself should open on a right-button press: exactly the one this
// icon would pop up.
QMenu *TTrayIcon::ShellContextMenu() const
{
    return enabled_ && autoPopup_ ? rbPopupMenu_.data() : nullptr;
}

// Hands a changed right-button menu to the shell. Only a hint for hosts that draw the menu, so a
// refusal is no error here: the property change itself has succeeded.
void TTrayIcon::UpdateShellMenu()
{
    if (!registered_ || record_.ContextMenu == ShellContextMenu())
        return;
    FillRecord();
    shell_.Modify(record_);
}

void TTrayIcon::FillRecord()
{
    const bool showFrame = animating_ && animateIcons_ && animateFrame_ < animateIcons_->Frames.size();
    record_.Icon = showFrame ? animateIcons_->Frames.at(animateFrame_) : icon_;
    record_.Tip = tipHelp_;
    record_.Flags = TrayFlag::Message | TrayFlag::Icon | (tipHelp_.empty() ? 0 : TrayFlag::Tip);
    record_.ContextMenu = ShellContextMenu();
}

void TTrayIcon::UpdateShellIcon(ShellAction action)
{
    FillRecord();
    switch (action) {
    case ShellAction::Add:
        if (!visible_)
            return;
        record_.Window = CallbackWindow::Instance(parent());
        if (!shell_.Add(record_)) {
            // Nothing is shown, so nothing may claim to be: the next SetVisible(true) tries again.
            visible_ = false;
            throw EOutOfMemory(CannotRegister);
        }
        registered_ = true;
        break;
    case ShellAction::Modify:
        if (!shell_.Modify(record_))
            throw EOutOfMemory(CannotRegister);
        break;
    case ShellAction::Delete:
        shell_.Delete(record_);
        registered_ = false;
        break;
    }
}

void TTrayIcon::HandleNotification(uint32_t mouseMessage)
{
    if (!enabled_)
        return;
    const QPoint at = QCursor::pos();
    const int x = at.x();
    const int y = at.y();
    // A press opens the button's menu when it has one, otherwise it is a mouse-down.
    const auto press = [&](QMenu *menu, TMouseButton button, TShiftState shift) {
        if (menu && autoPopup_)
            PopupAtCursor(menu, at);
        else if (OnMouseDown)
            OnMouseDown(this, button, shift, x, y);
    };
    // False when nobody takes the release.
    const auto release = [&](TMouseButton button, TShiftState shift) {
        if (!OnMouseUp)
            return false;
        OnMouseUp(this, button, shift, x, y);
        return true;
    };
    switch (mouseMessage) {
    case TrayMessage::MouseMove:
        if (OnMouseMove)
            OnMouseMove(this, 0, x, y);
        break;
    case TrayMessage::LButtonDown:
        press(lbPopupMenu_, TMouseButton::mbLeft, Shift::Left);
        break;
    case TrayMessage::LButtonUp:
        if (!release(TMouseButton::mbLeft, Shift::Left))
            SingleClickStep();
        break;
    case TrayMessage::LButtonDblClk:
        clickPending_ = true;
        if (OnDblClick)
            OnDblClick(this);
        break;
    case TrayMessage::RButtonDown:
        press(rbPopupMenu_, TMouseButton::mbRight, Shift::Right);
        break;
    case TrayMessage::RButtonUp:
        release(TMouseButton::mbRight, Shift::Right);
        break;
    case TrayMessage::MButtonDown:
        press(nullptr, TMouseButton::mbMiddle, Shift::Middle);
        break;
    case TrayMessage::MButtonUp:
        release(TMouseButton::mbMiddle, Shift::Middle);
        break;
    default:
        break;
    }
}

void TTrayIcon::PopupAtCursor(QMenu *menu, QPoint at)
{
    QPointer<QMenu> guard(menu);
    QPointer<TTrayIcon> self(this);
    if (auto *form = qobject_cast<QWidget *>(parent()); form && form->isWindow()) {
        // The menu's commands act on the form; a hidden form cannot take the focus.
        if (form->isVisible())
            form->activateWindow();
        QCoreApplication::processEvents();
    }
    // Qt's XEmbed tray icon opens its context menu itself, before the press reaches us.
    if (self && guard && !guard->isVisible())
        guard->popup(at);
}

void TTrayIcon::SingleClickStep()
{
    if (!OnClick || clickPending_) {
        // No one listens, or this release ends a double click or cancels the waiting click.
        clickPending_ = false;
        return;
    }
    clickPending_ = true;
    singleClick_.start(DoubleClickTime() + 50);
}

// The wait belongs to the icon that was clicked, so a notification for another icon in between
// neither steals nor strands the click.
void TTrayIcon::SingleClickDone()
{
    if (!clickPending_)
        return;
    clickPending_ = false;
    shell_.RunHandler([this] {
        if (OnClick)
            OnClick(this);
    });
}
