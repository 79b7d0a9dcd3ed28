#include "picture/AreaResampler.h"

#include <algorithm>
#include <cmath>

AreaResampler::AreaResampler(int sourceWidth, int sourceHeight, QImage &output)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), outputWidth_(output.width()),
      outputHeight_(output.height()), scaleY_(double(sourceHeight) / output.height()), output_(output),
      horizontal_(size_t(output.width()) * 3), accumulator_(size_t(output.width()) * 3)
{
    // Each output column covers [x * s, (x + 1) * s) of the source; the weights are the covered
    // fractions of each source pixel, divided by s so that they sum to one.
    const double scaleX = double(sourceWidth) / outputWidth_;
    taps_.reserve(size_t(outputWidth_));
    for (int x = 0; x < outputWidth_; ++x) {
        const double left = x * scaleX;
        const double right = std::min<double>((x + 1) * scaleX, sourceWidth);
        const int first = int(std::floor(left));
        const int last = std::min(sourceWidth - 1, int(std::ceil(right)) - 1);
        Tap tap{first, 0, weights_.size()};
        for (int i = first; i <= last; ++i) {
            const double covered = std::min<double>(i + 1, right) - std::max<double>(i, left);
            if (covered <= 0)
                continue;
            weights_.push_back(float(covered / scaleX));
            ++tap.count;
        }
        taps_.push_back(tap);
    }
}

void AreaResampler::AddRow(const uint32_t *row)
{
    if (sourceRow_ >= sourceHeight_)
        return;
    for (int x = 0; x < outputWidth_; ++x) {
        const Tap &tap = taps_[size_t(x)];
        const uint32_t *src = row + tap.first;
        const float *w = weights_.data() + tap.weightStart;
        float r = 0, g = 0, b = 0;
        for (int i = 0; i < tap.count; ++i) {
            const uint32_t p = src[i];
            r += w[i] * float((p >> 16) & 0xFF);
            g += w[i] * float((p >> 8) & 0xFF);
            b += w[i] * float(p & 0xFF);
        }
        float *h = horizontal_.data() + size_t(x) * 3;
        h[0] = r;
        h[1] = g;
        h[2] = b;
    }

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

void AreaResampler::FinishOutputRow()
{
    const float *acc = accumulator_.data();
    const auto channel = [](float v) { return uint32_t(std::clamp(int(v + 0.5f), 0, 255)); };
    if (output_.format() == QImage::Format_BGR888) {
        uchar *out = output_.scanLine(outputRow_);
        for (int x = 0; x < outputWidth_; ++x) {
            out[3 * x] = uchar(channel(acc[3 * x + 2]));
            out[3 * x + 1] = uchar(channel(acc[3 * x + 1]));
            out[3 * x + 2] = uchar(channel(acc[3 * x]));
        }
    } else {
        auto *out = reinterpret_cast<uint32_t *>(output_.scanLine(outputRow_));
        for (int x = 0; x < outputWidth_; ++x)
            out[x] = 0xFF000000u | channel(acc[3 * x]) << 16 | channel(acc[3 * x + 1]) << 8 | channel(acc[3 * x + 2]);
    }
    std::fill(accumulator_.begin(), accumulator_.end(), 0.0f);
    ++outputRow_;
}
