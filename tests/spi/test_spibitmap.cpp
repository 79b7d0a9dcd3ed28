#include "PluginHostTest.h"

#include "MemoryRegistry.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
#include "platform/Exceptions.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class SPIBitmapTest : public PluginHostTest {
protected:
    void SetUp() override
    {
        InstallPlugin(TestPluginDir() + "toy.spi", folder, "a_toy.spi");
        InstallPlugin(TestPluginDir() + "toy2.spi", folder, "b_toy2.spi");
        SearchPlugins(2);
    }
    static uint32_t Pixel(const TBitmap &bitmap, int x, int y) { return bitmap.Image().pixel(x, y) & 0xffffff; }
    // The toy's pixels, row by row, for a picture of true colours.
    static void ExpectToyTrueColours(const TBitmap &bitmap, int width, int height)
    {
        ASSERT_EQ(width, bitmap.Width());
        ASSERT_EQ(height, bitmap.Height());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(ToyTrueColour(x, y), Pixel(bitmap, x, y)) << x << "," << y;
    }
    static void ExpectToyPalette(const TBitmap &bitmap, int width, int height, int entries)
    {
        ASSERT_EQ(width, bitmap.Width());
        ASSERT_EQ(height, bitmap.Height());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(ToyPaletteColour((x + y) % entries), Pixel(bitmap, x, y)) << x << "," << y;
    }
    static void ExpectUnrecognised(TSPIBitmap &bitmap, const std::string &path)
    {
        try {
            bitmap.LoadFromFile(path);
            FAIL() << "loaded";
        } catch (const EInvalidGraphic &e) {
            EXPECT_EQ("認識できない画像形式です", e.Message());
        }
    }

    ToyLog log{home};
};

TEST_F(SPIBitmapTest, TrueColourResultsOfEveryRowPadding)
{
    for (int width = 1; width <= 4; ++width) {
        for (uint16_t options : {uint16_t(0), uint16_t(ToyTopDown)}) {
            SCOPED_TRACE(testing::Message() << "width " << width << " options " << options);
            TSPIBitmap bitmap;
            bitmap.LoadFromFile(Write("p.toy", ToyFile(width, 3, 24, options)));
            ExpectToyTrueColours(bitmap, width, 3);
        }
    }
    TSPIBitmap bitmap32;
    bitmap32.LoadFromFile(Write("p.toy", ToyFile(3, 2, 32)));
    ExpectToyTrueColours(bitmap32, 3, 2);
}

TEST_F(SPIBitmapTest, ResultsReadInPlaceAreWhatTheBitmapReaderMakesOfTheirFile)
{
    // The result is read from the plug-in's blocks as they are, never assembled into a file.
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        for (int width = 1; width <= 4; ++width) {
            for (int32_t height : {3, -3}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << width << "x" << height);
                SPI_BITMAPINFOHEADER h{};
                h.size = 40;
                h.width = width;
                h.height = height;
                h.planes = 1;
                h.bitCount = bits;
                const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
                std::string pixels(stride * 3, '\0');
                for (size_t i = 0; i < pixels.size(); ++i)
                    pixels[i] = char(i * 37 + 11);
                TSPIBitmap direct;
                bool done = false;
                direct.SetDIB(&h, sizeof h, pixels.data(), pixels.size(), done, TPictureInfoRec());
                ASSERT_TRUE(done);

                std::string file = "BM" + std::string(12, '\0');
                const uint32_t offset = 54, fileSize = uint32_t(offset + pixels.size());
                std::memcpy(&file[2], &fileSize, 4);
                std::memcpy(&file[10], &offset, 4);
                file.append(reinterpret_cast<const char *>(&h), sizeof h);
                file += pixels;
                QByteArray bytes = QByteArray::fromStdString(file);
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::ReadOnly);
                TBitmap read;
                read.ReadBitmapStream(buffer);
                EXPECT_EQ(read.Image(), direct.Image());
            }
        }
    }
}

TEST_F(SPIBitmapTest, BitFieldMasksAfterTheHeaderAreHonoured)
{
    // Red in the lowest byte: read as plain 32-bit data, red and blue would swap.
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(Write("p.toy", ToyFile(3, 2, 32, ToyBitFields)));
    ExpectToyTrueColours(bitmap, 3, 2);
}

TEST_F(SPIBitmapTest, IndexedResultsWithAndWithoutColourCounts)
{
    struct Case {
        uint16_t bits;
        uint32_t colours;
        int entries;
    };
    for (const Case &c : {Case{8, 0, 256}, Case{8, 5, 5}, Case{4, 0, 16}, Case{4, 3, 3}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.colours << " colours");
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(Write("p.toy", ToyFile(5, 3, c.bits, 0, c.colours)));
        ExpectToyPalette(bitmap, 5, 3, c.entries);
        if (c.bits == 4) {
            EXPECT_EQ(c.entries, bitmap.Palette().size());
        }
    }
    // The colour table follows the header's own size, not a fixed 40 bytes.
    TSPIBitmap big;
    big.LoadFromFile(Write("p.toy", ToyFile(5, 3, 8, ToyBigHeader | ToyTopDown, 7)));
    ExpectToyPalette(big, 5, 3, 7);
}

TEST_F(SPIBitmapTest, LyingResultsFailTheAttemptAndTheNextPluginIsAsked)
{
    for (uint16_t lie : {ToyShortBits, ToyShortHeader, ToyHuge, ToyBadHandle, ToyNoTable}) {
        SCOPED_TRACE(lie);
        log.Clear();
        TSPIBitmap bitmap;
        ExpectUnrecognised(bitmap, Write("p.toy", ToyFile(8, 8, 8, lie)));
        EXPECT_EQ(2u, log.Calls("GetPicture").size()) << "both plug-ins were asked";
        EXPECT_EQ(0, bitmap.Width());
    }
}

TEST_F(SPIBitmapTest, ShortDataIsHandedOverInAZeroFilledBlock)
{
    std::string data = ToyFile(2, 2, 24);
    const size_t nonzero = std::count_if(data.begin(), data.end(), [](char c) { return c != 0; });
    data.resize(100, 'x');
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(Write("short.toy", data));
    const auto supported = log.Calls("IsSupported");
    ASSERT_FALSE(supported.empty());
    EXPECT_NE(std::string::npos, supported[0].find("nonzero=" + std::to_string(nonzero + 80)));
    const auto info = log.Calls("GetPictureInfo");
    ASSERT_FALSE(info.empty());
    EXPECT_NE(std::string::npos, info[0].find("flag=1 len=100"));
}

TEST_F(SPIBitmapTest, RetryAtByte128OnlyForLongerData)
{
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(Write("late.toy", std::string(128, 'J') + ToyFile(2, 2, 24)));
    ExpectToyTrueColours(bitmap, 2, 2);
    EXPECT_EQ(2u, log.Calls("IsSupported").size());

    for (size_t size : {128u, 129u}) {
        log.Clear();
        TSPIBitmap other;
        ExpectUnrecognised(other, Write("junk.none", std::string(size, 'J')));
        const auto calls = log.Calls("IsSupported");
        const size_t perPlugin = size > 128 ? 2 : 1;
        ASSERT_EQ(2 * perPlugin, calls.size());
        EXPECT_EQ(0u, calls[0].find("toy "));
        EXPECT_EQ(0u, calls[perPlugin - 1].find("toy "));
        EXPECT_EQ(0u, calls[perPlugin].find("toy2 "));
    }

    log.Clear();
    TSPIBitmap noRetry;
    noRetry.RetryAt128 = false;
    ExpectUnrecognised(noRetry, Write("late.none", std::string(128, 'J') + ToyFile(2, 2, 24)));
    EXPECT_EQ(2u, log.Calls("IsSupported").size());
}

TEST_F(SPIBitmapTest, DeclaringPluginIsAskedFirstAndSPIRestrictsToOne)
{
    // Both declare "toy": the second comes first.
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(Write("p.TOY", ToyFile(1, 1, 24)));
    auto calls = log.Calls("IsSupported");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(0u, calls[0].find("toy2 IsSupported name=" + home.File("p.TOY")));

    log.Clear();
    TSPIBitmap only;
    only.SPI = dynamic_cast<TInSPI *>(&spis->Items(0));
    ExpectUnrecognised(only, Write("junk.toy", std::string(300, 'J')));
    calls = log.Calls("IsSupported");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(0u, calls[1].find("toy IsSupported"));

    TSPIBitmap copy;
    only.RetryAt128 = false;
    copy.Assign(only);
    EXPECT_EQ(only.SPI, copy.SPI);
    EXPECT_FALSE(copy.RetryAt128);
}

TEST_F(SPIBitmapTest, BitmapExtensionReadsTheBitmapFirst)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    const std::string bmp = home.File("real.BMP");
    ASSERT_TRUE(image.save(QString::fromStdString(bmp), "BMP"));
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(bmp);
    EXPECT_EQ(3, bitmap.Width());
    EXPECT_EQ(0x0a141eu, Pixel(bitmap, 0, 0));
    EXPECT_TRUE(log.Lines().empty()) << "no plug-in asked";

    // An ordinary bitmap under a plug-in's extension: the plug-ins refuse, the bitmap reader reads it.
    fs::copy_file(bmp, home.File("disguised.toy"));
    TSPIBitmap disguised;
    disguised.LoadFromFile(home.File("disguised.toy"));
    EXPECT_EQ(3, disguised.Width());
    EXPECT_EQ(2u, log.Calls("IsSupported").size()) << "78 bytes: no retry at byte 128";

    // A toy picture named .bmp: the bitmap reader fails, a plug-in reads it.
    TSPIBitmap toy;
    toy.LoadFromFile(Write("toy.bmp", ToyFile(2, 2, 24)));
    ExpectToyTrueColours(toy, 2, 2);
}

TEST_F(SPIBitmapTest, ProgressRunsFromStartToEnd)
{
    TSPIBitmap bitmap;
    std::vector<std::string> seen;
    bitmap.OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t percent, bool redraw, const QRect &r,
                            const std::string &) {
        seen.push_back(std::to_string(int(stage)) + ":" + std::to_string(percent) + ":" + (redraw ? "r" : "-") + ":" +
                       std::to_string(r.width()) + "x" + std::to_string(r.height()));
    };
    bitmap.LoadFromFile(Write("p.toy", ToyFile(3, 2, 24)));
    EXPECT_EQ((std::vector<std::string>{"0:0:-:0x0", "1:1:-:0x0", "1:50:-:0x0", "1:99:-:0x0", "2:100:r:3x2"}), seen);
}

TEST_F(SPIBitmapTest, AbortStopsThePluginAndTheNextAttemptFollows)
{
    TSPIBitmap bitmap;
    int running = 0;
    bitmap.OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
        if (stage == TProgressStage::Running && ++running)
            throw EAbort();
    };
    ExpectUnrecognised(bitmap, Write("p.toy", ToyFile(4, 4, 24)));
    EXPECT_EQ(2, running) << "one running message per plug-in, then it stopped";
    EXPECT_EQ(2u, log.Calls("GetPicture").size());
}

TEST_F(SPIBitmapTest, OtherProgressErrorsEndTheLoadAfterThePluginReturned)
{
    TSPIBitmap bitmap;
    bool ended = false;
    bitmap.OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
        if (stage == TProgressStage::Ending)
            ended = true;
        else if (stage == TProgressStage::Running)
            throw EInOutError("disk gone");
    };
    EXPECT_THROW(bitmap.LoadFromFile(Write("p.toy", ToyFile(4, 4, 24))), EInOutError);
    EXPECT_TRUE(ended);
    EXPECT_EQ(1u, log.Calls("GetPicture").size());
}

TEST_F(SPIBitmapTest, CallbackIgnoresUnknownUserValues)
{
    EXPECT_EQ(0, SPIProgressCallback(1, 2, 0));
    TSPIBitmap bitmap;
    EXPECT_EQ(0, SPIProgressCallback(1, 2, reinterpret_cast<intptr_t>(&bitmap.InSPIAble())));
}

TEST_F(SPIBitmapTest, PictureInformationIsCopiedIntoTheRecord)
{
    TSPIBitmap bitmap;
    TPictureInfoRec seen;
    bitmap.InSPIAble().OnSetDIB = [&](const void *, size_t, const void *, size_t, bool &done,
                                      const TPictureInfoRec &info) {
        seen = info;
        done = true;
    };
    bitmap.LoadFromFile(Write("p.toy", ToyFile(6, 5, 24, ToyInfoText)));
    EXPECT_TRUE(seen.Valid);
    EXPECT_EQ(1, seen.Left);
    EXPECT_EQ(2, seen.Top);
    EXPECT_EQ(6, seen.Width);
    EXPECT_EQ(5, seen.Height);
    EXPECT_EQ(72, seen.XDensity);
    EXPECT_EQ(96, seen.YDensity);
    EXPECT_EQ(24, seen.ColorDepth);
    EXPECT_EQ("toy info", seen.Info) << "text without a zero stops at the block's end";

    TSPIBitmap failing;
    failing.LoadFromFile(Write("p.toy", ToyFile(6, 5, 24, ToyFailInfo)));
    EXPECT_EQ(6, failing.Width()) << "a failed GetPictureInfo is ignored";
}

TEST_F(SPIBitmapTest, StreamsAndTheLoader)
{
    // An unnamed stream that is not in memory: the bitmap reader first, then the plug-ins.
    const std::string path = Write("p.toy", ToyFile(2, 3, 24));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(5);
    TSPIBitmap bitmap;
    bitmap.LoadFromStream(file);
    ExpectToyTrueColours(bitmap, 2, 3);
    const auto calls = log.Calls("IsSupported");
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::string::npos, calls[0].find("name= "));

    QByteArray bytes = QByteArray::fromStdString(ToyFile(3, 1, 24));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TSPIBitmap named;
    named.LoadFromStreamWithName(buffer, "x.toy");
    ExpectToyTrueColours(named, 3, 1);
    EXPECT_TRUE(named.InSPIAble().Ext.empty());
    EXPECT_TRUE(named.InSPIAble().FileName.empty());

    TPicture holder;
    LoadPicture(holder, path);
    ASSERT_NE(nullptr, dynamic_cast<TSPIBitmap *>(holder.Graphic()));
    EXPECT_EQ(2, holder.Width());
}

TEST_F(SPIBitmapTest, WithoutAHostOnlyTheBitmapReaderIsLeft)
{
    spis.reset();
    TSPIBitmap bitmap;
    ExpectUnrecognised(bitmap, Write("p.toy", ToyFile(2, 2, 24)));
    EXPECT_TRUE(log.Lines().empty());
}

} // namespace
