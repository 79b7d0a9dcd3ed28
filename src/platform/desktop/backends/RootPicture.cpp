#include "platform/desktop/backends/RootPicture.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

void FillBlack(uint32_t *from, uint32_t *to)
{
    std::fill(from, to, kOpaque);
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

// The picture with its top-left corner at (left, top), black around it.
class PlacedRows : public RootRows {
public:
    PlacedRows(PictureRows &picture, int width, int left, int top)
        : picture_(picture), width_(width), left_(left), top_(top), x0_(std::clamp(left, 0, width)),
          x1_(std::clamp(left + picture.Width(), x0_, width)), row_(size_t(picture.Width()))
    {
    }
    void Row(int y, uint32_t *out) override
    {
        if (y < top_ || y >= top_ + picture_.Height() || x1_ == x0_)
            return FillBlack(out, out + width_);
        FillBlack(out, out + x0_);
        picture_.ReadRow(y - top_, row_.data());
        for (int x = x0_; x < x1_; ++x)
            out[x] = kOpaque | row_[size_t(x - left_)];
        FillBlack(out + x1_, out + width_);
    }

private:
    PictureRows &picture_;
    const int width_, left_, top_, x0_, x1_;
    std::vector<uint32_t> row_;
};

// The picture repeated from the top-left corner. A tile of up to 4 MiB is kept once read, so that each
// of its rows is read once; a larger one is read again for each repetition down the root.
class TiledRows : public RootRows {
public:
    TiledRows(PictureRows &picture, int width)
        : picture_(picture), width_(width),
          kept_(int64_t(picture.Width()) * picture.Height() <= kKeptTilePixels ? size_t(picture.Height()) : 0),
          row_(size_t(picture.Width()))
    {
    }
    void Row(int y, uint32_t *out) override
    {
        const int w = picture_.Width(), h = picture_.Height();
        if (w <= 0 || h <= 0)
            return FillBlack(out, out + width_);
        const uint32_t *row = row_.data();
        if (!kept_.empty()) {
            std::vector<uint32_t> &kept = kept_[size_t(y % h)];
            if (kept.empty()) {
                kept.resize(size_t(w));
                picture_.ReadRow(y % h, kept.data());
            }
            row = kept.data();
        } else {
            picture_.ReadRow(y % h, row_.data());
        }
        for (int x = 0; x < width_; ++x)
            out[x] = kOpaque | row[size_t(x % w)];
    }

private:
    static constexpr int64_t kKeptTilePixels = 1 << 20;
    PictureRows &picture_;
    const int width_;
    std::vector<std::vector<uint32_t>> kept_;
    std::vector<uint32_t> row_;
};

// The picture stretched to width x height: averaged where it shrinks, interpolated where it grows.
class StretchedRows : public RootRows {
public:
    StretchedRows(PictureRows &picture, int width, int height)
        : picture_(picture), width_(width), across_(Taps(picture.Width(), width)),
          down_(Taps(picture.Height(), height)), source_(size_t(picture.Width())), sum_(size_t(width) * 3)
    {
    }
    // Rows come from the top down.
    void Row(int y, uint32_t *out) override
    {
        const std::vector<Tap> &taps = down_[size_t(y)];
        for (; !rows_.empty() && first_ < taps.front().index; ++first_)
            rows_.pop_front();
        if (rows_.empty())
            first_ = taps.front().index;
        while (first_ + int(rows_.size()) <= taps.back().index) {
            picture_.ReadRow(first_ + int(rows_.size()), source_.data());
            std::vector<float> &row = rows_.emplace_back(size_t(width_) * 3, 0.0f);
            for (int x = 0; x < width_; ++x)
                for (const Tap &tap : across_[size_t(x)]) {
                    const uint32_t p = source_[size_t(tap.index)];
                    row[size_t(x) * 3] += tap.weight * float((p >> 16) & 0xff);
                    row[size_t(x) * 3 + 1] += tap.weight * float((p >> 8) & 0xff);
                    row[size_t(x) * 3 + 2] += tap.weight * float(p & 0xff);
                }
        }
        std::fill(sum_.begin(), sum_.end(), 0.0f);
        for (const Tap &tap : taps) {
            const std::vector<float> &row = rows_[size_t(tap.index - first_)];
            for (size_t i = 0; i < sum_.size(); ++i)
                sum_[i] += tap.weight * row[i];
        }
        for (int x = 0; x < width_; ++x)
            out[x] = Pack(&sum_[size_t(x) * 3]);
    }

private:
    PictureRows &picture_;
    const int width_;
    const std::vector<std::vector<Tap>> across_, down_;
    std::vector<uint32_t> source_;
    // Rows of the picture already stretched across (red, green, blue per pixel), from `first_` on,
    // kept while an output row still needs them.
    std::deque<std::vector<float>> rows_;
    int first_ = 0;
    std::vector<float> sum_;
};

std::vector<uint32_t> Drawn(RootRows &&rows, int width, int height)
{
    std::vector<uint32_t> screen(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        rows.Row(y, screen.data() + size_t(y) * size_t(width));
    return screen;
}

} // namespace

std::unique_ptr<RootRows> RowsPlacedOnBlack(PictureRows &picture, int width, int left, int top)
{
    return std::make_unique<PlacedRows>(picture, width, left, top);
}

std::vector<uint32_t> PlacedOnBlack(PictureRows &picture, int width, int height, int left, int top)
{
    return Drawn(PlacedRows(picture, width, left, top), width, height);
}

std::unique_ptr<RootRows> RowsTiledFromCorner(PictureRows &picture, int width)
{
    return std::make_unique<TiledRows>(picture, width);
}

std::vector<uint32_t> TiledFromCorner(PictureRows &picture, int width, int height)
{
    return Drawn(TiledRows(picture, width), width, height);
}

std::unique_ptr<RootRows> RowsStretchedToFit(PictureRows &picture, int width, int height)
{
    // The program's own bitmap is usually made for the screen already: copied as it is.
    if (picture.Width() == width && picture.Height() == height)
        return std::make_unique<PlacedRows>(picture, width, 0, 0);
    return std::make_unique<StretchedRows>(picture, width, height);
}

std::vector<uint32_t> StretchedToFit(PictureRows &picture, int width, int height)
{
    return Drawn(std::move(*RowsStretchedToFit(picture, width, height)), width, height);
}
