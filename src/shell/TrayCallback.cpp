#include "shell/TrayCallback.h"

#include "shell/TrayIcon.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<uint32_t, TTrayIcon *>> &Entries()
{
    static std::vector<std::pair<uint32_t, TTrayIcon *>> entries;
    return entries;
}

QPointer<CallbackWindow> &TheWindow()
{
    static QPointer<CallbackWindow> window;
    return window;
}

} // namespace

uint32_t IconRegistry::NextId()
{
    return Entries().empty() ? 1 : Entries().back().first + 1;
}

void IconRegistry::Add(uint32_t iconId, TTrayIcon *icon)
{
    Entries().emplace_back(iconId, icon);
}

void IconRegistry::Remove(const TTrayIcon *icon)
{
    std::erase_if(Entries(), [icon](const auto &entry) { return entry.second == icon; });
}

TTrayIcon *IconRegistry::Find(uint32_t iconId)
{
    auto &entries = Entries();
    auto it = std::find_if(entries.begin(), entries.end(), [iconId](const auto &e) { return e.first == iconId; });
    return it == entries.end() ? nullptr : it->second;
}

size_t IconRegistry::Count()
{
    return Entries().size();
}

CallbackWindow *CallbackWindow::Instance(QObject *owner)
{
    auto &window = TheWindow();
    if (!window)
        window = new CallbackWindow(owner ? owner : QCoreApplication::instance());
    return window;
}

void CallbackWindow::Perform(uint32_t message, uint32_t iconId, uint32_t mouseMessage)
{
    if (message != TrayNotifyMessage)
        return;
    TTrayIcon *icon = IconRegistry::Find(iconId);
    if (!icon)
        return;
    currentIcon_ = icon;
    icon->HandleNotification(mouseMessage);
}

TTrayIcon *CallbackWindow::CurrentIcon() const
{
    return currentIcon_;
}
