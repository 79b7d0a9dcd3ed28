#pragma once

#include "platform/desktop/backends/PictureRows.h"

#include <memory>
#include <string>
#include <vector>

// An uncompressed 24- or 32-bit BMP file (what the program writes as its output bitmap) read a row at
// a time straight from the file: no picture-size allocation, so no size limit but the format's.
class BmpRowReader : public PictureRows {
public:
    // nullptr when the file is a picture of another kind. Raises Exception (naming the file and the
    // reason) when it cannot be opened or its pixels are cut short.
    static std::unique_ptr<BmpRowReader> Open(const std::string &nativePath);
    ~BmpRowReader() override;
    BmpRowReader(const BmpRowReader &) = delete;
    BmpRowReader &operator=(const BmpRowReader &) = delete;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void ReadRow(int y, uint32_t *out) override;

private:
    BmpRowReader() = default;
    [[noreturn]] void Unreadable(const std::string &reason) const;

    std::string path_;
    int fd_ = -1;
    int width_ = 0;
    int height_ = 0;
    bool topDown_ = false;
    unsigned bytesPerPixel_ = 3;
    uint64_t pixelOffset_ = 0;
    uint64_t stride_ = 0;
    std::vector<unsigned char> row_;
};
