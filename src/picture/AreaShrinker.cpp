#include "picture/AreaShrinker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

AreaShrinker::AreaShrinker(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                           unsigned outputHeight, RowFormat outputFormat, RowSink &sink)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), sourceFormat_(sourceFormat), outputWidth_(outputWidth),
      outputHeight_(outputHeight), outputFormat_(outputFormat), sink_(sink),
      scaleY_(double(sourceHeight) / outputHeight),
      sameSize_(sourceWidth == outputWidth && sourceHeight == outputHeight),
      out_(size_t(outputWidth) * BytesPerPixel(outputFormat))
{
    if (sameSize_)
        return;
    horizontal_.resize(size_t(outputWidth) * 3);
    accumulator_.resize(size_t(outputWidth) * 3);
    // Each output column covers [x * s, (x + 1) * s) of the source; the weights are the covered
    // fractions of each source pixel, divided by s so that they sum to one.
    const double scaleX = double(sourceWidth) / outputWidth_;
    taps_.reserve(outputWidth_);
    for (unsigned x = 0; x < outputWidth_; ++x) {
        const double left = x * scaleX;
        const double right = std::min<double>((x + 1) * scaleX, sourceWidth);
        const auto first = unsigned(std::floor(left));
        const auto last = unsigned(std::min<double>(sourceWidth - 1, std::ceil(right) - 1));
        Tap tap{first, 0, weights_.size()};
        for (unsigned i = first; i <= last; ++i) {
            const double covered = std::min<double>(i + 1, right) - std::max<double>(i, left);
            if (covered <= 0)
                continue;
            weights_.push_back(float(covered / scaleX));
            ++tap.count;
        }
        taps_.push_back(tap);
        fixedTaps_ = std::max(fixedTaps_, tap.count);
    }
    if (fixedTaps_ > 4)
        fixedTaps_ = 0; // strong shrinking: the general loop
    while (fixedColumns_ < outputWidth_ && taps_[fixedColumns_].first + fixedTaps_ <= sourceWidth_)
        ++fixedColumns_;
    fixedWeights_.assign(size_t(fixedColumns_) * fixedTaps_, 0.0f);
    for (unsigned x = 0; x < fixedColumns_; ++x)
        for (unsigned i = 0; i < taps_[x].count; ++i)
            fixedWeights_[size_t(x) * fixedTaps_ + i] = weights_[taps_[x].weightStart + i];
}

template <RowFormat Format> void AreaShrinker::ShrinkRowHorizontally(const unsigned char *row)
{
    switch (fixedTaps_) {
    case 1:
        ShrinkColumnsFixed<Format, 1>(row);
        break;
    case 2:
        ShrinkColumnsFixed<Format, 2>(row);
        break;
    case 3:
        ShrinkColumnsFixed<Format, 3>(row);
        break;
    case 4:
        ShrinkColumnsFixed<Format, 4>(row);
        break;
    default:
        break;
    }
    ShrinkColumns<Format>(row, fixedColumns_, outputWidth_);
}

// The padded weights are zero, and adding zero leaves a float sum as it is: the same sums as the
// general loop's, in the same order.
template <RowFormat Format, unsigned Taps> void AreaShrinker::ShrinkColumnsFixed(const unsigned char *row)
{
    const float *w = fixedWeights_.data();
    float *h = horizontal_.data();
    for (unsigned x = 0; x < fixedColumns_; ++x, w += Taps, h += 3) {
        float r = 0, g = 0, b = 0;
        if constexpr (Format == RowFormat::Xrgb32) {
            const uint32_t *src = reinterpret_cast<const uint32_t *>(row) + taps_[x].first;
            for (unsigned i = 0; i < Taps; ++i) {
                const uint32_t p = src[i];
                r += w[i] * float((p >> 16) & 0xFF);
                g += w[i] * float((p >> 8) & 0xFF);
                b += w[i] * float(p & 0xFF);
            }
        } else {
            const unsigned char *src = row + size_t(taps_[x].first) * 3;
            for (unsigned i = 0; i < Taps; ++i) {
                r += w[i] * float(src[3 * i + 2]);
                g += w[i] * float(src[3 * i + 1]);
                b += w[i] * float(src[3 * i]);
            }
        }
        h[0] = r;
        h[1] = g;
        h[2] = b;
    }
}

template <RowFormat Format> void AreaShrinker::ShrinkColumns(const unsigned char *row, unsigned from, unsigned to)
{
    for (unsigned x = from; x < to; ++x) {
        const Tap &tap = taps_[x];
        const float *w = weights_.data() + tap.weightStart;
        float r = 0, g = 0, b = 0;
        if constexpr (Format == RowFormat::Xrgb32) {
            const uint32_t *src = reinterpret_cast<const uint32_t *>(row) + tap.first;
            for (unsigned i = 0; i < tap.count; ++i) {
                const uint32_t p = src[i];
                r += w[i] * float((p >> 16) & 0xFF);
                g += w[i] * float((p >> 8) & 0xFF);
                b += w[i] * float(p & 0xFF);
            }
        } else {
            const unsigned char *src = row + size_t(tap.first) * 3;
            for (unsigned i = 0; i < tap.count; ++i) {
                r += w[i] * float(src[3 * i + 2]);
                g += w[i] * float(src[3 * i + 1]);
                b += w[i] * float(src[3 * i]);
            }
        }
        float *h = horizontal_.data() + size_t(x) * 3;
        h[0] = r;
        h[1] = g;
        h[2] = b;
    }
}

void AreaShrinker::PassThrough(const unsigned char *row)
{
    if (sourceFormat_ == outputFormat_) {
        sink_.PutRow(sourceRow_, row);
        return;
    }
    unsigned char *out = out_.data();
    if (sourceFormat_ == RowFormat::Xrgb32) {
        const auto *src = reinterpret_cast<const uint32_t *>(row);
        for (unsigned x = 0; x < sourceWidth_; ++x) {
            const uint32_t p = src[x];
            out[3 * x] = static_cast<unsigned char>(p);
            out[3 * x + 1] = static_cast<unsigned char>(p >> 8);
            out[3 * x + 2] = static_cast<unsigned char>(p >> 16);
        }
    } else {
        auto *dst = reinterpret_cast<uint32_t *>(out);
        for (unsigned x = 0; x < sourceWidth_; ++x)
            dst[x] = 0xFF000000u | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    }
    sink_.PutRow(sourceRow_, out);
}

void AreaShrinker::AddRow(const unsigned char *row)
{
    if (sourceRow_ >= sourceHeight_)
        return;
    if (sameSize_) {
        PassThrough(row);
        ++sourceRow_;
        return;
    }
    if (sourceFormat_ == RowFormat::Xrgb32)
        ShrinkRowHorizontally<RowFormat::Xrgb32>(row);
    else
        ShrinkRowHorizontally<RowFormat::Bgr24>(row);

    // This source row covers [j, j + 1); it adds to the output rows whose areas it overlaps.
    const double top = sourceRow_;
    const double bottom = sourceRow_ + 1.0;
    ++sourceRow_;
    double from = top;
    while (from < bottom && outputRow_ < outputHeight_) {
        const double rowEnd = std::min((outputRow_ + 1) * scaleY_, double(sourceHeight_));
        const double to = std::min(bottom, rowEnd);
        const float weight = float((to - from) / scaleY_);
        const size_t n = horizontal_.size();
        const float *h = horizontal_.data();
        float *acc = accumulator_.data();
        for (size_t i = 0; i < n; ++i)
            acc[i] += weight * h[i];
        from = to;
        // Rounding in the row boundaries must not leave the last row of the picture unfinished.
        if (rowEnd <= bottom + 1e-9 || sourceRow_ == sourceHeight_)
            FinishOutputRow();
        else
            break;
    }
}

void AreaShrinker::FinishOutputRow()
{
    const float *acc = accumulator_.data();
    const auto channel = [](float v) { return uint32_t(std::clamp(int(v + 0.5f), 0, 255)); };
    unsigned char *out = out_.data();
    if (outputFormat_ == RowFormat::Bgr24) {
        for (unsigned x = 0; x < outputWidth_; ++x) {
            out[3 * x] = static_cast<unsigned char>(channel(acc[3 * x + 2]));
            out[3 * x + 1] = static_cast<unsigned char>(channel(acc[3 * x + 1]));
            out[3 * x + 2] = static_cast<unsigned char>(channel(acc[3 * x]));
        }
    } else {
        auto *dst = reinterpret_cast<uint32_t *>(out);
        for (unsigned x = 0; x < outputWidth_; ++x)
            dst[x] = 0xFF000000u | channel(acc[3 * x]) << 16 | channel(acc[3 * x + 1]) << 8 | channel(acc[3 * x + 2]);
    }
    std::fill(accumulator_.begin(), accumulator_.end(), 0.0f);
    // Counted first: a sink that raises has still been handed this row.
    const unsigned y = outputRow_++;
    sink_.PutRow(y, out);
}
