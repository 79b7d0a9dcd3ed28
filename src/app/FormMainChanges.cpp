// The main window's changes of wallpaper: made one at a time on the change thread, in the order they
// were asked for, while the window thread goes on serving the windows, the tray and the bus.
#include "app/FormMain.h"

#include "app/ChangeWorker.h"
#include "app/ReportBox.h"
#include "app/Timer.h"
#include "platform/ui/ErrorReport.h"
#include "spi/SpiProcess.h"

#include <chrono>
#include <memory>
#include <utility>

namespace {

constexpr char kEnding[] = "Tapisto を終了するため、壁紙は変更しませんでした";

// What a bus caller is told of a change that failed: one given up as the program ends says so.
std::exception_ptr AnswerFor(const std::exception_ptr &error, bool ending)
{
    if (!error || !ending)
        return error;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort &) {
        return std::make_exception_ptr(ECommandRefused(kEnding));
    } catch (...) {
        return error;
    }
}

} // namespace

bool TFormMain::ChangeInProgress() const
{
    return changes_->Busy() || !queued_.empty();
}

void TFormMain::QueueChange(QueuedChange change)
{
    if (terminated_) {
        if (change.answer)
            change.answer({}, std::make_exception_ptr(ECommandRefused(kEnding)));
        return;
    }
    queued_.push_back(std::move(change));
    StartNextChange();
}

void TFormMain::RefuseQueuedChanges()
{
    std::deque<QueuedChange> refused;
    refused.swap(queued_);
    for (const QueuedChange &change : refused)
        if (change.answer)
            change.answer({}, std::make_exception_ptr(ECommandRefused(kEnding)));
}

void TFormMain::EndChanges()
{
    terminated_ = true;
    RefuseQueuedChanges();
    // A change ends whole, and its bus caller has the answer; but the program does not wait out a
    // plug-in that hangs: its helper is killed, and the change is given up where it stands, leaving
    // the position as it was.
    constexpr std::chrono::seconds kPatience{3};
    changes_->FinishNow(kPatience, [] { CutOffSpiHelper(); });
}

void TFormMain::StartNextChange()
{
    if (changes_->Busy() || queued_.empty() || terminated_)
        return;
    QueuedChange change = std::move(queued_.front());
    queued_.pop_front();
    const ChangeKind kind = change.kind;
    auto changed = std::make_shared<bool>(false);
    BeginChange(
        [this, kind, changed] {
            switch (kind) {
            case ChangeKind::Timed:
                *changed = schedule_.Tick();
                break;
            case ChangeKind::Next:
                NextWallPaper();
                *changed = true;
                break;
            case ChangeKind::Back:
                schedule_.Back();
                *changed = true;
                break;
            case ChangeKind::Monitors:
                *changed = changer_.RenderAgainForMonitors();
                break;
            }
        },
        [this, change = std::move(change), changed](const std::exception_ptr &error) {
            ChangeEnded(change, *changed, error);
        });
}

void TFormMain::BeginChange(std::function<void()> job, std::function<void(const std::exception_ptr &)> done)
{
    screenAtChange_.Take();
    factsBeforeChange_ = FactsNow();
    changes_->Start(std::move(job), [this, done = std::move(done)](const std::exception_ptr &error) {
        done(error);
        // The next change begins from the loop, so that whoever waits for this one goes first.
        QMetaObject::invokeMethod(
            this, [this] { StartNextChange(); }, Qt::QueuedConnection);
    });
}

void TFormMain::ChangeEnded(const QueuedChange &change, bool changed, const std::exception_ptr &error)
{
    // Running, the next timed change comes a full interval after a manual one; paused, none comes.
    const bool manual = change.kind == ChangeKind::Next || change.kind == ChangeKind::Back;
    if (manual && Timer1->Enabled()) {
        Timer1->SetEnabled(false);
        Timer1->SetEnabled(true);
    }
    QString failure;
    RunGuarded([&failure](const QString &text) { failure = text; },
               [&] {
                   RecordChange([&] {
                       if (error)
                           std::rethrow_exception(error);
                       return changed;
                   });
               });
    if (change.answer)
        change.answer(error ? std::string() : DescribeSkipped(schedule_.LastSkipped), AnswerFor(error, terminated_));
    // Shown after the caller has its answer, in the window's one box, so that a stream of failing
    // changes opens one box, not one each.
    if (!failure.isEmpty() && !terminated_)
        QMetaObject::invokeMethod(
            this, [this, failure] { reports_->Show(failure); }, Qt::QueuedConnection);
}

void TFormMain::WaitForChangeToEnd()
{
    ChangeWorker::ServeEventsUntil([this] { return !changes_->Busy(); });
}
