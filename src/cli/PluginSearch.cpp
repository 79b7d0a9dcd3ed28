#include "cli/PluginSearch.h"

#include "ini/IniRegistry.h"
#include "schedule/ChangeFactory.h"

PluginSearch::PluginSearch(const std::string &cp932Mask)
    : registry_(CreateUserRegistry()), spis_(CreatePluginHost(*registry_))
{
    spis_->Search(cp932Mask);
}

PluginSearch::~PluginSearch() = default;
