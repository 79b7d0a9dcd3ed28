#pragma once

#include "control/ControlNames.h"
#include "control/ControlTarget.h"

#include <QDBusContext>
#include <QObject>
#include <QVariantMap>

#include <functional>

// The object on the bus: one method per tray command. A refused or failed command answers with a
// D-Bus error whose message is the Japanese reason; nothing takes an argument.
class ControlAdaptor : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tapisto.Tapisto1")

public:
    explicit ControlAdaptor(ControlTarget &target, QObject *parent = nullptr);
    ~ControlAdaptor() override;

public Q_SLOTS:
    // The pictures the change passed over, one per line ("" when none).
    Q_SCRIPTABLE QString Next();
    Q_SCRIPTABLE QString Back();
    Q_SCRIPTABLE void Pause();
    Q_SCRIPTABLE void Resume();
    Q_SCRIPTABLE void Show();
    // One value for each of kControlStatusKeys (ControlNames.h).
    Q_SCRIPTABLE QVariantMap Status();

Q_SIGNALS:
    // After every change: the picture shown and its entry number.
    Q_SCRIPTABLE void Changed(const QString &picture, int entry);

private:
    // Runs a command; an exception becomes the error reply and never reaches Qt.
    void Run(const std::function<void()> &command);

    ControlTarget &target_;
};

// The status as the bus carries it: the keys of kControlStatusKeys, texts in UTF-8.
QVariantMap StatusToMap(const ControlStatus &status);
