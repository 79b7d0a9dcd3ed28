#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <string>

// Calls into the running program over the session bus, for tapistoctl and for a second start.

struct ControlReply {
    enum Result { NotRunning, Done, Failed };
    Result result = NotRunning;
    QString error;      // the program's reason when Failed
    QVariantMap status; // filled by Status
};

// Calls one method (Next, Back, Pause, Resume, Show, Status). NotRunning when no session bus
// answers or nobody holds the program's name.
ControlReply CallControl(const QString &method, QDBusConnection bus = QDBusConnection::sessionBus());

// The status as "key: value" lines, UTF-8, in a fixed order of the known keys, then any others.
std::string FormatStatusLines(const QVariantMap &status);
// The status as one JSON object on one line, UTF-8.
std::string FormatStatusJson(const QVariantMap &status);
