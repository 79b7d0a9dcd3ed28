#pragma once

#include "render/AreaShrinker.h"
#include "render/RowSource.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// Carries a picture's rows from its reader to a sink, shrunk by area averaging on the way (or passed
// through at the same size). Only a few batches of source rows exist at a time, and the averaging
// and the sink run on a thread of the render pool (render/WorkerPool.h), so that they overlap the
// reading on a second core.
//
// Rows come in one way: a reader fills the pipeline's own buffers (NextFree, then Submit with the
// rows filled), top row first, `sourceWidth` pixels of `sourceFormat` each; `prepare`, when set,
// converts each row on the worker before it is averaged. The JPEG decoder and the BMP reader write
// their rows straight into these buffers, which saves a copy of every row; a source whose rows are
// its own (RowSource) comes through RowPipelineReceiver, which copies them in.
class RowPipeline {
public:
    // Raises std::system_error when no thread can be had for the worker.
    RowPipeline(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                unsigned outputHeight, RowFormat outputFormat, RowSink &sink,
                std::function<void(unsigned char *row)> prepare = {});
    ~RowPipeline();
    RowPipeline(const RowPipeline &) = delete;
    RowPipeline &operator=(const RowPipeline &) = delete;

    // Rows per batch: batches of about 256 KiB, so that the two threads hand over rarely, and enough
    // of them for the reader to go on while the worker waits for a core.
    unsigned BatchRows() const { return batchRows_; }
    // Bytes from one row of a batch to the next.
    size_t Stride() const { return stride_; }
    // A buffer for up to BatchRows() rows; null once the sink has failed (Finish raises its error).
    // Never raises, so that it can be called from a decoder's C frames.
    unsigned char *NextFree() noexcept;
    // Passes a buffer from NextFree back with its first `count` rows filled. Never raises.
    void Submit(unsigned char *batch, unsigned count) noexcept;
    // Waits until every submitted row went to the sink and ends the worker. Raises the sink's
    // failure. Returns the source rows taken.
    unsigned Finish();

private:
    void Run();
    void Stop();

    AreaShrinker shrinker_;
    size_t stride_;
    unsigned batchRows_;
    std::function<void(unsigned char *row)> prepare_;
    std::array<std::vector<unsigned char>, 4> buffers_;
    std::vector<unsigned char *> free_;
    std::deque<std::pair<unsigned char *, unsigned>> filled_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::exception_ptr failure_; // the sink's; set once, on the worker
    std::future<void> worker_;   // valid until the worker is told to end and has ended
};

// A source's rows into a pipeline made when they begin: averaged to `width` x `height` rows of
// `format` into the sink that `open` makes then, for that size.
class RowPipelineReceiver : public RowReceiver {
public:
    RowPipelineReceiver(unsigned width, unsigned height, RowFormat format, OpenRowSink open);
    // Raises EInvalidGraphic for a source smaller than the output either way.
    void Begin(int width, int height, RowFormat format) override;
    // Copies the rows into the pipeline's buffers. Raises the sink's failure.
    void Rows(int y, int count, const unsigned char *pixels, ptrdiff_t stride) override;
    // Waits until every row has reached the sink, raising its failure; false when no row began.
    bool Finish();

private:
    unsigned width_;
    unsigned height_;
    RowFormat format_;
    OpenRowSink open_;
    std::optional<RowPipeline> pipeline_;
};
