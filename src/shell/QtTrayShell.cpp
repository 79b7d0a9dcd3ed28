#include "shell/QtTrayShell.h"

#include "platform/Encoding.h"
#include "platform/QtText.h"
#include "shell/TrayCallback.h"

#include <QLoggingCategory>
#include <QMenu>

#include <vector>

Q_LOGGING_CATEGORY(lcTapistoTray, "tapisto.tray")

namespace {

// The icon may be deleted from inside its own activation signal (a handler hiding the icon).
void DeleteLater(QSystemTrayIcon *icon)
{
    icon->hide();
    icon->deleteLater();
}

// A tip cut inside a double-byte character ends in a lone lead byte; the tooltip leaves it out
// rather than showing a replacement character.
QString TipText(const std::string &tip)
{
    size_t end = 0;
    for (size_t i = 0; i < tip.size(); i += Cp932CharLength(tip, i)) {
        if (IsCp932LeadByte(static_cast<unsigned char>(tip[i])) && i + 1 >= tip.size())
            break;
        end = i + Cp932CharLength(tip, i);
    }
    return Cp932ToQString(std::string_view(tip).substr(0, end));
}

} // namespace

QtTrayShell::QtTrayShell() = default;
QtTrayShell::~QtTrayShell() = default;

bool QtTrayShell::Add(const NotifyRecord &record)
{
    if (entries_.count(record.IconId) || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    Entry entry{{new QSystemTrayIcon, &DeleteLater}, {}};
    QSystemTrayIcon *icon = entry.icon.get();
    const uint32_t iconId = record.IconId;
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [this, iconId](QSystemTrayIcon::ActivationReason reason) { Activated(iconId, reason); });
    Apply(entry, record);
    icon->show();
    entries_.emplace(iconId, std::move(entry));
    return true;
}

bool QtTrayShell::Modify(const NotifyRecord &record)
{
    auto it = entries_.find(record.IconId);
    if (it == entries_.end())
        return false;
    Apply(it->second, record);
    return true;
}

bool QtTrayShell::Delete(const NotifyRecord &record)
{
    return entries_.erase(record.IconId) > 0;
}

void QtTrayShell::Apply(Entry &entry, const NotifyRecord &record)
{
    QSystemTrayIcon *icon = entry.icon.get();
    if (record.Flags & TrayFlag::Icon)
        icon->setIcon(record.Icon);
    if (record.Flags & TrayFlag::Tip)
        icon->setToolTip(TipText(record.Tip));
    else
        icon->setToolTip(QString());
    // On an XEmbed tray Qt opens this menu itself on the right-button press, before it reports the
    // activation; on a StatusNotifierItem host the host draws it from the exported menu.
    if (icon->contextMenu() != record.ContextMenu)
        icon->setContextMenu(record.ContextMenu);
    entry.record = record;
}

// What Qt reports, observed on an XEmbed tray (trayer under Xvfb, xdotool clicks):
//  - left click: Trigger on the press, nothing on the release;
//  - double click: Trigger on the first press, DoubleClick on the second press;
//  - right click: Context on the press (after the context menu, if any, has opened);
//  - middle click: MiddleClick on the press;
//  - no report of pointer movement.
// Each activation therefore stands for a whole press and release.
void QtTrayShell::Activated(uint32_t iconId, QSystemTrayIcon::ActivationReason reason)
{
    std::vector<uint32_t> messages;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        messages = {TrayMessage::LButtonDown, TrayMessage::LButtonUp};
        break;
    case QSystemTrayIcon::DoubleClick:
        messages = {TrayMessage::LButtonDblClk, TrayMessage::LButtonUp};
        break;
    case QSystemTrayIcon::Context:
        messages = {TrayMessage::RButtonDown, TrayMessage::RButtonUp};
        break;
    case QSystemTrayIcon::MiddleClick:
        messages = {TrayMessage::MButtonDown, TrayMessage::MButtonUp};
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
    qCDebug(lcTapistoTray) << "activated" << iconId << reason;
    for (uint32_t message : messages) {
        // A handler may delete the icon or hide it between the two messages.
        auto it = entries_.find(iconId);
        if (it == entries_.end())
            return;
        QPointer<CallbackWindow> window = it->second.record.Window;
        if (!window)
            return;
        qCDebug(lcTapistoTray) << "message" << iconId << message;
        try {
            window->Perform(it->second.record.CallbackMessage, iconId, message);
        } catch (const std::exception &error) {
            ReportError(error);
        }
    }
}
