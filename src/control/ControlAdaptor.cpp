#include "control/ControlAdaptor.h"

#include "control/ControlTarget.h"
#include "platform/Exceptions.h"

#include <exception>
#include <iterator>
#include <type_traits>

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

void ControlAdaptor::Run(const std::function<void()> &command)
{
    try {
        command();
    } catch (const ECommandRefused &e) {
        sendErrorReply(QLatin1String(kControlErrorRefused), QString::fromStdString(e.Message()));
    } catch (...) {
        // The same text a message box of the window would show.
        sendErrorReply(QLatin1String(kControlErrorFailed),
                       QString::fromStdString(ErrorMessage(std::current_exception())));
    }
}

QString ControlAdaptor::Next()
{
    QString skipped;
    Run([&] { skipped = QString::fromStdString(target_.ControlNext()); });
    return skipped;
}

QString ControlAdaptor::Back()
{
    QString skipped;
    Run([&] { skipped = QString::fromStdString(target_.ControlBack()); });
    return skipped;
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
