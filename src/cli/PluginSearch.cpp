#include "PluginSearch.h"

#include "ini/IniRegistry.h"
#include "picture/SPIBmp.h"

void ConfigureLikeMainWindow(TSPIs &spis)
{
    spis.AutoSearch = false;
    spis.SearchOptions = spsSusieDir | spsAppDir | spsCurrentDir;
    spis.OnPictureRegister = [](TSPIs &, TInSPI &, const std::string &extension, const std::string &,
                                const TGraphicClass *&graphicClass) { RefuseBuiltInJpeg(extension, graphicClass); };
}

PluginSearch::PluginSearch(const std::string &cp932Mask) : registry_(CreateUserRegistry())
{
    RegisterSPIBitmapClass();
    spis_ = std::make_unique<TSPIs>(*registry_);
    ConfigureLikeMainWindow(*spis_);
    spis_->Search(cp932Mask);
}

PluginSearch::~PluginSearch() = default;
