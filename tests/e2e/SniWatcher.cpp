// A stand-in for a desktop's StatusNotifierItem watcher, for the end-to-end test: it claims the
// watcher's name, says a host is present (so that Qt exports its tray icons over D-Bus instead of
// XEmbed) and prints the service of every item that registers.
#include "BusStandIn.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <cstdio>

class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    explicit Watcher(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }
public slots:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &msg)
    {
        std::printf("item %s from %s\n", qPrintable(service), qPrintable(msg.service()));
        std::fflush(stdout);
        items_ << service;
    }
    void RegisterStatusNotifierHost(const QString &) {}
signals:
    void StatusNotifierItemRegistered(const QString &);
    void StatusNotifierHostRegistered();

private:
    QStringList items_;
};

int main(int argc, char **argv)
{
    return ServeOnSessionBus<Watcher>(argc, argv, QStringLiteral("/StatusNotifierWatcher"),
                                      QStringLiteral("org.kde.StatusNotifierWatcher"), "watcher ready");
}
#include "SniWatcher.moc"
