#include "app/ChangeWorker.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

ChangeWorker::ChangeWorker()
{
    // One change at a time; the thread ends when it has been idle for a while and comes back with the
    // next change.
    pool_.setMaxThreadCount(1);
    pool_.setObjectName(QStringLiteral("ChangeWorker"));
}

ChangeWorker::~ChangeWorker()
{
    // The job reports into this object's members.
    pool_.waitForDone();
}

void ChangeWorker::Start(Job job, Done done)
{
    busy_ = true;
    done_ = std::move(done);
    pool_.start([this, job = std::move(job)] {
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            ended_ = true;
            error_ = error;
        }
        QMetaObject::invokeMethod(
            this, [this] { Deliver(); }, Qt::QueuedConnection);
    });
}

void ChangeWorker::Deliver()
{
    std::exception_ptr error;
    {
        const std::lock_guard lock(mutex_);
        if (!ended_)
            return; // FinishNow delivered it already
        ended_ = false;
        error = std::move(error_);
        error_ = nullptr;
    }
    busy_ = false;
    const Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(error);
}

void ChangeWorker::FinishNow(std::chrono::milliseconds patience, const std::function<void()> &cutOff)
{
    if (!pool_.waitForDone(int(patience.count())) && cutOff)
        cutOff();
    pool_.waitForDone();
    Deliver();
}

void ChangeWorker::ServeEventsUntil(const std::function<bool()> &ready)
{
    if (ready())
        return;
    const bool cursor = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (cursor)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    struct RestoreCursor {
        bool cursor;
        ~RestoreCursor()
        {
            if (cursor)
                QGuiApplication::restoreOverrideCursor();
        }
    } restore{cursor};
    // Not a nested QEventLoop: once an exit command has asked the program to end, such a loop would
    // return at once, and the wait would spin.
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}
