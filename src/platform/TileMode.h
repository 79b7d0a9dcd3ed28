#pragma once

#include <cstdint>

// How the wallpaper sits on the screen. The values are what TileWallpaper stores ("0", "1", "2").
enum class TileMode : int32_t {
    Centre = 0,
    Tile = 1,
    Stretch = 2,
};

// The mode of a stored tile value; centred for any value it does not know, as the desktops have always
// taken it.
constexpr TileMode TileModeOf(int32_t tileValue)
{
    switch (tileValue) {
    case int32_t(TileMode::Tile):
        return TileMode::Tile;
    case int32_t(TileMode::Stretch):
        return TileMode::Stretch;
    default:
        return TileMode::Centre;
    }
}
