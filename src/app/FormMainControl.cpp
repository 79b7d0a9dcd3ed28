// The main window's side of the session-bus control: every outside command runs the tray menu's
// own handler, and is refused exactly when that menu would show it disabled.
#include "app/FormMain.h"

#include "app/ChangeWorker.h"
#include "app/ReportBox.h"
#include "app/Timer.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "platform/desktop/Desktop.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ErrorReport.h"
#include "schedule/Settings.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

constexpr char kNotStarted[] = "壁紙の変更は開始されていません（メイン画面の「実　行」で開始します）";

} // namespace

void TFormMain::RequireCommand(const QAction *item, const char *reason) const
{
    // Stopped, the tray menu is not there at all: the window is the place to start from.
    if (!scheduleActive_)
        throw ECommandRefused(kNotStarted);
    if (!item->isEnabled())
        throw ECommandRefused(reason);
}

void TFormMain::RecordChange(const std::function<bool()> &change)
{
    bool changed = false;
    try {
        changed = change();
    } catch (const EUseIndexNotStored &e) {
        lastError_ = e.Message(); // the wallpaper did change
        AfterChange();
        throw;
    } catch (...) {
        lastError_ = ErrorText(std::current_exception()).toStdString();
        throw;
    }
    if (!changed)
        return;
    // A change that passed over pictures went through: what it passed over is the news.
    lastError_ = schedule_.LastSkipped.empty()
                     ? std::string()
                     : "表示できない画像を飛ばしました。\n" + DescribeSkipped(schedule_.LastSkipped);
    AfterChange();
    if (!changer_.LastFallback.empty() && !monitorFallbackShown_) {
        // Said once a run, after the change: the change itself went through, with one picture.
        monitorFallbackShown_ = true;
        const QString text = QString::fromStdString(changer_.LastFallback);
        QTimer::singleShot(0, this, [this, text] {
            RunGuarded(reports_->AsErrorReport(), [&] { platform_.dialogs->Warning(nullptr, text); });
        });
    }
}

void TFormMain::AfterChange()
{
    if (OnChanged)
        OnChanged(Cp932ToUtf8Lossy(changer_.LastPicturePath), schedule_.ShownIndex);
    const std::vector<SkippedEntry> &skipped = schedule_.LastSkipped;
    skipNote_.clear();
    if (!skipped.empty()) {
        const std::string &path = skipped.front().PicturePath;
        skipNote_ = Utf8ToCp932("表示できない画像: ") +
                    (path.empty() ? "file" + std::to_string(skipped.front().Index) : ExtractFileName(path));
        if (skipped.size() > 1)
            skipNote_ += Utf8ToCp932(FormatMessage(" ほか %s 件", {std::to_string(skipped.size() - 1)}));
    }
    UpdateTip();
    // Each picture is told of once a run, not at every change that passes over it.
    std::vector<SkippedEntry> news;
    for (const SkippedEntry &entry : skipped)
        if (toldSkipped_.insert(entry.PicturePath.empty() ? "file" + std::to_string(entry.Index) : entry.PicturePath)
                .second)
            news.push_back(entry);
    if (news.empty())
        return;
    // After the change, outside it: the box runs its own loop.
    const QString text = QStringLiteral("以下の画像は表示できないため飛ばし、そのあとの画像を表示しました。\n") +
                         QString::fromStdString(DescribeSkipped(news));
    QTimer::singleShot(0, this, [this, text] { reports_->Show(text, Dialogs::Icon::Warning); });
}

void TFormMain::ControlNext(ChangeAnswer answer)
{
    RequireCommand(N11, "「次へ」は今は使えません");
    QueueChange({ChangeKind::Next, std::move(answer)});
}

void TFormMain::ControlBack(ChangeAnswer answer)
{
    RequireCommand(N10, "ランダムで壁紙を変更しているため「戻る」は使えません");
    QueueChange({ChangeKind::Back, std::move(answer)});
}

void TFormMain::ControlPause()
{
    RequireCommand(N5, "すでに一時停止中です");
    N5Click();
}

void TFormMain::ControlResume()
{
    RequireCommand(N6, "一時停止中ではありません");
    N6Click();
}

void TFormMain::ControlShow()
{
    // A modal window (the list editor, a message box) is what the user has to answer first.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    TrayIcon1DblClick();
}

TFormMain::ChangeFacts TFormMain::FactsNow() const
{
    ChangeFacts facts;
    facts.nextEntry = schedule_.CurrentIndex;
    facts.picture = Cp932ToUtf8Lossy(changer_.LastPicturePath);
    facts.readBack = platform_.desktop->LastReadBack();
    facts.monitors = FormatMonitorLayout(changer_.LastLayout);
    for (const WallPaperChoice &choice : changer_.LastChoices)
        facts.pictures += (facts.pictures.empty() ? "" : "\n") + Cp932ToUtf8Lossy(choice.PicturePath);
    facts.fallback = changer_.LastFallback;
    return facts;
}

ControlStatus TFormMain::ControlStatusNow() const
{
    ControlStatus status;
    status.group = Cp932ToUtf8Lossy(Settings::ReadValue(Settings::kUseSection));
    if (scheduleActive_)
        status.state = N6->isEnabled() ? ControlState::Paused : ControlState::Running;
    status.randomOrder = Settings::ReadFlag(Settings::kOp3Checked);
    // While a change runs, what it will change is its own: the status tells of the one before.
    status.changing = changes_->Busy();
    const ChangeFacts facts = status.changing ? factsBeforeChange_ : FactsNow();
    status.nextEntry = facts.nextEntry;
    status.picture = facts.picture;
    // A coarse timer may fire a little late; the wait shown is never longer than the interval.
    const int64_t remaining = std::min(Timer1->RemainingMilliseconds(), Timer1->Interval());
    status.secondsToNext = remaining < 0 ? -1 : (remaining + 999) / 1000;
    status.desktop = platform_.desktop->Name();
    status.readBack = facts.readBack;
    status.lastError = lastError_;
    status.monitors = facts.monitors;
    status.pictures = facts.pictures;
    status.monitorFallback = facts.fallback;
    return status;
}
