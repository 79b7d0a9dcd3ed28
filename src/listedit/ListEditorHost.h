#pragma once

#include "platform/TileMode.h"

#include <cstdint>
#include <string>

// What the list editor and its dialogs need of the main window. TFormMain implements it; tests
// use a recording fake. Paths are CP932.
class ListEditorHost {
public:
    virtual ~ListEditorHost() = default;
    // Renders and sets the picture as the wallpaper; raises on failure.
    virtual void ApplyWallPaper(const std::string &picturePath, TileMode tileValue, int32_t correction) = 0;
    // Lists the groups of the home folder anew.
    virtual void RefreshGroups() = 0;
    // Shows the main window again (the editor's exit).
    virtual void ShowMainWindow() = 0;
    // Whether the plug-in option ("Susieプラグインを使用") is ticked.
    virtual bool PluginsEnabled() const = 0;
};
