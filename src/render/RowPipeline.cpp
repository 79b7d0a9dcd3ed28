#include "render/RowPipeline.h"

#include "platform/Exceptions.h"
#include "render/WorkerPool.h"

#include <algorithm>
#include <cstring>

RowPipeline::RowPipeline(unsigned sourceWidth, unsigned sourceHeight, RowFormat sourceFormat, unsigned outputWidth,
                         unsigned outputHeight, RowFormat outputFormat, RowSink &sink,
                         std::function<void(unsigned char *row)> prepare)
    : shrinker_(sourceWidth, sourceHeight, sourceFormat, outputWidth, outputHeight, outputFormat, sink),
      stride_(size_t(sourceWidth) * BytesPerPixel(sourceFormat)),
      batchRows_(unsigned(std::clamp<size_t>((256 * 1024) / std::max<size_t>(stride_, 1), 16, 256))),
      prepare_(std::move(prepare))
{
    for (auto &buffer : buffers_) {
        buffer.resize(stride_ * batchRows_);
        free_.push_back(buffer.data());
    }
    worker_ = WorkerPool::Shared().Submit([this] { Run(); });
}

RowPipeline::~RowPipeline()
{
    Stop();
}

unsigned char *RowPipeline::NextFree() noexcept
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || failure_; });
    if (failure_)
        return nullptr;
    unsigned char *buffer = free_.back();
    free_.pop_back();
    return buffer;
}

void RowPipeline::Submit(unsigned char *batch, unsigned count) noexcept
{
    {
        std::lock_guard lock(mutex_);
        filled_.emplace_back(batch, count);
    }
    changed_.notify_all();
}

unsigned RowPipeline::Finish()
{
    Stop();
    if (failure_)
        std::rethrow_exception(failure_);
    return shrinker_.RowsTaken();
}

void RowPipeline::Stop()
{
    if (!worker_.valid())
        return;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
    worker_.wait();
    worker_ = {};
}

void RowPipeline::Run()
{
    for (;;) {
        std::pair<unsigned char *, unsigned> batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return done_ || !filled_.empty(); });
            if (filled_.empty())
                return;
            batch = filled_.front();
            filled_.pop_front();
        }
        // After a failure the rows are only given back, so that the reader runs to its end.
        if (!failure_) {
            try {
                for (unsigned i = 0; i < batch.second; ++i) {
                    unsigned char *row = batch.first + stride_ * i;
                    if (prepare_)
                        prepare_(row);
                    shrinker_.AddRow(row);
                }
            } catch (...) {
                std::lock_guard lock(mutex_);
                failure_ = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            free_.push_back(batch.first);
        }
        changed_.notify_all();
    }
}

RowPipelineReceiver::RowPipelineReceiver(unsigned width, unsigned height, RowFormat format, OpenRowSink open)
    : width_(width), height_(height), format_(format), open_(std::move(open))
{
}

void RowPipelineReceiver::Begin(int width, int height, RowFormat format)
{
    if (width < int64_t(width_) || height < int64_t(height_))
        throw EInvalidGraphic("画像が出力より小さくなっています");
    RowSink &sink = open_(width_, height_);
    pipeline_.emplace(unsigned(width), unsigned(height), format, width_, height_, format_, sink);
}

void RowPipelineReceiver::Rows(int, int count, const unsigned char *pixels, ptrdiff_t stride)
{
    RowPipeline &pipeline = *pipeline_;
    for (auto left = unsigned(count); left > 0;) {
        unsigned char *batch = pipeline.NextFree();
        if (batch == nullptr) {
            pipeline.Finish(); // the sink has failed: raises its failure
            return;
        }
        const unsigned n = std::min(left, pipeline.BatchRows());
        for (unsigned i = 0; i < n; ++i)
            std::memcpy(batch + pipeline.Stride() * i, pixels + stride * ptrdiff_t(i), pipeline.Stride());
        pipeline.Submit(batch, n);
        pixels += stride * ptrdiff_t(n);
        left -= n;
    }
}

bool RowPipelineReceiver::Finish()
{
    if (!pipeline_)
        return false;
    pipeline_->Finish();
    return true;
}
