#include "control/ControlAdaptor.h"

#include "control/ControlTarget.h"
#include "platform/Exceptions.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <exception>
#include <iterator>
#include <type_traits>
#include <utility>

const char *ControlStateName(ControlState state)
{
    static constexpr const char *kNames[] = {"stopped", "running", "paused"}; // in the order of ControlState
    const auto index = static_cast<size_t>(state);
    return index < std::size(kNames) ? kNames[index] : "stopped";
}

QVariantMap StatusToMap(const ControlStatus &status)
{
    // In the order of kControlStatusKeys.
    const QVariant values[] = {
        QString::fromStdString(status.group),
        QString::fromLatin1(ControlStateName(status.state)),
        status.changing,
        status.randomOrder ? QStringLiteral("random") : QStringLiteral("sequential"),
        status.nextEntry,
        QString::fromStdString(status.picture),
        static_cast<qlonglong>(status.secondsToNext),
        QString::fromStdString(status.desktop),
        QString::fromStdString(status.readBack),
        QString::fromStdString(status.lastError),
        QString::fromStdString(status.monitors),
        QString::fromStdString(status.pictures),
        QString::fromStdString(status.monitorFallback),
    };
    static_assert(std::size(kControlStatusKeys) == std::extent_v<decltype(values)>, "one value for every key");
    QVariantMap map;
    for (size_t i = 0; i < std::size(kControlStatusKeys); ++i)
        map.insert(QLatin1String(kControlStatusKeys[i]), values[i]);
    return map;
}

ControlAdaptor::ControlAdaptor(ControlTarget &target, QObject *parent) : QObject(parent), target_(target)
{
    target_.OnChanged = [this](const std::string &picture, int32_t entry) {
        Q_EMIT Changed(QString::fromStdString(picture), entry);
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
        return {QLatin1String(kControlErrorRefused), QString::fromStdString(e.Message())};
    } catch (...) {
        // The same text a message box of the window would show.
        return {QLatin1String(kControlErrorFailed), QString::fromStdString(ErrorMessage(std::current_exception()))};
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
            bus.send(call.createReply(QString::fromStdString(skipped)));
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
