#include "platform/desktop/backends/RootPicture.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

void FillBlack(uint32_t *from, uint32_t *to)
{
    std::fill(from, to, kOpaque);
}

// A root drawn into a vector, for callers without memory of their own to draw into.
template <typename Draw> std::vector<uint32_t> Drawn(int width, int height, Draw draw)
{
    std::vector<uint32_t> screen(size_t(width) * size_t(height));
    draw(screen.data());
    return screen;
}

struct Tap {
    int index;
    float weight;
};

// For each of `out` positions, the `in` positions it is made of with their weights (summing to 1):
// the span it covers when shrinking, the two nearest when growing. Indices never decrease from one
// position to the next.
std::vector<std::vector<Tap>> Taps(int in, int out)
{
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(out));
    const double scale = double(in) / double(out);
    for (int o = 0; o < out; ++o) {
        std::vector<Tap> &tap = taps[size_t(o)];
        if (scale > 1) {
            const double from = o * scale, to = std::min((o + 1) * scale, double(in));
            for (int i = int(from); i < to; ++i) {
                const double covered = std::min(double(i + 1), to) - std::max(double(i), from);
                if (covered > 0)
                    tap.push_back({i, float(covered / (to - from))});
            }
        } else {
            const double centre = std::clamp((o + 0.5) * scale - 0.5, 0.0, double(in - 1));
            const int i = int(centre);
            const double f = centre - i;
            tap.push_back({i, float(1 - f)});
            if (f > 0 && i + 1 < in)
                tap.push_back({i + 1, float(f)});
        }
    }
    return taps;
}

uint32_t Pack(const float *rgb)
{
    const auto channel = [](float v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    return kOpaque | channel(rgb[0]) << 16 | channel(rgb[1]) << 8 | channel(rgb[2]);
}

} // namespace

void PlacedOnBlack(PictureRows &picture, uint32_t *screen, int width, int height, int left, int top)
{
    const int w = picture.Width(), h = picture.Height();
    // The picture's part on the root: [x0, x1) x [y0, y1) in root coordinates. Every pixel is written
    // once, black or the picture's, so that memory fresh from the system is touched only once.
    const int x0 = std::clamp(left, 0, width), x1 = std::clamp(left + w, x0, width);
    const int y0 = std::clamp(top, 0, height), y1 = std::clamp(top + h, y0, height);
    uint32_t *const end = screen + size_t(width) * size_t(height);
    FillBlack(screen, screen + size_t(y0) * size_t(width));
    std::vector<uint32_t> row(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
        uint32_t *to = screen + size_t(y) * size_t(width);
        FillBlack(to, to + x0);
        if (x1 > x0) {
            picture.ReadRow(y - top, row.data());
            for (int x = x0; x < x1; ++x)
                to[x] = kOpaque | row[size_t(x - left)];
        }
        FillBlack(to + x1, to + width);
    }
    FillBlack(screen + size_t(y1) * size_t(width), end);
}

std::vector<uint32_t> PlacedOnBlack(PictureRows &picture, int width, int height, int left, int top)
{
    return Drawn(width, height, [&](uint32_t *screen) { PlacedOnBlack(picture, screen, width, height, left, top); });
}

void TiledFromCorner(PictureRows &picture, uint32_t *screen, int width, int height)
{
    const int w = picture.Width(), h = picture.Height();
    // Tiles cover every pixel; only an empty picture leaves the root black.
    if (w <= 0 || h <= 0)
        return FillBlack(screen, screen + size_t(width) * size_t(height));
    std::vector<uint32_t> row(static_cast<size_t>(w));
    for (int y = 0; y < std::min(h, height); ++y) {
        picture.ReadRow(y, row.data());
        for (int at = y; at < height; at += h) {
            uint32_t *to = screen + size_t(at) * size_t(width);
            for (int x = 0; x < width; ++x)
                to[x] = kOpaque | row[size_t(x % w)];
        }
    }
}

std::vector<uint32_t> TiledFromCorner(PictureRows &picture, int width, int height)
{
    return Drawn(width, height, [&](uint32_t *screen) { TiledFromCorner(picture, screen, width, height); });
}

void StretchedToFit(PictureRows &picture, uint32_t *screen, int width, int height)
{
    const int w = picture.Width(), h = picture.Height();
    // The program's own bitmap is usually made for the screen already: copied as it is.
    if (w == width && h == height)
        return PlacedOnBlack(picture, screen, width, height, 0, 0);
    const std::vector<std::vector<Tap>> across = Taps(w, width), down = Taps(h, height);
    std::vector<uint32_t> source(static_cast<size_t>(w));
    // Rows of the picture already stretched across (red, green, blue per pixel), from `first` on, kept
    // while an output row still needs them.
    std::deque<std::vector<float>> rows;
    int first = 0;
    std::vector<float> sum(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const std::vector<Tap> &taps = down[size_t(y)];
        for (; !rows.empty() && first < taps.front().index; ++first)
            rows.pop_front();
        if (rows.empty())
            first = taps.front().index;
        while (first + int(rows.size()) <= taps.back().index) {
            picture.ReadRow(first + int(rows.size()), source.data());
            std::vector<float> &row = rows.emplace_back(size_t(width) * 3, 0.0f);
            for (int x = 0; x < width; ++x)
                for (const Tap &tap : across[size_t(x)]) {
                    const uint32_t p = source[size_t(tap.index)];
                    row[size_t(x) * 3] += tap.weight * float((p >> 16) & 0xff);
                    row[size_t(x) * 3 + 1] += tap.weight * float((p >> 8) & 0xff);
                    row[size_t(x) * 3 + 2] += tap.weight * float(p & 0xff);
                }
        }
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (const Tap &tap : taps) {
            const std::vector<float> &row = rows[size_t(tap.index - first)];
            for (size_t i = 0; i < sum.size(); ++i)
                sum[i] += tap.weight * row[i];
        }
        uint32_t *to = screen + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            to[x] = Pack(&sum[size_t(x) * 3]);
    }
}

std::vector<uint32_t> StretchedToFit(PictureRows &picture, int width, int height)
{
    return Drawn(width, height, [&](uint32_t *screen) { StretchedToFit(picture, screen, width, height); });
}
