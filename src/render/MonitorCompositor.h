#pragma once

#include "render/RowSink.h"

#include <cstddef>
#include <string>
#include <vector>

// One bitmap over several monitors, each with a picture of its own, written row by row: no image of a
// whole monitor or of the box over them is made. Which picture goes on which monitor, and how, is the
// caller's decision; this is the pixel work.

// A picture's pixels where they lie in memory, top row first: Xrgb32 words or Bgr24 bytes.
struct PixelView {
    const unsigned char *bits = nullptr;
    ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    RowFormat format = RowFormat::Bgr24;
};

// How one monitor's picture lies on it: tiled from the monitor's corner, or at (left, top) of the
// monitor, cut where it goes over (negative: cut on that side). A picture stretched over its monitor
// is one of the monitor's size at (0, 0).
struct MonitorPlacement {
    PixelView picture;
    bool tiled = false;
    int left = 0;
    int top = 0;
};

// A rectangle in the coordinates of the monitors' layout.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The 24-bit BMP over `box` at `cp932Path`: placements[i] on monitors[i], black where no monitor is (a
// later monitor covers an earlier one where they overlap). Replaces the old file atomically; raises what
// the file raises.
void WriteMonitorBox(const std::vector<MonitorPlacement> &placements, const std::vector<PixelRect> &monitors,
                     const PixelRect &box, const std::string &cp932Path);

// One monitor's rectangle (`width` x `height`) as a 24-bit BMP of its own at `cp932Path`.
void WriteMonitorPiece(const MonitorPlacement &placement, int width, int height, const std::string &cp932Path);
