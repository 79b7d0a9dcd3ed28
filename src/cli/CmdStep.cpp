// next and back: one change of the schedule on the home folder's settings and group, through the
// same ChangeSchedule that the main window's tray commands use.
#include "CliSupport.h"
#include "ini/IniRegistry.h"
#include "picture/SPIBmp.h"
#include "picture/SPIs.h"
#include "platform/IntConvert.h"
#include "platform/desktop/DesktopBackends.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/Render.h"
#include "schedule/Settings.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The screen's size needs the display; without one Qt draws off screen (metafiles need it too).
void EnsureGuiApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    const char *x = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x == nullptr || *x == '\0') && (wayland == nullptr || *wayland == '\0'))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tapistoctl";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}

int Step(const char *command, const std::vector<std::string> &args, bool back)
{
    if (!args.empty())
        throw UsageError(std::string(command) + ": 引数はありません");
    EnsureGuiApplication();
    const DesktopEnvironment env = DesktopEnvironment::FromProcess();
    ProcessRunner runner;
    std::unique_ptr<Desktop> desktop = CreateDesktop(DetectDesktop(env), runner, env);
    std::unique_ptr<Registry> registry = CreateUserRegistry();
    QtScreenMetrics screen;

    // Plug-in formats are there when the main window would have them: its option is on.
    std::optional<TSPIs> plugins;
    if (Settings::ReadFlag(Settings::kOpSusie)) {
        plugins.emplace(*registry);
        plugins->AutoSearch = false;
        plugins->SearchOptions = spsSusieDir | spsAppDir | spsCurrentDir;
        plugins->OnPictureRegister = [](TSPIs &, TInSPI &, const std::string &extension, const std::string &,
                                        const TGraphicClass *&graphicClass) {
            RefuseBuiltInJpeg(extension, graphicClass);
        };
        plugins->Search("*.spi");
    }

    ChangeSchedule schedule([&](const std::string &picture, int32_t tileValue, int32_t correction) {
        const std::string output = Settings::ReadValue(Settings::kWindows, Settings::DefaultWallPaperPath());
        ApplyWallPaper(picture, tileValue, correction, output, screen, *registry, *desktop);
    });
    // The position after the last change; before any change the schedule starts at entry 0.
    const std::string stored = Settings::ReadUseIndexText();
    schedule.CurrentIndex = stored.empty() ? 0 : StrToInt(stored);
    if (back)
        schedule.Back();
    else
        schedule.NextWallPaper();
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
