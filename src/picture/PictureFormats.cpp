#include "picture/PictureFormats.h"

#include "picture/Bitmap.h"
#include "picture/Icon.h"
#include "picture/JPEGImage.h"
#include "picture/Metafile.h"
#include "picture/Picture.h"
#include "platform/AsciiText.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"

TFileFormatsList::TFileFormatsList()
{
    Add("wmf", Utf8ToCp932("メタファイル"), 0, TMetafile::ClassInfo());
    Add("emf", Utf8ToCp932("エンハンス メタファイル"), 0, TMetafile::ClassInfo());
    Add("ico", Utf8ToCp932("アイコン"), 0, TIcon::ClassInfo());
    Add("bmp", Utf8ToCp932("ビットマップ"), 0, TBitmap::ClassInfo());
    // The JPEG reader's own start-up registration.
    Add("jpeg", Utf8ToCp932("JPEG イメージファイル"), 0, TJPEGImage::ClassInfo());
    Add("jpg", Utf8ToCp932("JPEG イメージファイル"), 0, TJPEGImage::ClassInfo());
}

TFileFormatsList &TFileFormatsList::Instance()
{
    static TFileFormatsList list;
    return list;
}

void TFileFormatsList::Add(const std::string &extension, const std::string &description, uint32_t descResID,
                           const TGraphicClass &graphicClass)
{
    entries_.push_back({LowerAsciiText(extension), description, &graphicClass, descResID});
}

void TFileFormatsList::Remove(const TGraphicClass &graphicClass)
{
    for (size_t i = entries_.size(); i-- > 0;)
        if (entries_[i].GraphicClass->InheritsFrom(graphicClass))
            entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(i));
}

const TGraphicClass *TFileFormatsList::FindExt(const std::string &extension) const
{
    const std::string ext = LowerAsciiText(extension);
    for (size_t i = entries_.size(); i-- > 0;)
        if (entries_[i].Extension == ext)
            return entries_[i].GraphicClass;
    return nullptr;
}

namespace {
// No string resources exist on this platform; an entry registered by resource alone keeps an empty
// description.
std::string LoadResString(uint32_t)
{
    return {};
}
} // namespace

std::string TFileFormatsList::BuildFilterStrings(const TGraphicClass &base)
{
    std::string filters;
    std::string patterns;
    int count = 0;
    for (size_t i = entries_.size(); i-- > 0;) {
        TFileFormat &entry = entries_[i];
        if (!entry.GraphicClass->InheritsFrom(base) || entry.Extension.empty())
            continue;
        if (count > 0) {
            filters += '|';
            patterns += ';';
        }
        if (entry.Description.empty() && entry.DescResID != 0)
            entry.Description = LoadResString(entry.DescResID);
        filters += entry.Description + " (*." + entry.Extension + ")|*." + entry.Extension;
        patterns += "*." + entry.Extension;
        ++count;
    }
    if (count > 1)
        return Utf8ToCp932("すべてのファイル") + " (" + patterns + ")|" + patterns + "|" + filters;
    return filters;
}

void RegisterPictureFormat(const std::string &extension, const std::string &description,
                           const TGraphicClass &graphicClass)
{
    TFileFormatsList::Instance().Add(extension, description, 0, graphicClass);
}

void WithdrawPictureClass(const TGraphicClass &graphicClass)
{
    TFileFormatsList::Instance().Remove(graphicClass);
}

const TGraphicClass *FindPictureClass(const std::string &extension)
{
    return TFileFormatsList::Instance().FindExt(extension);
}

void LoadPicture(TPicture &holder, const std::string &cp932Path)
{
    std::string ext = ExtractFileExt(cp932Path);
    if (!ext.empty())
        ext.erase(0, 1);
    const TGraphicClass *graphicClass = FindPictureClass(ext);
    if (graphicClass == nullptr || graphicClass->Create == nullptr)
        throw EInvalidGraphic(FormatMessage("拡張子 .%s の画像形式は処理できません", {Cp932ToUtf8Lossy(ext)}));
    std::unique_ptr<TGraphic> graphic = graphicClass->Create();
    graphic->OnProgress = holder.OnProgress;
    graphic->LoadFromFile(cp932Path);
    holder.SetGraphic(std::move(graphic));
}

std::string PictureFilterText(const TGraphicClass &base)
{
    return TFileFormatsList::Instance().BuildFilterStrings(base);
}
