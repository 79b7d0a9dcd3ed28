#include "picture/Graphics.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

// A picture class of the tests' own, registered and withdrawn by the tests.
class TToyGraphic : public TBitmap {
public:
    static const TGraphicClass &ClassInfo()
    {
        static const TGraphicClass info{"TToyGraphic", &TBitmap::ClassInfo(),
                                        [] { return std::unique_ptr<TGraphic>(new TToyGraphic); }};
        return info;
    }
    const TGraphicClass &ClassType() const override { return ClassInfo(); }
};

std::string U(const std::string &cp932)
{
    return Cp932ToUtf8(cp932);
}

std::string WriteBmp(const TempHome &home, const std::string &name, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    std::string path = home.File(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
}

} // namespace

TEST(PictureFormats, InitialFilterTextIsExact)
{
    EXPECT_EQ(U(PictureFilterText(TGraphic::ClassInfo())),
              "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
              "JPEG イメージファイル (*.jpg)|*.jpg|JPEG イメージファイル (*.jpeg)|*.jpeg|"
              "ビットマップ (*.bmp)|*.bmp|アイコン (*.ico)|*.ico|"
              "エンハンス メタファイル (*.emf)|*.emf|メタファイル (*.wmf)|*.wmf");
}

TEST(PictureFormats, FilterOfOneFormatIsThatFilterAloneAndOfNoneIsEmpty)
{
    EXPECT_EQ(U(PictureFilterText(TIcon::ClassInfo())), "アイコン (*.ico)|*.ico");
    EXPECT_EQ(PictureFilterText(TToyGraphic::ClassInfo()), "");
}

TEST(PictureFormats, LookupIsCaseInsensitiveAndLatestRegistrationWins)
{
    EXPECT_EQ(FindPictureClass("JPG"), &TJPEGImage::ClassInfo());
    EXPECT_EQ(FindPictureClass("bmp"), &TBitmap::ClassInfo());
    EXPECT_EQ(FindPictureClass("png"), nullptr);

    RegisterPictureFormat("BMP", "toy", TToyGraphic::ClassInfo());
    RegisterPictureFormat("toy", "toy", TToyGraphic::ClassInfo());
    EXPECT_EQ(FindPictureClass("bmp"), &TToyGraphic::ClassInfo());
    EXPECT_EQ(TFileFormatsList::Instance().Entries().back().Extension, "toy");
    EXPECT_TRUE(U(PictureFilterText(TGraphic::ClassInfo())).starts_with("すべてのファイル (*.toy;*.bmp;*.jpg;"));

    // Withdrawing a class removes its descendants' entries as well, and only those.
    WithdrawPictureClass(TToyGraphic::ClassInfo());
    EXPECT_EQ(FindPictureClass("bmp"), &TBitmap::ClassInfo());
    EXPECT_EQ(FindPictureClass("toy"), nullptr);
    EXPECT_EQ(TFileFormatsList::Instance().Entries().size(), 6u);
}

TEST(PictureFormats, UnknownOrMissingExtensionFailsNamingIt)
{
    TPicture picture;
    try {
        LoadPicture(picture, "/tmp/photo.PnG");
        FAIL();
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ(e.Message(), "拡張子 .PnG の画像形式は処理できません");
    }
    try {
        LoadPicture(picture, "/tmp/a.dir/noextension");
        FAIL();
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ(e.Message(), "拡張子 . の画像形式は処理できません");
    }
}

TEST(PictureFormats, FailedLoadKeepsThePreviousPicture)
{
    TempHome home;
    const std::string good = WriteBmp(home, "good.BMP", 3, 2);
    WriteFileBytes(home.File("bad.bmp"), "BM this is no bitmap");
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture &) { ++changes; };
    LoadPicture(picture, good);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 2);
    EXPECT_EQ(changes, 1);

    EXPECT_THROW(LoadPicture(picture, home.File("bad.bmp")), EInvalidGraphic);
    try {
        LoadPicture(picture, home.File("missing.jpg"));
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.Message(), "ファイル " + home.File("missing.jpg") + " は開けません");
    }
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Graphic()->ClassType().Name, std::string("TBitmap"));
    EXPECT_EQ(changes, 1);
}
