// next and back: the running program's tray command when it answers on the session bus, so that
// it and its own schedule keep one position; otherwise one change of the schedule on the home
// folder's settings and group, through the same ChangeSchedule and change object that the main
// window's tray commands use.
#include "cli/CliSupport.h"
#include "cli/ControlCall.h"
#include "cli/GuiStart.h"
#include "control/ControlClient.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/ChangeFactory.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/ScheduleLock.h"
#include "schedule/Settings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The pictures a change passed over, on standard error: the change itself went through.
void TellSkipped(const std::string &lines)
{
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        std::fprintf(stderr, "tapistoctl: 表示できない画像を飛ばしました: %s\n",
                     lines.substr(start, end - start).c_str());
        start = end + 1;
    }
}

int Step(const char *command, const std::vector<std::string> &args, bool back)
{
    std::optional<MonitorLayout> monitors;
    if (args.size() == 2 && args[0] == "--monitors") {
        monitors = ParseMonitorsOption(args[1]);
    } else if (!args.empty()) {
        throw UsageError(std::string(command) + ": 引数は --monitors LAYOUT だけです");
    }
    EnsureGuiApplication(true);
    // With --home the command is about that folder's files, not about the program the user runs; a
    // layout of its own is not the running program's either.
    if (!HomeFolderOverridden() && !monitors) {
        const ControlReply reply = CallControl(back ? QStringLiteral("Back") : QStringLiteral("Next"));
        if (reply.result != ControlReply::NotRunning) {
            ThrowIfFailed(reply);
            TellSkipped(reply.text.toStdString());
            return 0;
        }
    }
    // The screen's size needs the display; without one Qt draws off screen (metafiles need it too).
    std::unique_ptr<ScreenMetrics> screen;
    if (monitors)
        screen = std::make_unique<FixedMonitorMetrics>(*monitors);
    else
        screen = std::make_unique<QtScreenMetrics>();
    StandaloneChange change(std::move(screen));
    // Plug-in formats are there when the main window would have them: its option is on.
    if (Settings::ReadFlag(Settings::kOpSusie))
        change.LoadPlugins();

    ChangeSchedule schedule(change.Changer());
    {
        // No other change of this home folder comes between reading the position and storing it.
        const ScheduleLock lock;
        // The position after the last change; before any change the schedule starts at entry 0.
        const std::string stored = Settings::ReadUseIndexText();
        schedule.CurrentIndex = stored.empty() ? 0 : StrToInt(stored);
        if (back)
            schedule.Back();
        else
            schedule.NextWallPaper();
    }
    TellSkipped(DescribeSkipped(schedule.LastSkipped));
    // The change went through with one picture for every monitor: the desktop's reason is said.
    if (!change.Changer().LastFallback.empty())
        std::fprintf(stderr, "tapistoctl: %s\n", change.Changer().LastFallback.c_str());
    return 0;
}

} // namespace

int CmdNext(const std::vector<std::string> &args)
{
    return Step("next", args, false);
}
int CmdBack(const std::vector<std::string> &args)
{
    return Step("back", args, true);
}
