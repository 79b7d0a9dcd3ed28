#include "schedule/ChangeFactory.h"

#include "ini/IniRegistry.h"
#include "platform/desktop/DesktopFactory.h"
#include "platform/desktop/ScreenMetrics.h"
#include "schedule/Settings.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <cstdio>
#include <mutex>
#include <set>

std::unique_ptr<Desktop> CreateSessionDesktop(CommandRunner &runner)
{
    const DesktopEnvironment env = DesktopEnvironment::FromProcess();
    return CreateDesktop(DetectDesktop(env), runner, env);
}

void ConfigureLikeMainWindow(TSPIs &spis, TSPIPictureRegisterEvent onPictureRegister)
{
    spis.AutoSearch = false;
    spis.SearchOptions = spsSusieDir | spsAppDir | spsCurrentDir;
    if (!onPictureRegister)
        onPictureRegister = [](TSPIs &, TInSPI &, const std::string &extension, const std::string &,
                               const TGraphicClass *&graphicClass) { RefuseBuiltInJpeg(extension, graphicClass); };
    spis.OnPictureRegister = std::move(onPictureRegister);
}

std::unique_ptr<TSPIs> CreatePluginHost(Registry &registry, TSPIPictureRegisterEvent onPictureRegister)
{
    RegisterSPIBitmapClass();
    auto spis = std::make_unique<TSPIs>(registry);
    ConfigureLikeMainWindow(*spis, std::move(onPictureRegister));
    // A plug-in refused as unsafe, or one that crashed or hung when asked what it is, is said once a
    // run on standard error (where tapistoctl plugins shows it too).
    spis->OnSkipped = [](TSPIs &, const std::string &fileName, const std::string &reason) {
        static std::mutex toldMutex;
        static std::set<std::string> told;
        std::lock_guard<std::mutex> lock(toldMutex);
        if (told.insert(fileName).second)
            std::fprintf(stderr, "%s\n", reason.c_str());
    };
    return spis;
}

StandaloneChange::StandaloneChange(std::unique_ptr<ScreenMetrics> screen, std::unique_ptr<Registry> registry)
    : screen_(std::move(screen)), registry_(registry ? std::move(registry) : CreateUserRegistry()),
      desktop_(CreateSessionDesktop(runner_)),
      changer_(std::make_unique<WallPaperChanger>(Settings::ReadStartSettings().wallPaperPath, *screen_, *registry_,
                                                  *desktop_))
{
}

StandaloneChange::~StandaloneChange() = default;

TSPIs &StandaloneChange::LoadPlugins(const std::string &cp932Mask)
{
    if (!plugins_)
        plugins_ = CreatePluginHost(*registry_);
    plugins_->Search(cp932Mask);
    return *plugins_;
}
