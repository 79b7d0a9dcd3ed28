#pragma once

#include "control/ControlAdaptor.h"

#include <QDBusConnection>
#include <QString>

// The running program's presence on the session bus: the control object and the well-known name,
// both given up again when this goes.
class ControlService {
public:
    explicit ControlService(ControlTarget &target, QDBusConnection bus = QDBusConnection::sessionBus());
    ~ControlService();
    ControlService(const ControlService &) = delete;
    ControlService &operator=(const ControlService &) = delete;

    // Registers the object and takes the name. Returns false, with the reason in Error(), when
    // there is no session bus or another process holds the name.
    bool Start();
    QString Error() const { return error_; }

private:
    QDBusConnection bus_;
    ControlAdaptor adaptor_;
    bool registered_ = false;
    bool named_ = false;
    QString error_;
};
