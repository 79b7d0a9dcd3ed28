#pragma once

#include "picture/Picture.h"

#include <QWidget>

// The editor's preview: the loaded picture as large as the widget allows with its proportions kept,
// centred. Loading goes through the picture loader, so every registered format previews.
class PreviewImage : public QWidget {
public:
    explicit PreviewImage(QWidget *parent = nullptr);

    // Raises the loader's error and keeps the previous picture when the file cannot be loaded.
    void LoadFromFile(const std::string &cp932Path);
    const TPicture &Picture() const { return picture_; }
    // The CP932 path of the picture shown; empty before the first preview.
    const std::string &FileName() const { return fileName_; }
    // Where the picture is drawn in the widget; empty without a picture.
    QRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TPicture picture_;
    std::string fileName_;
    QImage scaled_; // the picture resampled to its place, made when first painted
};
