#include "control/ControlClient.h"

#include "control/ControlNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// The reason a call failed, in Japanese: the program's own reasons come as they are; the bus's texts
// (English, and about D-Bus rather than the program) are said in the user's words.
QString FailureText(const QDBusMessage &answer, const QString &method, int timeoutMs)
{
    const QString name = answer.errorName();
    if (name == QLatin1String(kControlErrorRefused) || name == QLatin1String(kControlErrorFailed))
        return answer.errorMessage();
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        return QStringLiteral("起動中の Tapisto が %1 秒以内に応答しませんでした（処理中か、止まっています）")
            .arg(timeoutMs > 0 ? (timeoutMs + 999) / 1000 : 25); // D-Bus's own wait
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return QStringLiteral("起動中の Tapisto は「%1」に対応していません（別の版が動いています）").arg(method);
    return QStringLiteral("起動中の Tapisto と通信できません（%1）").arg(name);
}

} // namespace

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
        reply.error = FailureText(answer, method, timeoutMs);
        return reply;
    }
    reply.result = ControlReply::Done;
    if (!answer.arguments().isEmpty()) {
        const QVariant first = answer.arguments().front();
        if (first.metaType() == QMetaType::fromType<QString>())
            reply.text = first.toString();
        else
            reply.status = qdbus_cast<QVariantMap>(first);
    }
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
