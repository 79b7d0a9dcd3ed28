#pragma once

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <cstdint>

class TTrayIcon;

// The tray icons of the process in creation order. A new icon takes the last identifier plus one,
// so an identifier is never reused while a later icon exists.
class IconRegistry {
public:
    static constexpr size_t MaxIcons = 100;

    // 1 when empty, else the last identifier plus 1.
    static uint32_t NextId();
    static void Add(uint32_t iconId, TTrayIcon *icon);
    static void Remove(const TTrayIcon *icon);
    // Null for an identifier that is not registered.
    static TTrayIcon *Find(uint32_t iconId);
    static size_t Count();
};

// Receives the shell's notifications for every tray icon of the process and hands each to its icon.
// One per process, a child of the form of the first icon; when that form goes, the next icon makes
// a new one.
class CallbackWindow : public QObject {
public:
    static CallbackWindow *Instance(QObject *owner);

    // A notification: message is the record's callback message, the other two what the shell
    // reported. Notifications for unknown identifiers are ignored.
    void Perform(uint32_t message, uint32_t iconId, uint32_t mouseMessage);
    // The icon of the last notification handled.
    TTrayIcon *CurrentIcon() const;

private:
    explicit CallbackWindow(QObject *parent) : QObject(parent) {}
    QPointer<TTrayIcon> currentIcon_;
};
