// Stand-ins for a desktop session's services, for the end-to-end tests, on the session bus:
//   session_stand_in               org.gnome.SessionManager: says the session is running and takes
//                                  every client that registers (Cinnamon's settings daemons wait
//                                  for that before they work);
//   session_stand_in --systemd UNIT...  org.freedesktop.systemd1 knowing only the named user units:
//                                  GNOME Shell then leaves starting ibus-daemon to that unit, instead
//                                  of forking for it (gnome-shell 43's fork for it can deadlock).
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <cstdio>

class ClientPrivate : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager.ClientPrivate")
public:
    explicit ClientPrivate(QObject *parent) : QDBusAbstractAdaptor(parent) {}
public slots:
    void EndSessionResponse(bool, const QString &) {}
signals:
    void Stop();
    void QueryEndSession(uint flags);
    void EndSession(uint flags);
    void CancelEndSession();
};

class SessionManager : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
public:
    explicit SessionManager(QObject *parent) : QDBusAbstractAdaptor(parent) {}
public slots:
    QDBusObjectPath RegisterClient(const QString &appId, const QString &)
    {
        const QString path = QStringLiteral("/org/gnome/SessionManager/Client%1").arg(++clients_);
        auto *client = new QObject(parent());
        new ClientPrivate(client);
        QDBusConnection::sessionBus().registerObject(path, client);
        std::printf("client %s at %s\n", qPrintable(appId), qPrintable(path));
        std::fflush(stdout);
        return QDBusObjectPath(path);
    }
    void UnregisterClient(const QDBusObjectPath &) {}
    bool IsSessionRunning() const { return true; }
signals:
    void SessionRunning();

private:
    int clients_ = 0;
};

class SystemdManager : public QDBusAbstractAdaptor, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Manager")
public:
    SystemdManager(QObject *parent, QStringList units) : QDBusAbstractAdaptor(parent), units_(std::move(units)) {}
public slots:
    QDBusObjectPath GetUnit(const QString &unit)
    {
        std::printf("unit %s asked for\n", qPrintable(unit));
        std::fflush(stdout);
        if (!units_.contains(unit)) {
            sendErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"), QStringLiteral("Unit not loaded."));
            return {};
        }
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/unit/%1").arg(units_.indexOf(unit)));
    }

private:
    QStringList units_;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    auto bus = QDBusConnection::sessionBus();
    QObject root;
    const bool systemd = !args.isEmpty() && args.takeFirst() == QStringLiteral("--systemd");
    QString service;
    if (systemd) {
        new SystemdManager(&root, args);
        bus.registerObject(QStringLiteral("/org/freedesktop/systemd1"), &root);
        service = QStringLiteral("org.freedesktop.systemd1");
    } else {
        new SessionManager(&root);
        bus.registerObject(QStringLiteral("/org/gnome/SessionManager"), &root);
        service = QStringLiteral("org.gnome.SessionManager");
    }
    if (!bus.registerService(service)) {
        std::printf("no name\n");
        return 1;
    }
    std::printf("%s ready\n", qPrintable(service));
    std::fflush(stdout);
    return app.exec();
}
#include "SessionStandIn.moc"
