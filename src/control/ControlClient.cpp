#include "control/ControlClient.h"

#include "control/ControlNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

ControlReply CallControl(const QString &method, const QDBusConnection &bus, int timeoutMs)
{
    ControlReply reply;
    if (!bus.isConnected() || bus.interface() == nullptr)
        return reply;
    const QString service = QLatin1String(kControlService);
    if (!bus.interface()->isServiceRegistered(service).value())
        return reply;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QLatin1String(kControlPath), QLatin1String(kControlInterface), method);
    const QDBusMessage answer = bus.call(call, QDBus::Block, timeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        // The program ended between the look-up and the call.
        if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return reply;
        reply.result = ControlReply::Failed;
        reply.error = answer.errorMessage();
        return reply;
    }
    reply.result = ControlReply::Done;
    if (!answer.arguments().isEmpty())
        reply.status = qdbus_cast<QVariantMap>(answer.arguments().front());
    return reply;
}

std::string FormatStatusLines(const QVariantMap &status)
{
    QStringList keys;
    for (const char *key : kControlStatusKeys)
        if (status.contains(QLatin1String(key)))
            keys << QLatin1String(key);
    for (auto it = status.cbegin(); it != status.cend(); ++it)
        if (!keys.contains(it.key()))
            keys << it.key();
    QString text;
    for (const QString &key : keys) {
        QString value = status.value(key).toString();
        // One line per key, whatever an error text holds.
        value.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += key + QStringLiteral(": ") + value + QLatin1Char('\n');
    }
    return text.toStdString();
}

std::string FormatStatusJson(const QVariantMap &status)
{
    return QJsonDocument(QJsonObject::fromVariantMap(status)).toJson(QJsonDocument::Compact).toStdString() + "\n";
}
