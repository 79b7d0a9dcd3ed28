#pragma once

#include <cstdint>

// How the wallpaper sits on the screen: the tile value of a group's entry. The values are what
// TileWallpaper stores ("0", "1", "2").
enum class TileMode : int32_t {
    Centre = 0,
    Tile = 1,
    Stretch = 2,
};
