#pragma once

#include "shell/TrayShell.h"

#include <QSystemTrayIcon>

#include <map>
#include <memory>

// The notification area through QSystemTrayIcon: one per record. Qt reports activations, not button
// presses and releases; each becomes the message pair a press and release would have produced.
class QtTrayShell : public TrayShell {
public:
    QtTrayShell();
    ~QtTrayShell() override;
    QtTrayShell(const QtTrayShell &) = delete;
    QtTrayShell &operator=(const QtTrayShell &) = delete;

    // Refused when no notification area is available, or the identifier is already shown.
    bool Add(const NotifyRecord &record) override;
    // Refused for an identifier that is not shown.
    bool Modify(const NotifyRecord &record) override;
    bool Delete(const NotifyRecord &record) override;

private:
    struct Entry {
        std::unique_ptr<QSystemTrayIcon, void (*)(QSystemTrayIcon *)> icon;
        NotifyRecord record;
    };
    void Apply(Entry &entry, const NotifyRecord &record);
    void Activated(uint32_t iconId, QSystemTrayIcon::ActivationReason reason);

    std::map<uint32_t, Entry> entries_;
};
