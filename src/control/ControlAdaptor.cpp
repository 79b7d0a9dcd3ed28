#include "control/ControlAdaptor.h"

#include "control/ControlTarget.h"
#include "platform/ui/QtText.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <exception>
#include <utility>

const char *ControlStateName(ControlState state)
{
    switch (state) {
    case ControlState::Running:
        return "running";
    case ControlState::Paused:
        return "paused";
    case ControlState::Stopped:
        break;
    }
    return "stopped";
}

QVariantMap StatusToMap(const ControlStatus &status)
{
    QVariantMap map;
    map.insert(QStringLiteral("group"), Utf8ToQString(status.group));
    map.insert(QStringLiteral("state"), QString::fromLatin1(ControlStateName(status.state)));
    map.insert(QStringLiteral("changing"), status.changing);
    map.insert(QStringLiteral("order"), status.randomOrder ? QStringLiteral("random") : QStringLiteral("sequential"));
    map.insert(QStringLiteral("next_entry"), status.nextEntry);
    map.insert(QStringLiteral("picture"), Utf8ToQString(status.picture));
    map.insert(QStringLiteral("seconds_to_next"), static_cast<qlonglong>(status.secondsToNext));
    map.insert(QStringLiteral("desktop"), Utf8ToQString(status.desktop));
    map.insert(QStringLiteral("read_back"), Utf8ToQString(status.readBack));
    map.insert(QStringLiteral("last_error"), Utf8ToQString(status.lastError));
    map.insert(QStringLiteral("monitors"), Utf8ToQString(status.monitors));
    map.insert(QStringLiteral("pictures"), Utf8ToQString(status.pictures));
    map.insert(QStringLiteral("monitor_fallback"), Utf8ToQString(status.monitorFallback));
    return map;
}

ControlAdaptor::ControlAdaptor(ControlTarget &target, QObject *parent) : QObject(parent), target_(target)
{
    target_.OnChanged = [this](const std::string &picture, int32_t entry) {
        Q_EMIT Changed(Utf8ToQString(picture), entry);
    };
}

ControlAdaptor::~ControlAdaptor()
{
    target_.OnChanged = nullptr;
}

namespace {

// The D-Bus error a failed command answers with: its name and the Japanese reason.
std::pair<QString, QString> ErrorReplyOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ECommandRefused &e) {
        return {QLatin1String(kControlErrorRefused), Utf8ToQString(e.Message())};
    } catch (const std::exception &e) {
        return {QLatin1String(kControlErrorFailed), QString::fromUtf8(e.what())};
    } catch (...) {
        return {QLatin1String(kControlErrorFailed), QStringLiteral("不明なエラーが発生しました")};
    }
}

} // namespace

void ControlAdaptor::Run(const std::function<void()> &command)
{
    try {
        command();
    } catch (...) {
        const auto [name, text] = ErrorReplyOf(std::current_exception());
        sendErrorReply(name, text);
    }
}

ChangeAnswer ControlAdaptor::ReplyLater()
{
    setDelayedReply(true);
    return [call = message(), bus = connection()](const std::string &skipped, const std::exception_ptr &error) {
        if (!error) {
            bus.send(call.createReply(Utf8ToQString(skipped)));
            return;
        }
        const auto [name, text] = ErrorReplyOf(error);
        bus.send(call.createErrorReply(name, text));
    };
}

QString ControlAdaptor::Next()
{
    Run([this] { target_.ControlNext(ReplyLater()); });
    return {};
}

QString ControlAdaptor::Back()
{
    Run([this] { target_.ControlBack(ReplyLater()); });
    return {};
}

void ControlAdaptor::Pause()
{
    Run([this] { target_.ControlPause(); });
}

void ControlAdaptor::Resume()
{
    Run([this] { target_.ControlResume(); });
}

void ControlAdaptor::Show()
{
    Run([this] { target_.ControlShow(); });
}

QVariantMap ControlAdaptor::Status()
{
    QVariantMap map;
    Run([&] { map = StatusToMap(target_.ControlStatusNow()); });
    return map;
}
