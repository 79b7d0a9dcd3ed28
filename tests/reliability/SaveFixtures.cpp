#include "SaveFixtures.h"

#include "ini/IniStore.h"
#include "picture/Bitmap.h"

void WriteIniKeys(const std::string &path, int keys, const std::string &value)
{
    TIniStoreEx ini(path);
    for (int i = 0; i < keys; ++i)
        ini.WriteString("Main", "Key" + std::to_string(i), value + std::to_string(i));
    ini.Flush();
}

WallPaperList MakeList(int entries, const std::string &tag)
{
    WallPaperList list;
    for (int i = 0; i < entries; ++i)
        list.push_back({"/pictures/" + tag + "/photo" + std::to_string(i) + ".jpg", std::string(kPositionTile),
                        i % 2 ? std::string(kCorrectionAuto) : "150%"});
    return list;
}

void FillBitmap(TBitmap &bitmap, int width, int height, unsigned rgb)
{
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    bitmap.SetImage(image);
}
