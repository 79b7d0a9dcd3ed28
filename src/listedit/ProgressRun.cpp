#include "listedit/ProgressRun.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Most runs (a few dropped files, a small folder) end within this; the window then never enters
// the loop below and nothing flickers.
constexpr std::chrono::milliseconds kQuickRun(100);
// How often the window looks whether the work has ended and takes over its text.
constexpr std::chrono::milliseconds kPollInterval(50);

enum LoopResult { Finished = 1, DialogDue, StoppedByUser };

} // namespace

struct ProgressRun::Control::State {
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::exception_ptr error;
    QString text;

    void Finish(std::exception_ptr e)
    {
        {
            const std::lock_guard lock(mutex);
            finished = true;
            error = std::move(e);
        }
        finishedChanged.notify_all();
    }
    bool WaitFinished(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        return finishedChanged.wait_for(lock, timeout, [this] { return finished; });
    }
    bool Finished() const
    {
        const std::lock_guard lock(mutex);
        return finished;
    }
};

ProgressRun::Control::Control() : state_(std::make_shared<State>()) {}

bool ProgressRun::Control::StopRequested() const
{
    return state_->stop.load();
}

void ProgressRun::Control::RequestStop()
{
    state_->stop.store(true);
}

void ProgressRun::Control::SetText(const QString &text)
{
    const std::lock_guard lock(state_->mutex);
    state_->text = text;
}

QString ProgressRun::Control::Text() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->text;
}

ProgressRun::ProgressRun(QWidget *owner, QString title, std::chrono::milliseconds delay)
    : owner_(owner), title_(std::move(title)), delay_(delay)
{
}

ProgressRun::~ProgressRun()
{
    // A worker still running learns that nobody waits for it any more.
    control_.RequestStop();
}

bool ProgressRun::Run(Work work)
{
    const auto started = std::chrono::steady_clock::now();
    const std::shared_ptr<Control::State> state = control_.state_;
    std::thread([control = control_, work = std::move(work)]() mutable {
        std::exception_ptr error;
        try {
            work(control);
        } catch (...) {
            error = std::current_exception();
        }
        control.state_->Finish(std::move(error));
    }).detach();

    if (!state->WaitFinished(kQuickRun)) {
        QEventLoop loop;
        quit_ = [&loop] { loop.exit(StoppedByUser); };
        QTimer poll;
        poll.setInterval(kPollInterval);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (state->Finished())
                loop.exit(Finished);
            else if (dialog_)
                dialog_->setLabelText(control_.Text());
        });
        poll.start();
        QTimer due;
        due.setSingleShot(true);
        QObject::connect(&due, &QTimer::timeout, &loop, [&loop] { loop.exit(DialogDue); });
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        due.start(std::max(delay_ - elapsed, std::chrono::milliseconds(0)));

        // Until the dialog is up, input waits: the window must not change under the work's feet.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        int result = loop.exec(QEventLoop::ExcludeUserInputEvents);
        QGuiApplication::restoreOverrideCursor();
        if (result == DialogDue && !control_.StopRequested()) {
            ShowDialog();
            result = loop.exec();
        }
        quit_ = nullptr;
        dialog_.reset();
        if (result == StoppedByUser || control_.StopRequested())
            return false;
    }
    if (state->error)
        std::rethrow_exception(state->error);
    return !control_.StopRequested();
}

void ProgressRun::Stop()
{
    control_.RequestStop();
    if (quit_)
        quit_();
}

void ProgressRun::ShowDialog()
{
    dialog_ = std::make_unique<QProgressDialog>(owner_);
    dialog_->setObjectName(QStringLiteral("ProgressRunDialog"));
    dialog_->setWindowTitle(title_);
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setRange(0, 0); // no end known: a busy bar
    dialog_->setCancelButtonText(QStringLiteral("中止"));
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumWidth(420);
    dialog_->setLabelText(control_.Text());
    // 中止, Escape and the close box all end up here.
    QObject::connect(dialog_.get(), &QProgressDialog::canceled, dialog_.get(), [this] { Stop(); });
    dialog_->show();
}
