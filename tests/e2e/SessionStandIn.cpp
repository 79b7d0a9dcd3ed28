// A stand-in for a desktop session's manager, for the end-to-end tests: it claims
// org.gnome.SessionManager on the session bus, says the session is running and takes every client
// that registers (Cinnamon's settings daemons wait for that before they work).
#include "BusStandIn.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
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

int main(int argc, char **argv)
{
    return ServeOnSessionBus<SessionManager>(argc, argv, QStringLiteral("/org/gnome/SessionManager"),
                                             QStringLiteral("org.gnome.SessionManager"),
                                             "org.gnome.SessionManager ready");
}
#include "SessionStandIn.moc"
