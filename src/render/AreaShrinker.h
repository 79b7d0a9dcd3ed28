#pragma once

#include "render/RowSink.h"

#include <cstdint>
#include <vector>

// Shrinks a picture by area averaging while its rows arrive one by one, so that the full-size
// picture never has to be held: every output pixel is the mean of the source area it covers. Each
// finished output row goes to the sink at once. A source of the output's size is passed through.
// The source must be at least as large as the output in both directions.
//
// Source rows are first summed into the output row they cover (weighted by the part of them that
// falls into it); each finished output row is then narrowed, every output pixel summing the columns it
// covers. Both in fixed point: vertical weights in 1/2^8, horizontal ones in 1/2^14.
class AreaShrinker {
public:
    AreaShrinker(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                 unsigned outputHeight, RowFormat outputFormat, RowSink &sink);
    // The next source row; rows past the source's height are ignored. Raises what the sink raises.
    void AddRow(const unsigned char *row);
    // Source rows taken so far.
    unsigned RowsTaken() const { return sourceRow_; }

private:
    void PassThrough(const unsigned char *row);
    // Adds `weight` (1/2^8) of the row to the output row being summed.
    void Accumulate(const unsigned char *row, uint32_t weight);
    void FinishOutputRow();
    template <unsigned Channels, unsigned Taps> void NarrowFixed(unsigned char *out) const;
    template <unsigned Channels> void Narrow(unsigned char *out) const;

    unsigned sourceWidth_;
    unsigned sourceHeight_;
    RowFormat sourceFormat_;
    unsigned channels_; // bytes per source pixel: blue, green, red (and one unused)
    unsigned outputWidth_;
    unsigned outputHeight_;
    RowFormat outputFormat_;
    RowSink &sink_;
    double scaleY_; // source rows per output row
    bool sameSize_;
    std::vector<uint32_t> firsts_;   // each output column's first source pixel
    std::vector<uint16_t> weights_;  // taps_ weights per output column, zero-padded
    unsigned taps_ = 0;              // the most source pixels an output column covers
    std::vector<uint16_t> sums_;     // the output row being summed, at the source's width
    bool sumsEmpty_ = true;          // no row was added to sums_ since the last output row
    uint32_t given_ = 0;             // the weight the output row being summed has had so far
    std::vector<unsigned char> out_; // the finished output row in the output format
    unsigned sourceRow_ = 0;
    unsigned outputRow_ = 0;
};
