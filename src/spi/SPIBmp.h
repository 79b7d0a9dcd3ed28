#pragma once

#include "picture/Bitmap.h"
#include "render/RowSource.h"
#include "spi.h"

#include <QByteArray>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QBuffer;
class QIODevice;
class TInSPI;

// The progress callback handed to plug-ins; `user` is the loading TInSPIAble. Returns 1 to ask the
// plug-in to stop (the progress handler raised EAbort, or anything else, which is raised again
// once the plug-in has returned), otherwise 0.
extern "C" int32_t SPIProgressCallback(int32_t num, int32_t denom, intptr_t user);
// The row callback handed to a plug-in's GetPictureRows; `user` is the loading TInSPIAble. Returns 1
// to stop the plug-in (its rows broke the rules, or the receiver raised), otherwise 0.
extern "C" int32_t SPIRowsCallback(const SPI_ROWBLOCK *block, intptr_t user);

// The host's copy of a plug-in's picture information.
struct TPictureInfoRec {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t XDensity = 0;
    uint16_t YDensity = 0;
    int16_t ColorDepth = 0;
    std::string Info; // the plug-in's text (CP932)
    bool Valid = false;
};

// A picture that a plug-in with the row export accepted by its first bytes and its information,
// found before the file was read whole. The rows are read later, at the size they are needed.
struct TSPIRowPicture {
    TInSPI *SPI = nullptr;
    std::string FileName;   // as loaded (CP932)
    std::string NativePath; // what the plug-in opens
    intptr_t Offset = 0;    // where the picture starts in the file: 0, or 128 on the retry
    TPictureInfoRec Info;
};

// Turns a plug-in's result into the picture. The sizes are those of the two local-memory blocks,
// so the handler can refuse a result that claims more than it holds (Done then stays false).
using TSetDIBEvent = std::function<void(const void *header, size_t headerSize, const void *bits, size_t bitsSize,
                                        bool &done, const TPictureInfoRec &info)>;

// The plug-in's information about a picture (GetPictureInfo), its text handle freed; not Valid when
// the plug-in refused.
TPictureInfoRec ReadPictureInfo(const TInSPI &spi, const char *buf, intptr_t len, uint32_t flag);

// The plug-in loading logic of one picture object; knows nothing about bitmaps.
class TInSPIAble {
public:
    explicit TInSPIAble(TGraphic &graphic) : Graphic(graphic) {}
    TInSPIAble(const TInSPIAble &) = delete;
    TInSPIAble &operator=(const TInSPIAble &) = delete;

    // Named loads: the name's extension picks the reader order. Raise EInvalidGraphic
    // "認識できない画像形式です" when neither the plug-ins nor the native reader can read it, or an
    // EInvalidGraphic that names the file and its size when a plug-in sized it beyond the memory
    // guard; ESPIPluginFailed (naming the plug-in and the file) when a plug-in crashed or hung.
    void LoadFromFile(const std::string &cp932FileName);
    void LoadFromStreamWithName(QIODevice &stream, const std::string &cp932FileName);
    void LoadFromStream(QIODevice &stream);

    // Reads the rows of `picture` into `receiver`, at the full size or, with `want` not empty, at any
    // size from `want` up to the full one that the plug-in chooses. Sends the picture's progress as a
    // load does. Returns false when the plug-in failed or its rows broke the rules of the export (the
    // receiver's work is then void); raises what the receiver or the progress handler raised.
    bool ReadRows(const TSPIRowPicture &picture, const QSize &want, RowReceiver &receiver);

    TGraphic &Graphic;
    std::string Ext;      // extension of the name being loaded, with its dot; empty outside a named load
    std::string FileName; // the name being loaded; empty outside a named load
    std::string NativeExt;
    std::function<void(TGraphic &, const std::string &)> NativeLoadFromFile;
    std::function<void(TGraphic &, QIODevice &)> NativeLoadFromStream;
    TSetDIBEvent OnSetDIB;
    TInSPI *SPI = nullptr;
    std::function<void(TProgressStage, uint8_t, bool, const QRect &, const std::string &)> OnProgress;
    bool RetryAt128 = true;
    // Offered a picture of a plug-in with the row export during a load by file name, before the file
    // is read whole; returns true when the picture takes it as it is (the load then ends there).
    std::function<bool(const TSPIRowPicture &)> OnRowPicture;

private:
    friend int32_t(::SPIProgressCallback)(int32_t num, int32_t denom, intptr_t user);
    friend int32_t(::SPIRowsCallback)(const SPI_ROWBLOCK *block, intptr_t user);
    class RowReading;

    // The loader whose plug-in is running on this thread, or null.
    static TInSPIAble *ActiveLoader();

    // The plug-ins to ask for the current name, in order.
    std::vector<TInSPI *> PluginsInOrder() const;
    // The first plug-in in order that accepts the named file, when it has the row export and can tell
    // the picture's size from the file; nullopt whenever the usual load is to decide.
    std::optional<TSPIRowPicture> FindRowPicture();
    // FindRowPicture's questions to the plug-ins, given the file's first bytes and its size.
    std::optional<TSPIRowPicture> AskForRowPicture(const std::vector<TInSPI *> &spis, const std::vector<char> &head,
                                                   uint64_t size, TSPIRowPicture &found);
    // Calls into a plug-in with this loader as the callbacks' user value. An exception that a callback
    // caught is raised again once the plug-in returned, after `discard(result)`.
    int32_t CallPlugin(const std::function<int32_t()> &call, const std::function<void(int32_t)> &discard);

    // Sets Ext and FileName from the name for the time `load` runs.
    void LoadNamed(const std::string &cp932FileName, const std::function<void()> &load);
    bool LoadNative(QBuffer &memory);
    bool LoadBySPIs(const QByteArray &data);
    bool LoadWithSPI(const QByteArray &data, TInSPI &spi);
    bool LoadFromMemory(const char *data, intptr_t length, TInSPI &spi);
    void SendProgress(TProgressStage stage, uint8_t percent, bool redrawNow);

    // Remembers a picture that a plug-in sized beyond the memory guard, for the error of a failed load.
    void NoteSize(const TPictureInfoRec &info);

    std::exception_ptr callbackError_; // raised in a callback, rethrown once the plug-in returned
    // The size a plug-in gave for the picture being loaded when it is beyond the memory guard: the
    // reason why no reader could read it.
    std::optional<QSize> tooLarge_;
    RowReading *rowReading_ = nullptr; // the rows being read, while GetPictureRows runs
};

// A bitmap that reads any format of the loaded picture plug-ins, and ordinary bitmaps. The
// picture loader creates it for every extension that a plug-in registered.
//
// A large picture (StreamFromPixels) named by its file and read by a plug-in with the row export is
// not decoded when loaded: loading learns its size, and drawing (StretchedImage) decodes it straight
// to the size drawn, its rows shrunk as they arrive, so that it is never held whole. Image() then
// stays empty. If the plug-in fails at drawing, the picture is loaded the usual way and drawn from
// that; errors of a broken file therefore come from drawing.
class TSPIBitmap : public TBitmap {
public:
    TSPIBitmap();
    ~TSPIBitmap() override;
    static const TGraphicClass &ClassInfo();
    const TGraphicClass &ClassType() const override { return ClassInfo(); }

    // Copies RetryAt128 and SPI from another TSPIBitmap, and the pixels and palette of any bitmap.
    void Assign(const TGraphic &source);
    void LoadFromFile(const std::string &cp932Path) override;
    void LoadFromStream(QIODevice &stream) override;
    void LoadFromStreamWithName(QIODevice &stream, const std::string &cp932FileName);

    int Width() const override;
    int Height() const override;
    QImage StretchedImage(const QSize &size) const override;

    // Reads a plug-in's result with the bitmap reader as the bitmap file it makes, in place, so that
    // its pixels are copied once. A result whose header is not sane or claims more bytes than the
    // blocks hold leaves Done false; the bitmap reader's errors are raised.
    void SetDIB(const void *header, size_t headerSize, const void *bits, size_t bitsSize, bool &done,
                const TPictureInfoRec &info);

    TInSPIAble &InSPIAble() { return *inSPIAble_; }
    TInSPI *SPI = nullptr;
    bool RetryAt128 = true;
    // Pictures of at least this many pixels are decoded when drawn, when their plug-in can hand out
    // rows; smaller ones cost little to hold and are decoded when loaded.
    int64_t StreamFromPixels = int64_t(1) << 20;
    // Whether the pixels wait for drawing (and Image() is empty).
    bool DecodesWhenDrawn() const { return rowPicture_.has_value(); }
    // The rows of a picture whose pixels wait, for drawing at `size`: at the full size, or, when `size`
    // is smaller, at a size from `size` up to the full one. Null when the pixels do not wait or their
    // plug-in was freed since. Valid while this bitmap is neither reloaded nor destroyed; when the
    // source fails, StretchedImage still draws the picture through the usual load.
    std::unique_ptr<RowSource> RowsToDraw(const QSize &size) const;

private:
    void Prepare();
    // Draws a picture whose pixels wait from its plug-in's rows; nullopt when the plug-in failed.
    std::optional<QImage> DrawFromRows(const QSize &size) const;
    // `size` is no larger than the picture in either direction, and smaller in one.
    bool Shrinks(const QSize &size) const;

    std::unique_ptr<TInSPIAble> inSPIAble_;
    std::optional<TSPIRowPicture> rowPicture_; // the picture when its pixels wait for drawing
    std::optional<TSPIRowPicture> offered_;    // what the loader offered during the current load
};

// Makes TSPIBitmap the class registered for plug-in formats (the unit's start-up), and withdraws
// all its registrations (the unit's shut-down). Both run automatically at process start and exit
// when this unit is linked; they are exposed for tests.
void RegisterSPIBitmapClass();
void WithdrawSPIBitmapClass();

// The program's OnPictureRegister rule: "jpg" and "jpeg" (any case) stay with the built-in JPEG
// reader, so the proposed class becomes null for them.
void RefuseBuiltInJpeg(const std::string &extension, const TGraphicClass *&graphicClass);
