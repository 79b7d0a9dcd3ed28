// The plug-ins' row export (GetPictureRows in spi.h): finding a picture that a plug-in with the export
// reads, and reading its rows under the same distrust as a bitmap result.
#include "spi/SPIBmp.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "spi/SPIs.h"

#include <algorithm>
#include <fstream>
#include <limits>

namespace {

// The bytes IsSupported is given: 2048 from `offset`, zero-filled past the end of the file.
std::vector<char> SupportBlock(const std::vector<char> &head, size_t offset)
{
    std::vector<char> block(2048, 0);
    if (offset < head.size())
        std::copy_n(head.begin() + std::ptrdiff_t(offset), std::min<size_t>(2048, head.size() - offset), block.begin());
    return block;
}

} // namespace

// One call of GetPictureRows: checks every block against the rules of the export before the receiver
// sees it.
class TInSPIAble::RowReading {
public:
    RowReading(const TSPIRowPicture &picture, const QSize &want, RowReceiver &receiver)
        : full_(picture.Info.Width, picture.Info.Height), want_(want), receiver_(receiver)
    {
    }

    // Returns 0 to go on, 1 to stop the plug-in.
    int32_t Take(const SPI_ROWBLOCK &block)
    {
        if (broken_ || !Sane(block)) {
            broken_ = true;
            return 1;
        }
        if (next_ == 0) {
            width_ = block.width;
            height_ = block.height;
            format_ = block.format;
            receiver_.Begin(width_, height_, format_ == SPI_ROWS_BGR ? RowFormat::Bgr24 : RowFormat::Xrgb32);
        }
        receiver_.Rows(block.y, block.count, static_cast<const unsigned char *>(block.pixels), block.stride);
        next_ += block.count;
        return 0;
    }

    // Every row came, and nothing broke the rules.
    bool Complete() const { return !broken_ && next_ > 0 && next_ == height_; }
    void Break() { broken_ = true; }

private:
    bool Sane(const SPI_ROWBLOCK &block) const
    {
        if (next_ == 0) {
            // At the full size, or (when asked to shrink) at a size from the one wanted up to the full one.
            const bool fullSize = block.width == full_.width() && block.height == full_.height();
            const bool reduced = !want_.isEmpty() && block.width >= want_.width() && block.width <= full_.width() &&
                                 block.height >= want_.height() && block.height <= full_.height();
            if (!fullSize && !reduced)
                return false;
            if (block.format != SPI_ROWS_BGR && block.format != SPI_ROWS_BGRX)
                return false;
        } else if (block.width != width_ || block.height != height_ || block.format != format_) {
            return false;
        }
        const intptr_t rowBytes = intptr_t(block.width) * (block.format == SPI_ROWS_BGR ? 3 : 4);
        return block.y == next_ && block.count > 0 && block.count <= block.height - block.y &&
               block.pixels != nullptr && (block.count == 1 || block.stride >= rowBytes) &&
               block.stride <= std::numeric_limits<intptr_t>::max() / block.count;
    }

    QSize full_;
    QSize want_;
    RowReceiver &receiver_;
    int32_t width_ = 0, height_ = 0, format_ = 0;
    int32_t next_ = 0; // rows taken
    bool broken_ = false;
};

std::optional<TSPIRowPicture> TInSPIAble::FindRowPicture()
{
    // The usual order of readers puts the plug-ins first for this name.
    if (Ext.empty() || SameTextAscii(Ext.substr(1), NativeExt))
        return std::nullopt;
    const std::vector<TInSPI *> spis = PluginsInOrder();
    if (spis.empty() || !spis.front()->HasPictureRows())
        return std::nullopt;
    TSPIRowPicture found;
    found.FileName = FileName;
    std::vector<char> head(2048 + 128);
    uint64_t size = 0;
    try {
        found.NativePath = ToNativePath(FileName);
        std::ifstream in(found.NativePath, std::ios::binary | std::ios::ate);
        if (!in)
            return std::nullopt;
        size = uint64_t(in.tellg());
        in.seekg(0);
        in.read(head.data(), std::streamsize(head.size()));
        head.resize(size_t(in.gcount()));
    } catch (const Exception &) {
        return std::nullopt; // a name the file system cannot spell: the usual load reports it
    }
    // As the usual load asks them, as long as the plug-ins asked have the export: a plug-in without it
    // is left to the usual load, so that it sees exactly the calls it always saw.
    try {
        return AskForRowPicture(spis, head, size, found);
    } catch (const ESPIPluginFailed &e) {
        throw e.ForPicture(FileName);
    }
}

std::optional<TSPIRowPicture> TInSPIAble::AskForRowPicture(const std::vector<TInSPI *> &spis,
                                                           const std::vector<char> &head, uint64_t size,
                                                           TSPIRowPicture &found)
{
    for (TInSPI *spi : spis) {
        if (!spi->HasPictureRows())
            return std::nullopt;
        for (size_t offset : {size_t(0), size_t(128)}) {
            if (offset == 128 && !(RetryAt128 && size > 128))
                break;
            if (spi->IsSupported(FileName, SupportBlock(head, offset).data()) == 0)
                continue;
            found.Info = ReadPictureInfo(*spi, found.NativePath.c_str(), intptr_t(offset), SPI_INPUT_FILE);
            NoteSize(found.Info);
            const int64_t width = found.Info.Width, height = found.Info.Height;
            if (!found.Info.Valid || width <= 0 || height <= 0 || width * height > kPixelMemoryLimit / 4)
                return std::nullopt;
            found.SPI = spi;
            found.Offset = intptr_t(offset);
            return found;
        }
    }
    return std::nullopt;
}

bool TInSPIAble::ReadRows(const TSPIRowPicture &picture, const QSize &want, RowReceiver &receiver)
{
    const std::string &path = picture.NativePath;
    // The export's "full size" is 0 by 0.
    const int32_t wantWidth = want.isEmpty() ? 0 : want.width(), wantHeight = want.isEmpty() ? 0 : want.height();
    RowReading reading(picture, want, receiver);
    RowReading *const previous = rowReading_;
    rowReading_ = &reading;
    SendProgress(TProgressStage::Starting, 0, false);
    int32_t rc = 0;
    try {
        rc = CallPlugin(
            [&] {
                return picture.SPI->GetPictureRows(path.c_str(), picture.Offset, SPI_INPUT_FILE, wantWidth, wantHeight,
                                                   SPIRowsCallback, SPIProgressCallback,
                                                   reinterpret_cast<intptr_t>(this));
            },
            [](int32_t) {});
    } catch (const ESPIPluginFailed &e) {
        rowReading_ = previous;
        SendProgress(TProgressStage::Ending, 100, true);
        throw e.ForPicture(picture.FileName);
    } catch (...) {
        rowReading_ = previous;
        SendProgress(TProgressStage::Ending, 100, true);
        throw;
    }
    rowReading_ = previous;
    SendProgress(TProgressStage::Ending, 100, true);
    return rc == 0 && reading.Complete();
}

extern "C" int32_t SPIRowsCallback(const SPI_ROWBLOCK *block, intptr_t user)
{
    auto *loader = reinterpret_cast<TInSPIAble *>(user);
    if (user == 0 || loader != TInSPIAble::ActiveLoader() || loader->rowReading_ == nullptr)
        return 1;
    if (loader->callbackError_ || block == nullptr) {
        loader->rowReading_->Break();
        return 1;
    }
    try {
        return loader->rowReading_->Take(*block);
    } catch (...) {
        // Never through the plug-in's C frames: stop it, and raise the exception once it has returned.
        loader->callbackError_ = std::current_exception();
        loader->rowReading_->Break();
        return 1;
    }
}
