#pragma once

#include "picture/SPIs.h"
#include "platform/Registry.h"
#include "platform/desktop/CommandRunner.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/WallPaperChanger.h"

#include <memory>
#include <string>

// Where a change of wallpaper gets its parts. The main window, tapistoctl and the soak run all
// assemble a change here, so that they set the same desktop and read the same plug-ins.

// The session's desktop backend, from the process environment (TAPISTO_DESKTOP forces one).
// Raises Exception when no desktop is recognised or TAPISTO_DESKTOP names none.
std::unique_ptr<Desktop> CreateSessionDesktop(CommandRunner &runner);

// Sets a plug-in host up as the main window's SPIs1: it does not search by itself, it searches the
// Susie folder named in the registry, the program's folder and the current folder, and "jpg" and
// "jpeg" stay with the built-in JPEG reader. The main window passes its own handler, which decides
// so (SPIs1PictureRegister); without one the host gets RefuseBuiltInJpeg.
void ConfigureLikeMainWindow(TSPIs &spis, TSPIPictureRegisterEvent onPictureRegister = {});
// A host set up so, with the plug-in-backed bitmap as the class of the formats it registers.
std::unique_ptr<TSPIs> CreatePluginHost(Registry &registry, TSPIPictureRegisterEvent onPictureRegister = {});

// A change with parts of its own, for the programs without the main window (tapistoctl, the soak
// run): the user's registry, the session's desktop, the output bitmap the settings name, and the
// plug-ins when asked for.
class StandaloneChange {
public:
    // `screen`: the screen the bitmap is rendered for. `registry`: the user's registry when null.
    explicit StandaloneChange(std::unique_ptr<ScreenMetrics> screen, std::unique_ptr<Registry> registry = nullptr);
    ~StandaloneChange();
    StandaloneChange(const StandaloneChange &) = delete;
    StandaloneChange &operator=(const StandaloneChange &) = delete;

    // Searches the plug-ins as the main window does with its plug-in option on ("*.spi"; a mask
    // with a folder searches only that folder).
    TSPIs &LoadPlugins(const std::string &cp932Mask = "*.spi");
    WallPaperChanger &Changer() { return *changer_; }
    Registry &UserRegistry() { return *registry_; }
    // The session's desktop backend, as the change sets it.
    Desktop &SessionDesktop() { return *desktop_; }

private:
    ProcessRunner runner_;
    std::unique_ptr<ScreenMetrics> screen_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<TSPIs> plugins_;
    std::unique_ptr<WallPaperChanger> changer_;
};
