#include "render/MonitorCompositor.h"

#include "render/BmpFileRows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// `count` pixels of row y of the picture from column x on, as blue, green and red bytes at `out`.
void CopyBgr(const PixelView &picture, int y, int x, int count, unsigned char *out)
{
    const unsigned char *line = picture.bits + ptrdiff_t(y) * picture.stride;
    if (picture.format == RowFormat::Bgr24) {
        std::memcpy(out, line + size_t(x) * 3, size_t(count) * 3);
        return;
    }
    const unsigned char *pixel = line + size_t(x) * 4;
    for (int i = 0; i < count; ++i, out += 3, pixel += 4) {
        uint32_t word;
        std::memcpy(&word, pixel, sizeof word);
        out[0] = static_cast<unsigned char>(word);
        out[1] = static_cast<unsigned char>(word >> 8);
        out[2] = static_cast<unsigned char>(word >> 16);
    }
}

// Row y of a monitor `width` pixels wide with its picture laid on it, as blue, green and red bytes at
// `out` (black before the call).
void MonitorRow(const MonitorPlacement &placement, int width, int y, unsigned char *out)
{
    const PixelView &picture = placement.picture;
    if (placement.tiled) {
        const int row = y % picture.height;
        for (int x = 0; x < width; x += picture.width)
            CopyBgr(picture, row, 0, std::min(picture.width, width - x), out + size_t(x) * 3);
        return;
    }
    const int row = y - placement.top;
    if (row < 0 || row >= picture.height)
        return;
    const int from = std::max(0, -placement.left);
    const int to = std::max(0, placement.left);
    const int count = std::min(picture.width - from, width - to);
    if (count > 0)
        CopyBgr(picture, row, from, count, out + size_t(to) * 3);
}

} // namespace

void WriteMonitorBox(const std::vector<MonitorPlacement> &placements, const std::vector<PixelRect> &monitors,
                     const PixelRect &box, const std::string &cp932Path)
{
    BmpFileRows file(cp932Path, unsigned(box.width), unsigned(box.height));
    std::vector<unsigned char> row(size_t(box.width) * 3);
    for (int y = 0; y < box.height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (size_t i = 0; i < monitors.size(); ++i) {
            const PixelRect &monitor = monitors[i];
            const int top = monitor.y - box.y;
            if (y < top || y >= top + monitor.height)
                continue;
            unsigned char *out = row.data() + size_t(monitor.x - box.x) * 3;
            std::fill(out, out + size_t(monitor.width) * 3, 0);
            MonitorRow(placements[i], monitor.width, y - top, out);
        }
        file.PutRow(unsigned(y), row.data());
    }
    file.Commit();
}

void WriteMonitorPiece(const MonitorPlacement &placement, int width, int height, const std::string &cp932Path)
{
    BmpFileRows file(cp932Path, unsigned(width), unsigned(height));
    std::vector<unsigned char> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        MonitorRow(placement, width, y, row.data());
        file.PutRow(unsigned(y), row.data());
    }
    file.Commit();
}
