// The program's entry: one instance per user, the main window created hidden, the message loop.
#include "app/EditorWindows.h"
#include "app/FormMain.h"
#include "app/NoTrayNotice.h"
#include "app/QtJapanese.h"
#include "control/ControlClient.h"
#include "control/ControlService.h"
#include "ini/IniRegistry.h"
#include "platform/Exceptions.h"
#include "platform/TempFiles.h"
#include "platform/desktop/CommandRunner.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopDetect.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/session/Autostart.h"
#include "platform/session/SingleInstance.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"
#include "schedule/ChangeFactory.h"
#include "shell/QtTrayShell.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Stands in when no desktop could be recognised: the program still starts, and every change
// reports why the wallpaper cannot be set.
class UnavailableDesktop : public Desktop {
public:
    explicit UnavailableDesktop(std::string message) : message_(std::move(message)) {}
    const char *Name() const override { return "none"; }
    void setWallpaper(const std::string &, TileMode) override { throw Exception(message_); }

private:
    std::string message_;
};

std::unique_ptr<Desktop> MakeDesktop(CommandRunner &runner)
{
    try {
        return CreateSessionDesktop(runner);
    } catch (const Exception &e) {
        return std::make_unique<UnavailableDesktop>(e.Message());
    }
}

} // namespace

int main(int argc, char **argv)
{
    RemoveTemporariesOnTermination(); // a logout's SIGTERM mid-change leaves no temporary behind
    SingleInstance guard(SingleInstanceLockPath("PgTapisto"));
    try {
        if (!guard.TryAcquire()) {
            // Another instance runs: it brings up its window, and this one ends without a word.
            QCoreApplication core(argc, argv);
            CallControl(QStringLiteral("Show"), QDBusConnection::sessionBus(), 3000); // a busy one shows later
            return 0;
        }
    } catch (const Exception &e) {
        // No place for the guard: better two instances than none.
        std::fprintf(stderr, "tapisto: %s\n", e.Message().c_str());
    }

    // The layout is in pixels; the screen's resolution must not scale it.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapisto"));
    QApplication::setApplicationVersion(QStringLiteral(TAPISTO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.tapisto.Tapisto")); // its installed desktop entry
    // The program lives in the tray with no window shown; only the exit commands end it.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtJapanese(&app);

    try {
        ProcessRunner runner;
        std::unique_ptr<Desktop> desktop = MakeDesktop(runner);
        std::unique_ptr<Registry> registry = CreateUserRegistry();
        QtScreenMetrics screen;
        QtDialogs dialogs;
        QtBrowser browser;
        XdgAutostart autostart(AutostartFolder());
        Platform platform;
        platform.desktop = desktop.get();
        platform.registry = registry.get();
        platform.screen = &screen;
        platform.dialogs = &dialogs;
        platform.browser = &browser;
        platform.autostart = &autostart;
        platform.makeTrayShell = [] { return std::unique_ptr<TrayShell>(new QtTrayShell); };
        // Outside commands (tapistoctl, the desktop entry's actions, a second start) come in over the
        // session bus; the program runs on without them when the bus is missing.
        platform.offerControl = [](ControlTarget &target) -> std::shared_ptr<void> {
            auto control = std::make_shared<ControlService>(target);
            if (!control->Start())
                std::fprintf(stderr, "tapisto: %s\n", control->Error().toUtf8().constData());
            return control;
        };

        TFormMain form(platform, ProgramWindows(), SessionDesktop(DesktopEnvironment::FromProcess()));
        if (form.Terminated())
            return 0;
        return QApplication::exec();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tapisto: %s\n", e.what());
        return 1;
    }
}
