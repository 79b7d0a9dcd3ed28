#include "control/ControlService.h"

#include <QDBusConnectionInterface>

ControlService::ControlService(ControlTarget &target, QDBusConnection bus) : bus_(std::move(bus)), adaptor_(target) {}

ControlService::~ControlService()
{
    if (named_)
        bus_.unregisterService(QLatin1String(kControlService));
    if (registered_)
        bus_.unregisterObject(QLatin1String(kControlPath));
}

bool ControlService::Start()
{
    if (!bus_.isConnected()) {
        error_ = QStringLiteral("セッションバスに接続できません: ") + bus_.lastError().message();
        return false;
    }
    registered_ =
        bus_.registerObject(QLatin1String(kControlPath), &adaptor_,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals);
    if (!registered_) {
        error_ = QStringLiteral("セッションバスにオブジェクトを登録できません");
        return false;
    }
    // Not queued: a name that someone else holds stays theirs, and we go on without it.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(QLatin1String(kControlService), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    named_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!named_) {
        error_ = QStringLiteral("セッションバスの名前 %1 を取得できません%2")
                     .arg(QLatin1String(kControlService),
                          reply.isValid() ? QString() : QStringLiteral(": ") + reply.error().message());
        return false;
    }
    return true;
}
