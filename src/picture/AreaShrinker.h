#pragma once

#include "picture/RowSink.h"

#include <cstdint>
#include <vector>

// Shrinks a picture by area averaging while its rows arrive one by one, so that the full-size
// picture never has to be held: every output pixel is the mean of the source area it covers. Each
// finished output row goes to the sink at once. A source of the output's size is passed through.
// The source must be at least as large as the output in both directions.
class AreaShrinker {
public:
    AreaShrinker(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                 unsigned outputHeight, RowFormat outputFormat, RowSink &sink);
    // The next source row; rows past the source's height are ignored. Raises what the sink raises.
    void AddRow(const unsigned char *row);
    // Source rows taken so far.
    unsigned RowsTaken() const { return sourceRow_; }

private:
    struct Tap {
        unsigned first;     // first source pixel
        unsigned count;     // source pixels covered
        size_t weightStart; // into weights_
    };
    template <RowFormat Format> void ShrinkRowHorizontally(const unsigned char *row);
    template <RowFormat Format, unsigned Taps> void ShrinkColumnsFixed(const unsigned char *row);
    template <RowFormat Format> void ShrinkColumns(const unsigned char *row, unsigned from, unsigned to);
    void PassThrough(const unsigned char *row);
    void FinishOutputRow();

    unsigned sourceWidth_;
    unsigned sourceHeight_;
    RowFormat sourceFormat_;
    unsigned outputWidth_;
    unsigned outputHeight_;
    RowFormat outputFormat_;
    RowSink &sink_;
    double scaleY_; // source rows per output row
    bool sameSize_;
    std::vector<Tap> taps_;
    std::vector<float> weights_;
    // The same weights padded with zeros to fixedTaps_ per column, for the columns (the first
    // fixedColumns_) whose padded taps stay inside the row: a loop of fixed length the compiler unrolls.
    unsigned fixedTaps_ = 0;
    unsigned fixedColumns_ = 0;
    std::vector<float> fixedWeights_;
    std::vector<float> horizontal_;  // the current source row, shrunk horizontally (3 floats per pixel)
    std::vector<float> accumulator_; // the output row being summed
    std::vector<unsigned char> out_; // the finished output row in the output format
    unsigned sourceRow_ = 0;
    unsigned outputRow_ = 0;
};
