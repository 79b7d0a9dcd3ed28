#pragma once

#include "spi/SPIs.h"

#include <memory>
#include <string>

class Registry;

// The plug-in host as the main window runs it with "Susieプラグインを使用" ticked (CreatePluginHost),
// with the user's registry, for the commands that make no change.
class PluginSearch {
public:
    // Searches with `cp932Mask` ("*.spi" as the main window does; a mask with a folder searches only
    // that folder). Raises ESPIInvalidAPI from a broken plug-in, as the main window would report it.
    explicit PluginSearch(const std::string &cp932Mask = "*.spi");
    ~PluginSearch();
    PluginSearch(const PluginSearch &) = delete;
    PluginSearch &operator=(const PluginSearch &) = delete;

    TSPIs &SPIs() { return *spis_; }

private:
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<TSPIs> spis_;
};
