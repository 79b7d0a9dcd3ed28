#include "shell/QtTrayShell.h"

#include "platform/Encoding.h"
#include "platform/ui/QtText.h"
#include "shell/TrayCallback.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QStyleHints>

#include <vector>

// Each click on the icon is traced for debugging; quiet unless QT_LOGGING_RULES turns it on
// ("tapisto.tray.debug=true").
Q_LOGGING_CATEGORY(lcTapistoTray, "tapisto.tray", QtInfoMsg)

namespace {

// The icon may be deleted from inside its own activation signal (a handler hiding the icon).
void DeleteLater(QSystemTrayIcon *icon)
{
    icon->hide();
    icon->deleteLater();
}

} // namespace

QString TrayTipText(const std::string &tip)
{
    size_t end = 0;
    while (end < tip.size() && !(IsCp932LeadByte(static_cast<unsigned char>(tip[end])) && end + 1 == tip.size()))
        end += Cp932CharLength(tip, end);
    return Cp932ToQString(std::string_view(tip).substr(0, end));
}

QtTrayShell::QtTrayShell()
{
    clock_.start();
}

QtTrayShell::~QtTrayShell() = default;

bool QtTrayShell::Add(const NotifyRecord &record)
{
    if (entries_.count(record.IconId) || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    Entry entry{{new QSystemTrayIcon, &DeleteLater}, {}, {}};
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

bool QtTrayShell::Available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayShell::Apply(Entry &entry, const NotifyRecord &record)
{
    QSystemTrayIcon *icon = entry.icon.get();
    if (record.Flags & TrayFlag::Icon)
        icon->setIcon(record.Icon);
    if (record.Flags & TrayFlag::Tip)
        icon->setToolTip(TrayTipText(record.Tip));
    else
        icon->setToolTip(QString());
    // On an XEmbed tray Qt opens this menu itself on the right-button press, before it reports the
    // activation; on a StatusNotifierItem host the host draws it from the exported menu.
    if (icon->contextMenu() != record.ContextMenu)
        icon->setContextMenu(record.ContextMenu);
    entry.record = record;
}

void QtTrayShell::Activated(uint32_t iconId, QSystemTrayIcon::ActivationReason reason)
{
    auto found = entries_.find(iconId);
    if (found == entries_.end())
        return;
    const std::vector<uint32_t> messages = found->second.activation.Map(
        reason, clock_.elapsed(), QGuiApplication::styleHints()->mouseDoubleClickInterval());
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
        const uint32_t callbackMessage = it->second.record.CallbackMessage;
        RunHandler([&] { window->Perform(callbackMessage, iconId, message); });
    }
}
