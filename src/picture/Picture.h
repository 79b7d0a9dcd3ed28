#pragma once

#include "picture/Graphic.h"

#include <functional>
#include <memory>
#include <string>

// Holds at most one picture. A load replaces the held picture only when the new one loaded completely.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture &) = delete;
    TPicture &operator=(const TPicture &) = delete;

    // Loads through the format registry (LoadPicture). Errors leave the previous picture in place.
    void LoadFromFile(const std::string &cp932Path);

    TGraphic *Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    std::function<void(TPicture &)> OnChange;
    TProgressEvent OnProgress;

private:
    std::unique_ptr<TGraphic> graphic_;
};
