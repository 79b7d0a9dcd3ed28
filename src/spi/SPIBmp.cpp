#include "spi/SPIBmp.h"

#include "picture/PictureFormats.h"
#include "picture/RowImages.h"
#include "platform/AsciiText.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "spi/SPIs.h"
#include "spi/SpiProcess.h"

#include <QBuffer>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// The loader whose plug-in is running; a callback with any other user value is ignored rather
// than trusted as an address.
thread_local TInSPIAble *activeLoader = nullptr;

// Multiply, then divide rounding to the nearest integer; -1 for a zero divisor.
int64_t MulDiv(int64_t number, int64_t numerator, int64_t denominator)
{
    if (denominator == 0)
        return -1;
    const int64_t product = number * numerator;
    const int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude =
        ((product < 0 ? -product : product) + half) / (denominator < 0 ? -denominator : denominator);
    return negative ? -magnitude : magnitude;
}

// Frees a plug-in's blocks on every path out of a conversion.
class LocalBlocks {
public:
    LocalBlocks(HLOCAL header, HLOCAL bits) : header_(header), bits_(bits) {}
    ~LocalBlocks()
    {
        LocalFree(header_);
        LocalFree(bits_);
    }
    LocalBlocks(const LocalBlocks &) = delete;
    LocalBlocks &operator=(const LocalBlocks &) = delete;

private:
    HLOCAL header_, bits_;
};

// Where the parts of a plug-in's bitmap result lie, once it was found sane.
struct DIBLayout {
    uint32_t headerSize = 0; // the header's own size
    uint32_t tableBytes = 0; // colour masks and colour table after the header
    uint32_t colours = 0;    // colour-table entries (N)
    uint16_t bitCount = 0;
    uint64_t imageSize = 0; // bytes of pixel rows
};

// Checks a result against the blocks that hold it. Never reads beyond `headerBytes`.
bool CheckDIB(const uint8_t *header, size_t headerBytes, size_t bitsBytes, DIBLayout &out)
{
    if (header == nullptr || headerBytes < sizeof(SPI_BITMAPINFOHEADER))
        return false;
    SPI_BITMAPINFOHEADER h;
    std::memcpy(&h, header, sizeof h);
    // 40 bytes, or one of the longer headers whose masks and colour spaces follow the same start.
    if (h.size < 40 || h.size > 124)
        return false;
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 &&
        h.bitCount != 32)
        return false;
    const bool bitFields = h.compression == SPI_BI_BITFIELDS;
    if (h.compression != SPI_BI_RGB && !(bitFields && (h.bitCount == 16 || h.bitCount == 32)))
        return false;
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN)
        return false;
    const uint64_t width = static_cast<uint32_t>(h.width);
    const uint64_t height = static_cast<uint32_t>(h.height < 0 ? -h.height : h.height);
    if (width * height * 4 > static_cast<uint64_t>(kPixelMemoryLimit))
        return false;
    uint32_t colours = h.clrUsed;
    if (colours == 0 && h.bitCount <= 8)
        colours = 1u << h.bitCount;
    if (h.bitCount <= 8 ? colours > (1u << h.bitCount) : colours > 256)
        return false;
    // With a 40-byte header, bit-field masks follow it; longer headers hold them inside.
    const uint32_t masks = bitFields && h.size == 40 ? 12 : 0;
    out.headerSize = h.size;
    out.tableBytes = masks + 4 * colours;
    out.colours = colours;
    out.bitCount = h.bitCount;
    out.imageSize = (width * h.bitCount + 31) / 32 * 4 * height;
    return uint64_t(out.headerSize) + out.tableBytes <= headerBytes && out.imageSize <= bitsBytes;
}

void PutU16(uint8_t *p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}
void PutU32(uint8_t *p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

const char kUnrecognised[] = "認識できない画像形式です";

// A count with a comma every three digits.
std::string Grouped(int64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(size_t(i), ",");
    return digits;
}

// Why a picture whose size a plug-in told is not read: it is beyond the memory guard.
EInvalidGraphic TooLarge(const std::string &cp932FileName, const QSize &size)
{
    const std::string name = cp932FileName.empty() ? std::string("画像") : "画像 " + Cp932ToUtf8Lossy(cp932FileName);
    return EInvalidGraphic(FormatMessage(
        "%s は大きすぎて読み込めません (%s×%s 画素、上限は %s 画素です)",
        {name, std::to_string(size.width()), std::to_string(size.height()), Grouped(kPixelMemoryLimit / 4)}));
}

// The bitmap file that a plug-in's result makes, read in place: a file header of its own, then the
// plug-in's header block and its pixel block. The bitmap reader thus copies the pixels once.
class DIBFileDevice : public QIODevice {
public:
    DIBFileDevice(const uint8_t *fileHeader, qint64 fileHeaderSize, const uint8_t *header, qint64 headerSize,
                  const void *bits, qint64 bitsSize)
        : parts_{{{fileHeader, fileHeaderSize}, {header, headerSize}, {static_cast<const uint8_t *>(bits), bitsSize}}}
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return parts_[0].second + parts_[1].second + parts_[2].second; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 done = 0, start = 0;
        const qint64 at = pos();
        for (const auto &[bytes, length] : parts_) {
            const qint64 from = std::max<qint64>(at + done - start, 0);
            if (from < length && done < maxSize) {
                const qint64 n = std::min(length - from, maxSize - done);
                std::memcpy(data + done, bytes + from, size_t(n));
                done += n;
            }
            start += length;
        }
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::array<std::pair<const uint8_t *, qint64>, 3> parts_;
};

// The rows of a picture whose plug-in has the row export.
class PluginRows : public RowSource {
public:
    PluginRows(TInSPIAble &loader, const TSPIRowPicture &picture, const QSize &want)
        : loader_(loader), picture_(picture), want_(want)
    {
    }
    bool Deliver(RowReceiver &receiver) override { return loader_.ReadRows(picture_, want_, receiver); }

private:
    TInSPIAble &loader_;
    const TSPIRowPicture &picture_;
    QSize want_;
};

} // namespace

TPictureInfoRec ReadPictureInfo(const TInSPI &spi, const char *buf, intptr_t len, uint32_t flag)
{
    TPictureInfoRec info;
    SPI_PICTINFO raw{};
    if (spi.GetPictureInfo(buf, len, flag, &raw) != 0)
        return info;
    info.Left = raw.left;
    info.Top = raw.top;
    info.Width = raw.width;
    info.Height = raw.height;
    info.XDensity = raw.x_density;
    info.YDensity = raw.y_density;
    info.ColorDepth = raw.colorDepth;
    if (raw.hInfo != nullptr) {
        if (const auto *text = static_cast<const char *>(LocalLock(raw.hInfo))) {
            info.Info.assign(text, ::strnlen(text, LocalSize(raw.hInfo)));
            LocalUnlock(raw.hInfo);
        }
        LocalFree(raw.hInfo);
    }
    info.Valid = true;
    return info;
}

// ---- TInSPIAble ----------------------------------------------------------------------------------

void TInSPIAble::LoadNamed(const std::string &cp932FileName, const std::function<void()> &load)
{
    Ext = ExtractFileExt(cp932FileName);
    FileName = cp932FileName;
    tooLarge_.reset();
    // The name is there for this load only, whether it succeeds or not.
    struct ClearName {
        TInSPIAble &self;
        ~ClearName()
        {
            self.Ext.clear();
            self.FileName.clear();
        }
    } clear{*this};
    load();
}

void TInSPIAble::LoadFromFile(const std::string &cp932FileName)
{
    LoadNamed(cp932FileName, [&] {
        if (OnRowPicture)
            if (std::optional<TSPIRowPicture> found = FindRowPicture(); found && OnRowPicture(*found))
                return;
        // Comes back through the picture's LoadFromStream while the name is still set.
        NativeLoadFromFile(Graphic, cp932FileName);
    });
}

void TInSPIAble::LoadFromStreamWithName(QIODevice &stream, const std::string &cp932FileName)
{
    LoadNamed(cp932FileName, [&] { LoadFromStream(stream); });
}

void TInSPIAble::LoadFromStream(QIODevice &stream)
{
    // The data always starts at the beginning of the memory image and has the stream's full size.
    QByteArray data;
    if (auto *buffer = qobject_cast<QBuffer *>(&stream)) {
        data = buffer->data(); // shared, not copied
    } else {
        if (!stream.isSequential())
            stream.seek(0);
        data = stream.readAll();
    }
    QBuffer memory(&data);
    memory.open(QIODevice::ReadOnly);

    if (FileName.empty())
        tooLarge_.reset(); // an unnamed load; a named one started afresh in LoadNamed
    const bool nativeFirst = Ext.empty() || SameTextAscii(Ext.substr(1), NativeExt);
    bool loaded = nativeFirst ? LoadNative(memory) || LoadBySPIs(data) : LoadBySPIs(data) || LoadNative(memory);
    if (!loaded && tooLarge_)
        throw TooLarge(FileName, *tooLarge_);
    if (!loaded)
        throw EInvalidGraphic(kUnrecognised);
}

bool TInSPIAble::LoadNative(QBuffer &memory)
{
    try {
        memory.seek(0);
        NativeLoadFromStream(Graphic, memory);
        return true;
    } catch (const Exception &) {
        return false;
    }
}

std::vector<TInSPI *> TInSPIAble::PluginsInOrder() const
{
    std::vector<TInSPI *> spis;
    if (SPI != nullptr)
        spis.push_back(SPI);
    else if (SPIsInstance != nullptr)
        SPIsInstance->GetSPIs(spis, FileName);
    return spis;
}

void TInSPIAble::NoteSize(const TPictureInfoRec &info)
{
    if (info.Valid && info.Width > 0 && info.Height > 0 && int64_t(info.Width) * info.Height > kPixelMemoryLimit / 4)
        tooLarge_ = QSize(info.Width, info.Height);
}

bool TInSPIAble::LoadBySPIs(const QByteArray &data)
{
    // The data goes to the plug-in helper once, for all the attempts.
    const SpiSharedInput shared(data.constData(), size_t(data.size()));
    for (TInSPI *spi : PluginsInOrder())
        if (LoadWithSPI(data, *spi))
            return true;
    return false;
}

void TInSPIAble::SendProgress(TProgressStage stage, uint8_t percent, bool redrawNow)
{
    if (OnProgress)
        OnProgress(stage, percent, redrawNow, QRect(0, 0, Graphic.Width(), Graphic.Height()), std::string());
}

bool TInSPIAble::LoadWithSPI(const QByteArray &data, TInSPI &spi)
{
    SendProgress(TProgressStage::Starting, 0, false);
    bool result = false;
    try {
        result = LoadFromMemory(data.constData(), data.size(), spi);
        if (!result && RetryAt128 && data.size() > 128)
            result = LoadFromMemory(data.constData() + 128, data.size() - 128, spi);
    } catch (const ESPIPluginFailed &e) {
        SendProgress(TProgressStage::Ending, 100, true);
        throw e.ForPicture(FileName);
    } catch (...) {
        SendProgress(TProgressStage::Ending, 100, true);
        throw;
    }
    SendProgress(TProgressStage::Ending, 100, true);
    return result;
}

bool TInSPIAble::LoadFromMemory(const char *data, intptr_t length, TInSPI &spi)
{
    // Plug-ins may always read 2048 bytes; a shorter file is handed over in a zero-filled block.
    std::vector<char> block;
    if (length < 2048) {
        block.assign(2048, 0);
        std::memcpy(block.data(), data, static_cast<size_t>(length));
        data = block.data();
    }
    if (spi.IsSupported(FileName, data) == 0)
        return false;

    const TPictureInfoRec info = ReadPictureInfo(spi, data, length, SPI_INPUT_MEMORY);
    NoteSize(info);

    HLOCAL header = nullptr, bits = nullptr;
    const int32_t rc = CallPlugin(
        [&] {
            return spi.GetPicture(data, length, SPI_INPUT_MEMORY, &header, &bits, SPIProgressCallback,
                                  reinterpret_cast<intptr_t>(this));
        },
        [&](int32_t result) {
            if (result == 0) {
                LocalFree(header);
                LocalFree(bits);
            }
        });
    if (rc != 0)
        return false;

    LocalBlocks owned(header, bits); // freed also when the conversion raises
    void *bitsAddress = LocalLock(bits);
    void *headerAddress = LocalLock(header);
    bool done = false;
    if (bitsAddress != nullptr && headerAddress != nullptr) {
        try {
            OnSetDIB(headerAddress, LocalSize(header), bitsAddress, LocalSize(bits), done, info);
        } catch (...) {
            LocalUnlock(header);
            LocalUnlock(bits);
            throw;
        }
    }
    if (headerAddress != nullptr)
        LocalUnlock(header);
    if (bitsAddress != nullptr)
        LocalUnlock(bits);
    return done;
}

int32_t TInSPIAble::CallPlugin(const std::function<int32_t()> &call, const std::function<void(int32_t)> &discard)
{
    TInSPIAble *const previous = activeLoader;
    activeLoader = this;
    callbackError_ = nullptr;
    int32_t rc = 0;
    try {
        rc = call();
    } catch (...) {
        activeLoader = previous;
        throw;
    }
    activeLoader = previous;
    if (callbackError_) {
        std::exception_ptr error = callbackError_;
        callbackError_ = nullptr;
        discard(rc);
        std::rethrow_exception(error);
    }
    return rc;
}

TInSPIAble *TInSPIAble::ActiveLoader()
{
    return activeLoader;
}

extern "C" int32_t SPIProgressCallback(int32_t num, int32_t denom, intptr_t user)
{
    auto *loader = reinterpret_cast<TInSPIAble *>(user);
    if (user == 0 || loader != activeLoader)
        return 0;
    if (loader->callbackError_)
        return 1;
    // A running load reports 1 to 99; a zero denominator reports 0.
    int64_t percent = MulDiv(num, 98, denom) + 1;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    try {
        loader->SendProgress(TProgressStage::Running, static_cast<uint8_t>(percent), false);
    } catch (const EAbort &) {
        return 1;
    } catch (...) {
        // An exception must not unwind through the plug-in's C frames: ask it to stop and raise
        // the exception again once it has returned.
        loader->callbackError_ = std::current_exception();
        return 1;
    }
    return 0;
}

// ---- TSPIBitmap ----------------------------------------------------------------------------------

const TGraphicClass &TSPIBitmap::ClassInfo()
{
    return GraphicClassOf<TSPIBitmap, TBitmap>("TSPIBitmap");
}

TSPIBitmap::TSPIBitmap() : inSPIAble_(std::make_unique<TInSPIAble>(*this))
{
    TInSPIAble &a = *inSPIAble_;
    a.NativeExt = "BMP";
    a.NativeLoadFromFile = [](TGraphic &picture, const std::string &path) { picture.TGraphic::LoadFromFile(path); };
    a.NativeLoadFromStream = [](TGraphic &picture, QIODevice &stream) {
        static_cast<TBitmap &>(picture).ReadBitmapStream(stream);
    };
    a.OnSetDIB = [this](const void *header, size_t headerSize, const void *bits, size_t bitsSize, bool &done,
                        const TPictureInfoRec &info) { SetDIB(header, headerSize, bits, bitsSize, done, info); };
    a.OnProgress = [this](TProgressStage stage, uint8_t percent, bool redrawNow, const QRect &r,
                          const std::string &msg) { Progress(stage, percent, redrawNow, r, msg); };
    a.OnRowPicture = [this](const TSPIRowPicture &picture) {
        if (int64_t(picture.Info.Width) * picture.Info.Height < StreamFromPixels)
            return false;
        offered_ = picture;
        return true;
    };
}

TSPIBitmap::~TSPIBitmap() = default;

void TSPIBitmap::Assign(const TGraphic &source)
{
    if (const auto *other = dynamic_cast<const TSPIBitmap *>(&source)) {
        RetryAt128 = other->RetryAt128;
        SPI = other->SPI;
    }
    if (const auto *bitmap = dynamic_cast<const TBitmap *>(&source)) {
        SetImage(bitmap->Image());
        SetPalette(bitmap->Palette());
        SetPixelFormat(bitmap->PixelFormat());
    }
    const auto *other = dynamic_cast<const TSPIBitmap *>(&source);
    rowPicture_ = other != nullptr ? other->rowPicture_ : std::nullopt;
}

void TSPIBitmap::Prepare()
{
    inSPIAble_->RetryAt128 = RetryAt128;
    inSPIAble_->SPI = SPI;
}

void TSPIBitmap::LoadFromFile(const std::string &cp932Path)
{
    Prepare();
    offered_.reset();
    inSPIAble_->LoadFromFile(cp932Path);
    rowPicture_ = std::exchange(offered_, std::nullopt);
    if (rowPicture_) {
        SetImage(QImage());
        SetPalette({});
    }
}

void TSPIBitmap::LoadFromStream(QIODevice &stream)
{
    Prepare();
    inSPIAble_->LoadFromStream(stream);
    rowPicture_.reset();
}

void TSPIBitmap::LoadFromStreamWithName(QIODevice &stream, const std::string &cp932FileName)
{
    Prepare();
    inSPIAble_->LoadFromStreamWithName(stream, cp932FileName);
    rowPicture_.reset();
}

int TSPIBitmap::Width() const
{
    return rowPicture_ ? rowPicture_->Info.Width : TBitmap::Width();
}

int TSPIBitmap::Height() const
{
    return rowPicture_ ? rowPicture_->Info.Height : TBitmap::Height();
}

QImage TSPIBitmap::StretchedImage(const QSize &size) const
{
    if (!rowPicture_)
        return TBitmap::StretchedImage(size);
    CheckPixelMemory(size.width(), size.height(), 4);
    if (size.isEmpty())
        return QImage();
    if (std::optional<QImage> drawn = DrawFromRows(size))
        return std::move(*drawn);
    // The plug-in could not hand its rows out after all: the whole load as it always was.
    TSPIBitmap whole;
    whole.SPI = SPI;
    whole.RetryAt128 = RetryAt128;
    whole.StreamFromPixels = INT64_MAX;
    whole.InSPIAble().OnProgress = inSPIAble_->OnProgress;
    whole.LoadFromFile(rowPicture_->FileName);
    return whole.StretchedImage(size);
}

std::unique_ptr<RowSource> TSPIBitmap::RowsToDraw(const QSize &size) const
{
    if (!rowPicture_)
        return nullptr;
    // A plug-in taken from the host's list may have been freed since the load.
    TInSPI *const spi = rowPicture_->SPI;
    bool loaded = spi == SPI;
    for (int i = 0; !loaded && SPIsInstance != nullptr && i < SPIsInstance->Count(); ++i)
        loaded = &SPIsInstance->Items(i) == spi;
    if (!loaded)
        return nullptr;
    return std::make_unique<PluginRows>(*inSPIAble_, *rowPicture_, Shrinks(size) ? size : QSize());
}

bool TSPIBitmap::Shrinks(const QSize &size) const
{
    const QSize full(Width(), Height());
    return size.width() <= full.width() && size.height() <= full.height() && size != full;
}

std::optional<QImage> TSPIBitmap::DrawFromRows(const QSize &size) const
{
    const std::unique_ptr<RowSource> rows = RowsToDraw(size);
    if (!rows)
        return std::nullopt;
    if (Shrinks(size))
        return ShrinkRows(*rows, size);
    // At the picture's size, or enlarged: exactly what the usual load gives.
    std::optional<QImage> whole = CollectRows(*rows);
    if (!whole)
        return std::nullopt;
    return StretchImage(*whole, size);
}

void TSPIBitmap::SetDIB(const void *header, size_t headerSize, const void *bits, size_t bitsSize, bool &done,
                        const TPictureInfoRec &info)
{
    (void)info;
    const auto *h = static_cast<const uint8_t *>(header);
    DIBLayout layout;
    if (!CheckDIB(h, headerSize, bitsSize, layout))
        return;

    // A bitmap file: a file header, the result's header with its masks and colours, pixels.
    const uint64_t offset = 14 + uint64_t(layout.headerSize) + layout.tableBytes;
    const uint64_t fileSize = offset + layout.imageSize;
    if (fileSize > UINT32_MAX)
        return;
    uint8_t fileHeader[14];
    fileHeader[0] = 'B';
    fileHeader[1] = 'M';
    PutU32(fileHeader + 2, static_cast<uint32_t>(fileSize));
    PutU16(fileHeader + 6, 0);
    PutU16(fileHeader + 8, 0);
    PutU32(fileHeader + 10, static_cast<uint32_t>(offset));
    DIBFileDevice stream(fileHeader, sizeof fileHeader, h, qint64(offset - 14), bits, qint64(layout.imageSize));
    ReadBitmapStream(stream); // the bitmap reader itself, not this class's LoadFromStream

    if (layout.bitCount == 4 && layout.colours > 0) {
        QList<QRgb> palette;
        const uint8_t *table = h + layout.headerSize;
        for (uint32_t i = 0; i < layout.colours; ++i) // stored blue, green, red, reserved
            palette.push_back(qRgb(table[i * 4 + 2], table[i * 4 + 1], table[i * 4]));
        SetPalette(palette);
    }
    done = true;
}

// ---- registration ---------------------------------------------------------------------------------

void RegisterSPIBitmapClass()
{
    TSPIs::SetDefaultGraphicClass(&TSPIBitmap::ClassInfo());
}

void WithdrawSPIBitmapClass()
{
    WithdrawPictureClass(TSPIBitmap::ClassInfo());
}

void RefuseBuiltInJpeg(const std::string &extension, const TGraphicClass *&graphicClass)
{
    std::string upper = extension;
    for (char &c : upper)
        c = UpperAscii(c);
    if (upper == "JPG" || upper == "JPEG")
        graphicClass = nullptr;
}

namespace {
// The unit's start-up and shut-down. The format registry is made to exist first, so that it is
// destroyed after the withdrawal at exit.
struct SPIBmpUnit {
    SPIBmpUnit()
    {
        TFileFormatsList::Instance();
        RegisterSPIBitmapClass();
    }
    ~SPIBmpUnit() { WithdrawSPIBitmapClass(); }
} spiBmpUnit;
} // namespace
