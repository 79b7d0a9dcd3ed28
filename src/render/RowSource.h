#pragma once

#include "render/RowSink.h"

#include <cstddef>

// Takes a picture's rows from the top. Begin comes once, before the first row; the rows then come in
// order, each once.
class RowReceiver {
public:
    virtual ~RowReceiver() = default;
    virtual void Begin(int width, int height, RowFormat format) = 0;
    // `count` rows from row `y`, `stride` bytes apart; read only during the call.
    virtual void Rows(int y, int count, const unsigned char *pixels, ptrdiff_t stride) = 0;
};

// A picture that hands its rows out from the top without ever being held whole.
class RowSource {
public:
    virtual ~RowSource() = default;
    // Hands the whole picture to `receiver`. Returns false when the source failed on the way, and what
    // the receiver made of it is to be thrown away; raises what the receiver raises.
    virtual bool Deliver(RowReceiver &receiver) = 0;
};
