#pragma once

#include "picture/Bitmap.h"
#include "spi.h"

#include <QByteArray>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class QBuffer;
class QIODevice;
class TInSPI;

// The progress callback handed to plug-ins; `user` is the loading TInSPIAble. Returns 1 to ask the
// plug-in to stop (the progress handler raised EAbort, or anything else, which is raised again
// once the plug-in has returned), otherwise 0.
extern "C" int32_t SPIProgressCallback(int32_t num, int32_t denom, intptr_t user);

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

// Turns a plug-in's result into the picture. The sizes are those of the two local-memory blocks,
// so the handler can refuse a result that claims more than it holds (Done then stays false).
using TSetDIBEvent = std::function<void(const void *header, size_t headerSize, const void *bits, size_t bitsSize,
                                        bool &done, const TPictureInfoRec &info)>;

// The plug-in loading logic of one picture object; knows nothing about bitmaps.
class TInSPIAble {
public:
    explicit TInSPIAble(TGraphic &graphic) : Graphic(graphic) {}
    TInSPIAble(const TInSPIAble &) = delete;
    TInSPIAble &operator=(const TInSPIAble &) = delete;

    // Named loads: the name's extension picks the reader order. Raise EInvalidGraphic
    // "認識できない画像形式です" when neither the plug-ins nor the native reader can read it.
    void LoadFromFile(const std::string &cp932FileName);
    void LoadFromStreamWithName(QIODevice &stream, const std::string &cp932FileName);
    void LoadFromStream(QIODevice &stream);

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

private:
    friend int32_t(::SPIProgressCallback)(int32_t num, int32_t denom, intptr_t user);

    // Sets Ext and FileName from the name for the time `load` runs.
    void LoadNamed(const std::string &cp932FileName, const std::function<void()> &load);
    bool LoadNative(QBuffer &memory);
    bool LoadBySPIs(const QByteArray &data);
    bool LoadWithSPI(const QByteArray &data, TInSPI &spi);
    bool LoadFromMemory(const char *data, intptr_t length, TInSPI &spi);
    void SendProgress(TProgressStage stage, uint8_t percent, bool redrawNow);

    std::exception_ptr callbackError_; // raised in a progress callback, rethrown once the plug-in returned
};

// A bitmap that reads any format of the loaded picture plug-ins, and ordinary bitmaps. The
// picture loader creates it for every extension that a plug-in registered.
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

    // Builds a bitmap file from a plug-in's result and reads it with the bitmap reader. A result
    // whose header is not sane or claims more bytes than the blocks hold leaves Done false; the
    // bitmap reader's errors are raised.
    void SetDIB(const void *header, size_t headerSize, const void *bits, size_t bitsSize, bool &done,
                const TPictureInfoRec &info);

    TInSPIAble &InSPIAble() { return *inSPIAble_; }
    TInSPI *SPI = nullptr;
    bool RetryAt128 = true;

private:
    void Prepare();

    std::unique_ptr<TInSPIAble> inSPIAble_;
};

// Makes TSPIBitmap the class registered for plug-in formats (the unit's start-up), and withdraws
// all its registrations (the unit's shut-down). Both run automatically at process start and exit
// when this unit is linked; they are exposed for tests.
void RegisterSPIBitmapClass();
void WithdrawSPIBitmapClass();

// The program's OnPictureRegister rule: "jpg" and "jpeg" (any case) stay with the built-in JPEG
// reader, so the proposed class becomes null for them.
void RefuseBuiltInJpeg(const std::string &extension, const TGraphicClass *&graphicClass);
