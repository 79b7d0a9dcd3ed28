#include "render/AreaShrinker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The sums are taken over the rows' bytes: a 0xffRRGGBB word's bytes are blue, green, red, unused
// only in this byte order.
static_assert(std::endian::native == std::endian::little);

// Vertical weights in 1/2^8: a column's sum (at most 255 * 2^8) fits 16 bits, so that the vectoriser
// sums eight of them at a time; horizontal ones in 1/2^14 (255 * 2^8 * 2^14 < 2^32).
constexpr uint32_t kVerticalOne = 1u << 8;
constexpr int kHorizontalBits = 14;
constexpr uint32_t kHorizontalOne = 1u << kHorizontalBits;
constexpr int kResultShift = 8 + kHorizontalBits;

} // namespace

AreaShrinker::AreaShrinker(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                           unsigned outputHeight, RowFormat outputFormat, RowSink &sink)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), sourceFormat_(sourceFormat),
      channels_(unsigned(BytesPerPixel(sourceFormat))), outputWidth_(outputWidth), outputHeight_(outputHeight),
      outputFormat_(outputFormat), sink_(sink), scaleY_(double(sourceHeight) / outputHeight),
      sameSize_(sourceWidth == outputWidth && sourceHeight == outputHeight),
      out_(size_t(outputWidth) * BytesPerPixel(outputFormat))
{
    if (sameSize_)
        return;
    // Four spare sums: a pixel's channels are read four at a time.
    sums_.resize(size_t(sourceWidth) * channels_ + 4);
    // Each output column covers [x * s, (x + 1) * s) of the source; the weights are the covered
    // fractions of each source pixel, divided by s so that they sum to one.
    const double scaleX = double(sourceWidth) / outputWidth_;
    std::vector<std::vector<double>> columns(outputWidth_);
    firsts_.resize(outputWidth_);
    for (unsigned x = 0; x < outputWidth_; ++x) {
        const double left = x * scaleX;
        const double right = std::min<double>((x + 1) * scaleX, sourceWidth);
        unsigned first = unsigned(std::floor(left));
        const auto last = unsigned(std::min<double>(sourceWidth - 1, std::ceil(right) - 1));
        for (unsigned i = first; i <= last; ++i) {
            const double covered = std::min<double>(i + 1, right) - std::max<double>(i, left);
            if (covered > 0)
                columns[x].push_back(covered / scaleX);
            else if (columns[x].empty())
                ++first;
        }
        firsts_[x] = first;
        taps_ = std::max(taps_, unsigned(columns[x].size()));
    }
    // Columns near the right edge start early enough that all their taps stay inside the row.
    weights_.assign(size_t(outputWidth_) * taps_, 0);
    for (unsigned x = 0; x < outputWidth_; ++x) {
        const unsigned shift =
            std::min(firsts_[x], firsts_[x] + taps_ > sourceWidth ? firsts_[x] + taps_ - sourceWidth : 0u);
        firsts_[x] -= shift;
        uint16_t *w = weights_.data() + size_t(x) * taps_ + shift;
        // Rounded weights that still sum to exactly one: the largest takes the rest.
        uint32_t sum = 0;
        size_t largest = 0;
        for (size_t i = 0; i < columns[x].size(); ++i) {
            w[i] = uint16_t(std::lround(columns[x][i] * kHorizontalOne));
            sum += w[i];
            if (w[i] > w[largest])
                largest = i;
        }
        w[largest] = uint16_t(w[largest] + kHorizontalOne - sum);
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

void AreaShrinker::Accumulate(const unsigned char *row, uint32_t weight)
{
    if (weight == 0)
        return;
    uint16_t *sums = sums_.data();
    const size_t n = size_t(sourceWidth_) * channels_;
    const auto w = uint16_t(weight); // at most 2^8
    if (sumsEmpty_) {
        for (size_t i = 0; i < n; ++i)
            sums[i] = uint16_t(w * row[i]);
        sumsEmpty_ = false;
    } else {
        for (size_t i = 0; i < n; ++i)
            sums[i] = uint16_t(sums[i] + w * row[i]);
    }
    given_ += weight;
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
    // This source row covers [j, j + 1); it adds to the output rows whose areas it overlaps.
    const double top = sourceRow_;
    const double bottom = sourceRow_ + 1.0;
    ++sourceRow_;
    double from = top;
    while (from < bottom && outputRow_ < outputHeight_) {
        const double rowEnd = std::min((outputRow_ + 1) * scaleY_, double(sourceHeight_));
        const double to = std::min(bottom, rowEnd);
        const double span = to - from;
        from = to;
        // Rounding in the row boundaries must not leave the last row of the picture unfinished.
        const bool finishes = rowEnd <= bottom + 1e-9 || sourceRow_ == sourceHeight_;
        // The row that finishes an output row gives it what is left of one whole, so that every
        // output row's weights sum to exactly one.
        const auto part = uint32_t(std::lround(span / scaleY_ * kVerticalOne));
        const uint32_t left = kVerticalOne - std::min(given_, kVerticalOne);
        Accumulate(row, finishes ? left : std::min(part, left));
        if (!finishes)
            break;
        FinishOutputRow();
    }
}

namespace {

// One output pixel: the weighted sum of `taps` source pixels of `Channels` column sums each, written as
// blue, green, red bytes. The sums are halved to fit signed 16-bit lanes: with SSE2 one multiply-add
// takes a whole pixel (its channels in the four 32-bit lanes), and the plain code computes the same.
constexpr int kShift = kResultShift - 1;
constexpr uint32_t kHalf = 1u << (kShift - 1);

template <unsigned Channels, unsigned Taps>
inline void NarrowPixel(const uint16_t *s, const uint16_t *w, unsigned taps, unsigned char *out)
{
    const unsigned n = Taps > 0 ? Taps : taps;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = _mm_set1_epi32(int(kHalf));
    for (unsigned i = 0; i < n; ++i) {
        // Four 16-bit sums (the pixel's channels, and one more that is ignored), halved, paired with
        // zeros: each 32-bit lane multiplies its sum by the weight.
        __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(s + Channels * i));
        v = _mm_unpacklo_epi16(_mm_srli_epi16(v, 1), zero);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(v, _mm_set1_epi32(int(w[i]))));
    }
    sum = _mm_srli_epi32(sum, kShift);
    sum = _mm_packus_epi16(_mm_packs_epi32(sum, zero), zero);
    const int bytes = _mm_cvtsi128_si32(sum);
    std::memcpy(out, &bytes, 3);
#else
    uint32_t b = kHalf, g = kHalf, r = kHalf;
    for (unsigned i = 0; i < n; ++i) {
        b += w[i] * uint32_t(s[Channels * i] >> 1);
        g += w[i] * uint32_t(s[Channels * i + 1] >> 1);
        r += w[i] * uint32_t(s[Channels * i + 2] >> 1);
    }
    out[0] = static_cast<unsigned char>(b >> kShift);
    out[1] = static_cast<unsigned char>(g >> kShift);
    out[2] = static_cast<unsigned char>(r >> kShift);
#endif
}

} // namespace

// Both directions' weights sum to exactly one: no sum exceeds 255 once rounded.
template <unsigned Channels, unsigned Taps> void AreaShrinker::NarrowFixed(unsigned char *out) const
{
    const uint16_t *sums = sums_.data();
    const uint16_t *w = weights_.data();
    for (unsigned x = 0; x < outputWidth_; ++x, w += taps_)
        NarrowPixel<Channels, Taps>(sums + size_t(firsts_[x]) * Channels, w, taps_, out + 3 * size_t(x));
}

template <unsigned Channels> void AreaShrinker::Narrow(unsigned char *out) const
{
    switch (taps_) {
    case 1:
        return NarrowFixed<Channels, 1>(out);
    case 2:
        return NarrowFixed<Channels, 2>(out);
    case 3:
        return NarrowFixed<Channels, 3>(out);
    case 4:
        return NarrowFixed<Channels, 4>(out);
    default:
        return NarrowFixed<Channels, 0>(out); // strong shrinking: as many taps as the widest column has
    }
}

void AreaShrinker::FinishOutputRow()
{
    // Narrowed into blue, green, red bytes; widened to words for an Xrgb32 sink.
    unsigned char *out = out_.data();
    if (channels_ == 4)
        Narrow<4>(out);
    else
        Narrow<3>(out);
    if (outputFormat_ == RowFormat::Xrgb32) {
        auto *dst = reinterpret_cast<uint32_t *>(out);
        for (unsigned x = outputWidth_; x-- > 0;)
            dst[x] = 0xFF000000u | uint32_t(out[3 * x + 2]) << 16 | uint32_t(out[3 * x + 1]) << 8 | out[3 * x];
    }
    sumsEmpty_ = true;
    given_ = 0;
    // Counted first: a sink that raises has still been handed this row.
    const unsigned y = outputRow_++;
    sink_.PutRow(y, out);
}
