#pragma once

#include "picture/SPIs.h"

#include <memory>
#include <string>

class Registry;

// The plug-in host as the main window runs it with "Susieプラグインを使用" ticked: searches the
// Susie folder named in the registry, the program's folder and the current folder, and keeps
// "jpg" and "jpeg" with the built-in JPEG reader.
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

// Sets a host up as the main window's SPIs1: not searching by itself, the three places, and the
// JPEG rule as its OnPictureRegister handler.
void ConfigureLikeMainWindow(TSPIs &spis);
