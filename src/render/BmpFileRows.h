#pragma once

#include "platform/Files.h"
#include "render/RowSink.h"

#include <cstdint>
#include <string>
#include <vector>

// The 54-byte file and info headers of a 24-bit bottom-up BMP of `width` x `height` pixels. Raises
// EOutOfMemory when the format's 32-bit sizes cannot hold it.
constexpr size_t kBmpHeaderBytes = 54;
void MakeBmp24Header(unsigned width, unsigned height, unsigned char (&header)[kBmpHeaderBytes]);

// A 24-bit bottom-up BMP file written as its rows are made: the file is sized at once and every row is
// written at its final place, so no picture of the output's size is ever held. The new file replaces
// the old one only on Commit, atomically and keeping its mode; until then (and on any failure) the old
// file stays as it was.
class BmpFileRows : public RowSink {
public:
    // Creates the temporary file beside `cp932Path` and reserves its size. Raises EOutOfMemory when the
    // bitmap is too large for the format, EInOutError when the file cannot be made (a full disk too).
    BmpFileRows(const std::string &cp932Path, unsigned width, unsigned height);

    // Takes row `y` (0 is the top) as blue, green, red bytes.
    void PutRow(unsigned y, const unsigned char *bgr) override;
    // Writes what is still buffered and replaces the old file. Raises EInvalidGraphic when rows are
    // missing (the old file stays), EInOutError when writing fails.
    void Commit();

private:
    void Flush();

    AtomicFileWriter writer_;
    unsigned width_;
    unsigned height_;
    size_t stride_; // bytes per file row, padded to 4
    // Consecutive rows from bufferTop_ on, kept in the file's order (the lowest row first) until the
    // block is full, so that the file gets few large writes.
    std::vector<unsigned char> buffer_;
    unsigned bufferRows_;
    unsigned bufferTop_ = 0;
    unsigned buffered_ = 0;
    unsigned written_ = 0;
};
