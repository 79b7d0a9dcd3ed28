#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdio>

// The whole of a stand-in service of the session bus: an `Adaptor` on an object at `path` under the
// name `service`, served until the stand-in is killed. Prints `ready` once the name is ours, for the
// script that waits for it; returns 1 ("no name") when another owns the name.
template <class Adaptor>
int ServeOnSessionBus(int &argc, char **argv, const QString &path, const QString &service, const char *ready)
{
    QCoreApplication app(argc, argv);
    QObject root;
    new Adaptor(&root);
    auto bus = QDBusConnection::sessionBus();
    bus.registerObject(path, &root);
    if (!bus.registerService(service)) {
        std::printf("no name\n");
        return 1;
    }
    std::printf("%s\n", ready);
    std::fflush(stdout);
    return app.exec();
}
