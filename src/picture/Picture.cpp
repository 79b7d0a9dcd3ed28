#include "picture/Picture.h"

#include "picture/PictureFormats.h"

void TPicture::LoadFromFile(const std::string &cp932Path)
{
    LoadPicture(*this, cp932Path);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (OnChange)
        OnChange(*this);
}
