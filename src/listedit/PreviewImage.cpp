#include "listedit/PreviewImage.h"

#include "platform/Exceptions.h"

#include <QPainter>

PreviewImage::PreviewImage(QWidget *parent) : QWidget(parent)
{
    picture_.OnChange = [this](TPicture &) {
        stretched_ = QImage();
        update();
    };
}

void PreviewImage::LoadFromFile(const std::string &cp932Path)
{
    picture_.LoadFromFile(cp932Path);
    fileName_ = cp932Path;
    stretched_ = QImage();
    update();
}

void PreviewImage::paintEvent(QPaintEvent *)
{
    const TGraphic *graphic = picture_.Graphic();
    if (graphic == nullptr || graphic->Empty())
        return;
    // Resampling a large photo on every repaint would be slow; keep the result for this size.
    if (stretched_.size() != size()) {
        try {
            stretched_ = graphic->StretchedImage(size());
        } catch (const Exception &) {
            stretched_ = QImage();
            return;
        }
    }
    QPainter painter(this);
    painter.drawImage(rect(), stretched_);
}
