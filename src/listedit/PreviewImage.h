#pragma once

#include "picture/Picture.h"

#include <QWidget>

// The editor's preview: the loaded picture stretched to fill the whole widget (the aspect ratio is
// not kept). Loading goes through the picture loader, so every registered format previews.
class PreviewImage : public QWidget {
public:
    explicit PreviewImage(QWidget *parent = nullptr);

    // Raises the loader's error and keeps the previous picture when the file cannot be loaded.
    void LoadFromFile(const std::string &cp932Path);
    const TPicture &Picture() const { return picture_; }
    // The CP932 path of the picture shown; empty before the first preview.
    const std::string &FileName() const { return fileName_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TPicture picture_;
    std::string fileName_;
    QImage stretched_; // the picture resampled to the widget's size, made when first painted
};
