#include "picture/Graphics.h"
#include "picture/Metafile.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "render/StreamRender.h"

#include "TempHome.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>

#include <cstdlib>

namespace {

std::string Fixture(const std::string &name)
{
    return TestDataPath("picture/" + name);
}

// Qt SVG renders through the GUI module; one application object serves every test of the process.
void EnsureGuiApp()
{
    static int argc = 1;
    static char name[] = "test_picture";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
    (void)app;
}

int Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

} // namespace

TEST(JPEGImage, UpperCaseExtensionLoadsWithTheJpegReaderAndDecodesColours)
{
    TempHome home;
    WriteFileBytes(home.File("photo.JPG"), ReadFileBytes(Fixture("grad.jpg")));
    TPicture picture;
    LoadPicture(picture, home.File("photo.JPG"));
    ASSERT_EQ(&picture.Graphic()->ClassType(), &TJPEGImage::ClassInfo());
    EXPECT_EQ(picture.Width(), 64);
    EXPECT_EQ(picture.Height(), 48);
    const QImage full = picture.Graphic()->StretchedImage(QSize(64, 48));
    EXPECT_EQ(full.format(), QImage::Format_RGB32);
    EXPECT_LE(Near(full.pixel(40, 20), qRgb(160, 100, 100)), 12);
}

TEST(JPEGImage, ProgressiveGreyAndCmykFilesDecode)
{
    for (const char *name : {"grad_progressive.jpg", "grad_gray.jpg", "grad_cmyk.jpg"}) {
        SCOPED_TRACE(name);
        TPicture picture;
        LoadPicture(picture, Fixture(name));
        const QImage image = picture.Graphic()->StretchedImage(QSize(64, 48));
        ASSERT_EQ(image.size(), QSize(64, 48));
        const QRgb expected = std::string(name) == "grad_gray.jpg" ? qRgb(117, 117, 117) : qRgb(160, 100, 100);
        EXPECT_LE(Near(image.pixel(40, 20), expected), 24);
    }
}

TEST(JPEGImage, ScaleIsTheSmallestEighthThatCoversTheTarget)
{
    EXPECT_EQ(TJPEGImage::ChooseScale(6000, 4000, QSize(1920, 1280)), 3); // 2250 x 1500
    EXPECT_EQ(TJPEGImage::ChooseScale(6000, 4000, QSize(3840, 2560)), 6);
    EXPECT_EQ(TJPEGImage::ChooseScale(6000, 4000, QSize(750, 500)), 1);
    EXPECT_EQ(TJPEGImage::ChooseScale(6000, 4000, QSize(751, 500)), 2);
    EXPECT_EQ(TJPEGImage::ChooseScale(800, 600, QSize(1920, 1440)), 8);
    // Rounded up as libjpeg does: 9 x 1/8 is 2 pixels.
    EXPECT_EQ(TJPEGImage::ChooseScale(9, 9, QSize(2, 2)), 1);

    TPicture picture;
    LoadPicture(picture, Fixture("grad.jpg"));
    auto &jpeg = dynamic_cast<TJPEGImage &>(*picture.Graphic());
    EXPECT_EQ(jpeg.Decode(3).size(), QSize(24, 18));
    EXPECT_EQ(jpeg.StretchedImage(QSize(10, 5)).size(), QSize(10, 5));
}

TEST(JPEGImage, BrokenFilesFailCleanlyOrDecodeWhatIsThere)
{
    TPicture picture;
    try {
        LoadPicture(picture, Fixture("garbage.jpg"));
        FAIL();
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ("画像 " + Fixture("garbage.jpg") +
                      " を読み込めません: JPEG ファイルではありません（中身が別の形式です）",
                  e.Message());
    }
    EXPECT_EQ(picture.Graphic(), nullptr);
    // A cut-off file keeps its header; libjpeg fills the missing part.
    LoadPicture(picture, Fixture("truncated.jpg"));
    EXPECT_EQ(picture.Graphic()->StretchedImage(QSize(64, 48)).size(), QSize(64, 48));
}

// libjpeg's own texts are English and name no file: every reader says which file and why, in Japanese.
TEST(JPEGImage, ErrorsNameTheFileAndTheReasonInJapanese)
{
    EnsureGuiApp();
    TempHome home;
    const std::string good = ReadFileBytes(Fixture("grad.jpg"));
    const size_t sof = good.find("\xFF\xC0");
    const size_t dht = good.find("\xFF\xC4");
    ASSERT_NE(sof, std::string::npos);
    ASSERT_NE(dht, std::string::npos);
    std::string lossless = good;
    lossless[sof + 1] = '\xC3'; // a lossless frame, which libjpeg does not decode
    std::string wide = good;
    wide[sof + 7] = wide[sof + 8] = '\xFF'; // 65535 pixels wide
    std::string badTable = good;
    badTable[dht + 4] = '\x7F'; // a Huffman table of class 7
    const struct {
        const char *file;
        std::string bytes;
        const char *reason;
    } cases[] = {
        {"テキスト.jpg", "こんにちは\n", "JPEG ファイルではありません（中身が別の形式です）"},
        {"empty.jpg", "", "ファイルが空です"},
        {"header.jpg", good.substr(0, 20), "ファイルが途中で切れています"},
        {"lossless.jpg", lossless, "対応していない種類の JPEG です（ロスレス、12 ビットなど）"},
        {"wide.jpg", wide, "画像が大きすぎます（JPEG は幅・高さとも 65500 ピクセルまで）"},
        {"table.jpg", badTable, "JPEG のデータが壊れています"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = home.File(c.file);
        WriteFileBytes(path, c.bytes);
        const std::string expected = "画像 " + path + " を読み込めません: " + c.reason;
        TPicture picture;
        try {
            LoadPicture(picture, Utf8ToCp932(path));
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic &e) {
            EXPECT_EQ(expected, e.Message());
        }
        // The wallpaper's own path, which reads the file in pieces.
        try {
            StreamWallPaper(Utf8ToCp932(path), StreamFormat::Jpeg, 0, 64, 48, home.File("out.bmp"));
            ADD_FAILURE() << "streamed";
        } catch (const EInvalidGraphic &e) {
            EXPECT_EQ(expected, e.Message());
        }
    }
    // Read from a stream there is no file to name.
    QByteArray text("not a jpeg");
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    TJPEGImage jpeg;
    try {
        jpeg.LoadFromStream(buffer);
        ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ("JPEG 画像を読み込めません: JPEG ファイルではありません（中身が別の形式です）", e.Message());
    }
}

TEST(JPEGImage, HugeDecodeFailsBeforeAllocating)
{
    // A valid header that claims 60000 x 60000 pixels; decoding it at full size would need 13 GiB.
    std::string bytes = ReadFileBytes(Fixture("grad.jpg"));
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    bytes[sof + 5] = char(60000 >> 8);
    bytes[sof + 6] = char(60000 & 0xFF);
    bytes[sof + 7] = char(60000 >> 8);
    bytes[sof + 8] = char(60000 & 0xFF);
    QByteArray data(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    TJPEGImage jpeg;
    jpeg.LoadFromStream(buffer);
    EXPECT_EQ(jpeg.Width(), 60000);
    EXPECT_THROW(jpeg.Decode(8), EOutOfMemory);
    // At 1/8 the same picture is small enough.
    EXPECT_EQ(jpeg.Decode(1).size(), QSize(7500, 7500));
}

TEST(Icon, SizeIsTheLargestImage)
{
    TPicture picture;
    LoadPicture(picture, Fixture("two_sizes.ico"));
    EXPECT_EQ(picture.Width(), 48);
    EXPECT_EQ(picture.Height(), 32);
    EXPECT_EQ(picture.Graphic()->StretchedImage(QSize(96, 64)).pixel(50, 30), qRgb(0, 255, 0));

    TempHome home;
    WriteFileBytes(home.File("bad.ico"), ReadFileBytes(Fixture("grad.jpg")));
    EXPECT_THROW(LoadPicture(picture, home.File("bad.ico")), EInvalidGraphic);
    EXPECT_EQ(picture.Width(), 48);
}

TEST(Metafile, EnhancedAndOldStyleMetafilesRenderAtTheirHeaderSize)
{
    EnsureGuiApp();
    for (const char *name : {"rect.emf", "rect.wmf"}) {
        SCOPED_TRACE(name);
        TPicture picture;
        LoadPicture(picture, Fixture(name));
        EXPECT_EQ(picture.Width(), 100);
        EXPECT_EQ(picture.Height(), 50);
        const QImage image = picture.Graphic()->StretchedImage(QSize(200, 100));
        ASSERT_EQ(image.size(), QSize(200, 100));
        EXPECT_LE(Near(image.pixel(100, 50), qRgb(255, 0, 0)), 30);
        EXPECT_EQ(image.pixel(2, 2), qRgb(255, 255, 255));
    }
}

TEST(Metafile, GarbageIsRejected)
{
    TempHome home;
    WriteFileBytes(home.File("bad.emf"), std::string(200, '\x01'));
    WriteFileBytes(home.File("bad.wmf"), "");
    TPicture picture;
    EXPECT_THROW(LoadPicture(picture, home.File("bad.emf")), EInvalidGraphic);
    EXPECT_THROW(LoadPicture(picture, home.File("bad.wmf")), EInvalidGraphic);
}

namespace {

std::string LoadError(const std::string &path)
{
    TPicture picture;
    try {
        LoadPicture(picture, path);
    } catch (const EInvalidGraphic &e) {
        return e.Message();
    }
    return "(loaded)";
}

// Points the fonts check at a folder for the length of a test.
class WmfFontDir {
public:
    explicit WmfFontDir(const std::string &dir) : saved_(TMetafile::SetWmfFontDirForTest(dir)) {}
    ~WmfFontDir() { TMetafile::SetWmfFontDirForTest(saved_); }

private:
    std::string saved_;
};

} // namespace

TEST(Metafile, AFailureWithoutLibwmfsFontsNamesTheirPackage)
{
    EnsureGuiApp();
    TempHome home;
    // A placeable header and the first records only: libwmf itself gives up on it.
    WriteFileBytes(home.File("cut.wmf"), ReadFileBytes(Fixture("rect.wmf")).substr(0, 70));
    WriteFileBytes(home.File("empty.wmf"), "");
    const std::string generic = "メタファイル イメージは有効ではありません";
    EXPECT_EQ(LoadError(home.File("cut.wmf")), generic);
    {
        WmfFontDir noFonts(home.File("no-fonts"));
        const std::string message = LoadError(home.File("cut.wmf"));
        EXPECT_NE(message.find("fonts-urw-base35"), std::string::npos) << message;
        EXPECT_NE(message.find("インストールしてください"), std::string::npos) << message;
        // Not a metafile at all: no font would help.
        EXPECT_EQ(LoadError(home.File("empty.wmf")), generic);
        // Fonts that libwmf finds by itself are never refused on the check's word alone.
        EXPECT_EQ(LoadError(Fixture("rect.wmf")), "(loaded)");
    }
}

TEST(Graphic, DrawStretchesIntoTheRectangleOnly)
{
    TPicture picture;
    LoadPicture(picture, Fixture("two_sizes.ico"));
    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    picture.Graphic()->Draw(painter, QRect(2, 2, 4, 4));
    painter.end();
    EXPECT_EQ(canvas.pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(6, 6), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 255, 255));
}
