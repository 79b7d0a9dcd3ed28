#pragma once

#include "picture/AreaResampler.h"

#include <QImage>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Rows read or decoded straight into the area-averaging resampler: only a few batches of full-size rows
// exist at a time. The averaging runs on a worker thread, so that it overlaps the reading on a second
// core. NextFree hands out a buffer of kBatchRows rows of `width` 0xffRRGGBB pixels, Submit passes it
// back with the rows filled; `prepare`, when set, converts each row on the worker before it is averaged.
class ShrinkWorker {
public:
    ShrinkWorker(unsigned width, unsigned height, QImage &output, std::function<void(uint32_t *row)> prepare = {})
        : resampler_(int(width), int(height), output), width_(width), prepare_(std::move(prepare))
    {
        for (auto &buffer : buffers_) {
            buffer.resize(size_t(width) * kBatchRows);
            free_.push_back(buffer.data());
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~ShrinkWorker() { Finish(); }
    ShrinkWorker(const ShrinkWorker &) = delete;
    ShrinkWorker &operator=(const ShrinkWorker &) = delete;

    static constexpr unsigned kBatchRows = 16;

    unsigned char *NextFree()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty(); });
        uint32_t *buffer = free_.back();
        free_.pop_back();
        return reinterpret_cast<unsigned char *>(buffer);
    }
    void Submit(unsigned char *buffer, unsigned count)
    {
        {
            std::lock_guard lock(mutex_);
            filled_.emplace_back(reinterpret_cast<uint32_t *>(buffer), count);
        }
        changed_.notify_all();
    }
    // Averages what was submitted, then ends the worker.
    void Finish()
    {
        if (!thread_.joinable())
            return;
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    void Run()
    {
        for (;;) {
            std::pair<uint32_t *, unsigned> batch;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return done_ || !filled_.empty(); });
                if (filled_.empty())
                    return;
                batch = filled_.front();
                filled_.pop_front();
            }
            for (unsigned i = 0; i < batch.second; ++i) {
                uint32_t *row = batch.first + size_t(i) * width_;
                if (prepare_)
                    prepare_(row);
                resampler_.AddRow(row);
            }
            {
                std::lock_guard lock(mutex_);
                free_.push_back(batch.first);
            }
            changed_.notify_all();
        }
    }

    AreaResampler resampler_;
    unsigned width_;
    std::function<void(uint32_t *row)> prepare_;
    std::array<std::vector<uint32_t>, 3> buffers_;
    std::vector<uint32_t *> free_;
    std::deque<std::pair<uint32_t *, unsigned>> filled_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};
