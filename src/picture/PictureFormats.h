#pragma once

#include "picture/GraphicClass.h"

#include <cstdint>
#include <string>
#include <vector>

class TPicture;

// One registered format. Extension (lower case, no dot) and description are CP932 text.
struct TFileFormat {
    std::string Extension;
    std::string Description;
    const TGraphicClass *GraphicClass;
    uint32_t DescResID; // a string resource used when Description is empty; 0 = none
};

// The process-wide registry of picture formats, created on first use with the built-in formats
// (wmf, emf, ico, bmp, then jpeg and jpg). Lookups run from the last entry, so the latest wins.
class TFileFormatsList {
public:
    static TFileFormatsList &Instance();

    void Add(const std::string &extension, const std::string &description, uint32_t descResID,
             const TGraphicClass &graphicClass);
    // Removes every entry whose class is `graphicClass` or descends from it.
    void Remove(const TGraphicClass &graphicClass);
    // The class registered last for the extension (compared after lower-casing), or nullptr.
    const TGraphicClass *FindExt(const std::string &extension) const;
    // "すべてのファイル (*.a;*.b)|*.a;*.b|A (*.a)|*.a|B (*.b)|*.b" over classes descending from `base`.
    std::string BuildFilterStrings(const TGraphicClass &base);

    const std::vector<TFileFormat> &Entries() const { return entries_; }

private:
    TFileFormatsList();
    std::vector<TFileFormat> entries_;
};

void RegisterPictureFormat(const std::string &extension, const std::string &description,
                           const TGraphicClass &graphicClass);
void WithdrawPictureClass(const TGraphicClass &graphicClass);
const TGraphicClass *FindPictureClass(const std::string &extension);
// Loads `cp932Path` into `holder` with the class registered for its extension. Raises EInvalidGraphic
// "拡張子 .%s の画像形式は処理できません" when no class handles it; a reader's error passes unchanged
// and the holder keeps its previous picture.
void LoadPicture(TPicture &holder, const std::string &cp932Path);
// The file-dialog filter text (CP932) of every registered format descending from `base`.
std::string PictureFilterText(const TGraphicClass &base);
