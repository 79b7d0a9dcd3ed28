#pragma once

#include "picture/Graphic.h"

#include <QByteArray>

#include <string>

// An enhanced metafile (through libemf2svg) or an old-style metafile (through libwmf), kept as SVG and
// rendered by Qt SVG at the size it is drawn. Its size is that of the metafile's header at 96 dpi.
class TMetafile : public TGraphic {
public:
    TMetafile() = default;
    static const TGraphicClass &ClassInfo();
    const TGraphicClass &ClassType() const override { return ClassInfo(); }

    // Tells emf from wmf by the data's signature. Raises EInvalidGraphic on data neither reads.
    void LoadFromStream(QIODevice &stream) override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Drawn on white. Needs a QGuiApplication (Qt SVG renders text with fonts).
    QImage StretchedImage(const QSize &size) const override;

    const QByteArray &Svg() const { return svg_; }

    // Where the check for libwmf's fonts looks (libwmf itself keeps its own built-in folder), so
    // that a test can stand for a machine without them. Returns the folder it replaces.
    static std::string SetWmfFontDirForTest(std::string dir);

private:
    void LoadEmf(const QByteArray &data);
    void LoadWmf(const QByteArray &data);

    QByteArray svg_;
    int width_ = 0;
    int height_ = 0;
};
