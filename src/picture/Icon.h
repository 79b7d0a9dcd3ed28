#pragma once

#include "picture/Graphic.h"

// A Windows icon file read through Qt's reader; the picture is the icon's largest image.
class TIcon : public TGraphic {
public:
    TIcon() = default;
    static const TGraphicClass &ClassInfo();
    const TGraphicClass &ClassType() const override { return ClassInfo(); }

    void LoadFromStream(QIODevice &stream) override;
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    // Transparent parts are drawn on black, as a 24-bit wallpaper shows them.
    QImage StretchedImage(const QSize &size) const override;

private:
    QImage image_;
};
