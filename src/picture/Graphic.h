#pragma once

#include "picture/GraphicClass.h"
#include "render/PixelMemory.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <functional>
#include <string>

class QIODevice;
class QPainter;

enum class TProgressStage { Starting, Running, Ending };

// The progress notification of a loading picture: Sender, Stage, PercentDone, RedrawNow, R, Msg (UTF-8).
using TProgressEvent = std::function<void(TGraphic &sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                                          const QRect &r, const std::string &msg)>;

// The abstract picture. Pictures are loaded from files or streams and draw themselves stretched into
// a rectangle. A stream that is a QBuffer is the "memory stream": its data can be used in place.
class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic &) = delete;
    TGraphic &operator=(const TGraphic &) = delete;

    static const TGraphicClass &ClassInfo();
    virtual const TGraphicClass &ClassType() const = 0;

    // Reads the whole file (CP932 path) and hands it to LoadFromStream as a QBuffer.
    // Raises EInOutError "ファイル %s は開けません" when the file cannot be read.
    virtual void LoadFromFile(const std::string &cp932Path);
    // Reads the picture from the stream's current position. Raises EInvalidGraphic on data it cannot read.
    virtual void LoadFromStream(QIODevice &stream) = 0;

    // Size in pixels; 0 when empty.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() == 0 || Height() == 0; }

    // The whole picture resampled to exactly `size` (area averaging when shrinking, smooth interpolation
    // when enlarging), opaque: Format_RGB32, or Format_BGR888 where a reader produces BMP's byte order. Raises
    // EOutOfMemory when the pixels would exceed the memory guard. Formats that can decode at a reduced size (JPEG) do
    // so here.
    virtual QImage StretchedImage(const QSize &size) const = 0;
    // Draws the whole picture stretched into `rect` of the painter's surface.
    void Draw(QPainter &painter, const QRect &rect) const;

    TProgressEvent OnProgress;

protected:
    // Sends the progress notification when one is assigned.
    void Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow, const QRect &r,
                  const std::string &msg = {});
};

// The class reference of picture class T, a descendant of Base: what every picture class's
// ClassInfo returns.
template <class T, class Base> const TGraphicClass &GraphicClassOf(const char *name)
{
    static const TGraphicClass info{name, &Base::ClassInfo(),
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); }};
    return info;
}

// Resamples `image` to `size` with the smooth filters above; the result is Format_RGB32.
QImage StretchImage(const QImage &image, const QSize &size);
