#pragma once

#include "shell/TrayActivation.h"
#include "shell/TrayShell.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>
#include <QSystemTrayIcon>

#include <map>
#include <memory>
#include <string>

// The trace of the icon's activations and the messages made of them.
Q_DECLARE_LOGGING_CATEGORY(lcTapistoTray)

// The tooltip of a CP932 tip. A tip cut inside a double-byte character ends in a lone lead byte,
// which is left out rather than shown as a replacement character.
QString TrayTipText(const std::string &tip);

// The notification area through QSystemTrayIcon: one per record. Qt reports activations, not button
// presses and releases; TrayActivation turns them into messages.
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
    // An XEmbed tray (its manager selection) or a StatusNotifierItem host on the session bus.
    bool Available() const override;

private:
    struct Entry {
        std::unique_ptr<QSystemTrayIcon, void (*)(QSystemTrayIcon *)> icon;
        NotifyRecord record;
        TrayActivation activation;
    };
    void Apply(Entry &entry, const NotifyRecord &record);
    void Activated(uint32_t iconId, QSystemTrayIcon::ActivationReason reason);

    std::map<uint32_t, Entry> entries_;
    QElapsedTimer clock_;
};
