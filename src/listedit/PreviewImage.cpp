#include "listedit/PreviewImage.h"

#include "platform/Exceptions.h"

#include <QPainter>

#include <algorithm>

PreviewImage::PreviewImage(QWidget *parent) : QWidget(parent)
{
    picture_.OnChange = [this](TPicture &) {
        scaled_ = QImage();
        update();
    };
}

void PreviewImage::LoadFromFile(const std::string &cp932Path)
{
    picture_.LoadFromFile(cp932Path);
    fileName_ = cp932Path;
    scaled_ = QImage();
    update();
}

QRect PreviewImage::PictureRect() const
{
    const TGraphic *graphic = picture_.Graphic();
    if (graphic == nullptr || graphic->Empty())
        return {};
    QSize fitted = QSize(graphic->Width(), graphic->Height()).scaled(size(), Qt::KeepAspectRatio);
    // A very long and thin picture still shows as a line.
    fitted = fitted.expandedTo(QSize(1, 1));
    QRect placed(QPoint(0, 0), fitted);
    placed.moveCenter(rect().center());
    return placed;
}

void PreviewImage::paintEvent(QPaintEvent *)
{
    const QRect target = PictureRect();
    if (target.isEmpty())
        return;
    // Resampled once per size, in device pixels so that a scaled screen shows it sharp.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(target.size()) * ratio).toSize().expandedTo(QSize(1, 1));
    if (scaled_.size() != pixels) {
        try {
            scaled_ = picture_.Graphic()->StretchedImage(pixels);
        } catch (const Exception &) {
            scaled_ = QImage();
            return;
        }
    }
    QPainter painter(this);
    painter.drawImage(target, scaled_);
}
