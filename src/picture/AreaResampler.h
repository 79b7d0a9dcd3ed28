#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

// Shrinks a picture by area averaging while its rows arrive one by one, so that the full-size picture
// never has to be held: every output pixel is the mean of the source area it covers.
// The source must be at least as large as the output in both directions.
class AreaResampler {
public:
    // `output` is filled; it must be of the target size, Format_RGB32 or Format_BGR888 (the byte order of
    // BMP rows).
    AreaResampler(int sourceWidth, int sourceHeight, QImage &output);
    // The next source row, 0xffRRGGBB pixels.
    void AddRow(const uint32_t *row);

private:
    struct Tap {
        int first;          // first source pixel
        int count;          // source pixels covered
        size_t weightStart; // into weights_
    };
    void FinishOutputRow();

    int sourceWidth_;
    int sourceHeight_;
    int outputWidth_;
    int outputHeight_;
    double scaleY_; // source rows per output row
    QImage &output_;
    std::vector<Tap> taps_;
    std::vector<float> weights_;
    std::vector<float> horizontal_;  // the current source row, shrunk horizontally (3 floats per pixel)
    std::vector<float> accumulator_; // the output row being summed
    int sourceRow_ = 0;
    int outputRow_ = 0;
};
