#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <string>

// Calls into the running program over the session bus, for tapistoctl and for a second start.

struct ControlReply {
    enum Result { NotRunning, Done, Failed };
    Result result = NotRunning;
    QString error;      // why, in Japanese, when Failed: the program's reason, or the bus's
    QVariantMap status; // filled by Status
    QString text;       // a text answer (Next and Back: the pictures passed over, one per line)
};

// Calls one method (Next, Back, Pause, Resume, Show, Status). NotRunning when no session bus
// answers or nobody holds the program's name.
// `timeoutMs` bounds the wait for the answer: a change renders a picture first, and big photos take
// a few seconds on a slow machine.
ControlReply CallControl(const QString &method, const QDBusConnection &bus = QDBusConnection::sessionBus(),
                         int timeoutMs = 30000);

// The status as "key: value" lines, UTF-8, in a fixed order of the known keys, then any others.
std::string FormatStatusLines(const QVariantMap &status);
// The status as one JSON object on one line, UTF-8.
std::string FormatStatusJson(const QVariantMap &status);
