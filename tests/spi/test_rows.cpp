// The row export (GetPictureRows) through the host: pictures decoded when drawn must come out exactly
// as the bitmap result of GetPicture does, and a plug-in whose rows break the rules must end in that
// usual load.
#include "PluginHostTest.h"

#include "MemoryRegistry.h"
#include "platform/Exceptions.h"
#include "render/AreaResampler.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <climits>

namespace {

class RowsTest : public PluginHostTest {
protected:
    void SetUp() override
    {
        InstallPlugin(TestPluginDir() + "rows.spi", folder, "a_rows.spi");
        SearchPlugins(1);
    }
    // The usual load: GetPicture's bitmap result.
    static std::unique_ptr<TSPIBitmap> Loaded(const std::string &path)
    {
        auto bitmap = std::make_unique<TSPIBitmap>();
        bitmap->StreamFromPixels = INT64_MAX;
        bitmap->LoadFromFile(path);
        EXPECT_FALSE(bitmap->DecodesWhenDrawn());
        return bitmap;
    }
    // A picture whose pixels wait for drawing, however small.
    static std::unique_ptr<TSPIBitmap> Waiting(const std::string &path)
    {
        auto bitmap = std::make_unique<TSPIBitmap>();
        bitmap->StreamFromPixels = 0;
        bitmap->LoadFromFile(path);
        EXPECT_TRUE(bitmap->DecodesWhenDrawn());
        EXPECT_TRUE(bitmap->Image().isNull());
        return bitmap;
    }
    // What the area resampler makes of a whole picture, row by row.
    static QImage Averaged(const QImage &picture, const QSize &size)
    {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
        QImage output(size, QImage::Format_BGR888);
        AreaResampler resampler(rgb.width(), rgb.height(), output);
        for (int y = 0; y < rgb.height(); ++y)
            resampler.AddRow(reinterpret_cast<const uint32_t *>(rgb.constScanLine(y)));
        return output;
    }

    ToyLog log{home};
};

TEST_F(RowsTest, RowsGiveExactlyTheBitmapResult)
{
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        for (int width = 1; width <= 4; ++width) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            const std::string path = Write("p.toy", ToyFile(width, 5, bits));
            const auto loaded = Loaded(path);
            log.Clear();
            const auto waiting = Waiting(path);
            EXPECT_EQ(width, waiting->Width());
            EXPECT_EQ(5, waiting->Height());
            EXPECT_EQ(loaded->Image(), waiting->StretchedImage(QSize(width, 5)));
            for (const QSize size : {QSize(2 * width + 1, 9), QSize(width, 11)})
                EXPECT_EQ(loaded->StretchedImage(size), waiting->StretchedImage(size)) << size.width();
            // The plug-in read the file itself, at its full size, and never made a bitmap.
            const auto rows = log.Calls("GetPictureRows");
            ASSERT_EQ(3u, rows.size());
            EXPECT_NE(std::string::npos, rows[0].find("flag=other want=0x0 len=0")) << rows[0];
            EXPECT_TRUE(log.Calls("GetPicture").empty());
            EXPECT_EQ(1u, log.Calls("GetPictureInfo").size());
        }
    }
}

TEST_F(RowsTest, ShrinkingAveragesTheRowsAsTheyArrive)
{
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        SCOPED_TRACE(bits);
        const std::string path = Write("p.toy", ToyFile(9, 7, bits));
        const QImage whole = Loaded(path)->Image();
        log.Clear();
        for (const QSize size : {QSize(4, 3), QSize(9, 2), QSize(1, 1)}) {
            const QImage shrunk = Waiting(path)->StretchedImage(size);
            EXPECT_EQ(QImage::Format_BGR888, shrunk.format());
            EXPECT_EQ(Averaged(whole, size), shrunk) << size.width() << "x" << size.height();
        }
        const auto rows = log.Calls("GetPictureRows");
        ASSERT_EQ(3u, rows.size());
        EXPECT_NE(std::string::npos, rows[0].find("want=4x3"));
    }
}

TEST_F(RowsTest, BrokenRowsEndInTheUsualLoad)
{
    struct Case {
        const char *what;
        uint16_t bits, options;
    };
    for (const Case &c : {Case{"wrong width", 24, ToyRowsWidth}, Case{"a row skipped", 24, ToyRowsSkip},
                          Case{"a row missing", 32, ToyRowsShort}, Case{"a row too many", 32, ToyRowsMore},
                          Case{"failed half-way", 24, ToyRowsFail}, Case{"refused", 8, 0}}) {
        SCOPED_TRACE(c.what);
        const std::string path = Write("p.toy", ToyFile(4, 5, c.bits, c.options));
        const auto loaded = Loaded(path);
        log.Clear();
        const auto waiting = Waiting(path);
        EXPECT_EQ(loaded->StretchedImage(QSize(4, 5)), waiting->StretchedImage(QSize(4, 5)));
        EXPECT_EQ(loaded->StretchedImage(QSize(2, 2)), waiting->StretchedImage(QSize(2, 2)));
        const auto lines = log.Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(std::string::npos, lines[2].find("GetPictureRows")) << "after IsSupported and GetPictureInfo";
        EXPECT_NE(std::string::npos, lines.back().find("GetPicture flag=1")) << "then the whole file, in memory";
        EXPECT_EQ(2u, log.Calls("GetPictureRows").size());
        EXPECT_EQ(2u, log.Calls("GetPicture").size());
    }
}

TEST_F(RowsTest, AbortWhileDrawingEndsAsAnAbortedLoad)
{
    const std::string path = Write("p.toy", ToyFile(4, 6, 24));
    const auto waiting = Waiting(path);
    int running = 0;
    waiting->OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
        if (stage == TProgressStage::Running && ++running)
            throw EAbort();
    };
    log.Clear();
    try {
        waiting->StretchedImage(QSize(2, 3));
        FAIL() << "drawn";
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ("認識できない画像形式です", e.Message());
    }
    EXPECT_EQ(2, running) << "the rows, then the usual load, each stopped at once";
    EXPECT_EQ(1u, log.Calls("GetPictureRows").size());
    EXPECT_EQ(1u, log.Calls("GetPicture").size());

    // Any other error of the progress handler ends the drawing once the plug-in returned.
    waiting->OnProgress = [](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
        if (stage == TProgressStage::Running)
            throw EInOutError("disk gone");
    };
    log.Clear();
    EXPECT_THROW(waiting->StretchedImage(QSize(2, 3)), EInOutError);
    EXPECT_TRUE(log.Calls("GetPicture").empty());
}

TEST_F(RowsTest, ReceiverErrorsStopThePluginAndComeBackAfterIt)
{
    const std::string path = Write("p.toy", ToyFile(3, 8, 24));
    const auto waiting = Waiting(path);
    struct Failing : RowReceiver {
        int rows = 0;
        void Begin(int, int, RowFormat) override {}
        void Rows(int, int count, const unsigned char *, ptrdiff_t) override
        {
            rows += count;
            if (rows >= 3)
                throw EOutOfMemory("full");
        }
    } receiver;
    TSPIRowPicture picture;
    picture.SPI = dynamic_cast<TInSPI *>(&spis->Items(0));
    picture.FileName = path;
    picture.NativePath = path;
    picture.Info.Width = 3;
    picture.Info.Height = 8;
    int progress = 0;
    waiting->OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
        progress += stage == TProgressStage::Running;
    };
    EXPECT_THROW(waiting->InSPIAble().ReadRows(picture, QSize(), receiver), EOutOfMemory);
    EXPECT_EQ(3, receiver.rows) << "no rows after the error";
    EXPECT_EQ(2, progress) << "the plug-in stopped";

    // A picture of another size than its information said: refused before the receiver sees a row.
    picture.Info.Width = 4;
    receiver.rows = 0;
    EXPECT_FALSE(waiting->InSPIAble().ReadRows(picture, QSize(), receiver));
    EXPECT_EQ(0, receiver.rows);
}

TEST_F(RowsTest, SmallPicturesStreamsAndBitmapNamesLoadAsBefore)
{
    TSPIBitmap small;
    small.LoadFromFile(Write("p.toy", ToyFile(20, 20, 24)));
    EXPECT_FALSE(small.DecodesWhenDrawn()) << "400 pixels are held";
    EXPECT_EQ(20, small.Image().width());

    log.Clear();
    QByteArray bytes = QByteArray::fromStdString(ToyFile(3, 2, 24));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TSPIBitmap stream;
    stream.StreamFromPixels = 0;
    stream.LoadFromStreamWithName(buffer, "x.toy");
    EXPECT_FALSE(stream.DecodesWhenDrawn());
    EXPECT_EQ(3, stream.Image().width());

    TSPIBitmap named;
    named.StreamFromPixels = 0;
    named.LoadFromFile(Write("toy.bmp", ToyFile(3, 2, 24)));
    EXPECT_FALSE(named.DecodesWhenDrawn()) << "the bitmap reader comes first";
    EXPECT_TRUE(log.Calls("GetPictureRows").empty());
}

TEST_F(RowsTest, APluginWithoutTheExportFirstSeesOnlyTheUsualCalls)
{
    // "b_toy" is asked before "a_rows": both declare the extension, so the later one comes first.
    InstallPlugin(TestPluginDir() + "toy.spi", folder, "b_toy.spi");
    spis->Search(folder + "*.spi");
    ASSERT_EQ(2, spis->Count());
    const std::string path = Write("p.toy", ToyFile(3, 2, 24));
    log.Clear();
    TSPIBitmap bitmap;
    bitmap.StreamFromPixels = 0;
    bitmap.LoadFromFile(path);
    EXPECT_FALSE(bitmap.DecodesWhenDrawn());
    const auto lines = log.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].find("toy IsSupported name=" + path));
    EXPECT_EQ("toy GetPictureInfo flag=1 len=20", lines[1]);
    EXPECT_EQ("toy GetPicture flag=1 len=20", lines[2]);
}

TEST_F(RowsTest, ThePictureIsFoundAtByte128)
{
    const std::string path = Write("late.toy", std::string(128, 'J') + ToyFile(3, 4, 24));
    const auto loaded = Loaded(path);
    log.Clear();
    const auto waiting = Waiting(path);
    EXPECT_EQ(loaded->Image(), waiting->StretchedImage(QSize(3, 4)));
    const auto rows = log.Calls("GetPictureRows");
    ASSERT_EQ(1u, rows.size());
    EXPECT_NE(std::string::npos, rows[0].find("len=128"));
    EXPECT_EQ(2u, log.Calls("IsSupported").size());

    // Without the retry the plug-in refuses, and so does the bitmap reader.
    TSPIBitmap noRetry;
    noRetry.StreamFromPixels = 0;
    noRetry.RetryAt128 = false;
    EXPECT_THROW(noRetry.LoadFromFile(path), EInvalidGraphic);
}

TEST_F(RowsTest, TheRowsThemselvesAreThereForOtherReceivers)
{
    const std::string path = Write("p.toy", ToyFile(9, 7, 24));
    EXPECT_EQ(nullptr, Loaded(path)->RowsToDraw(QSize(4, 3)));
    const auto waiting = Waiting(path);
    struct Recording : RowReceiver {
        QSize size;
        int rows = 0;
        void Begin(int width, int height, RowFormat) override { size = QSize(width, height); }
        void Rows(int y, int count, const unsigned char *, ptrdiff_t) override
        {
            EXPECT_EQ(rows, y);
            rows += count;
        }
    } receiver;
    log.Clear();
    const std::unique_ptr<RowSource> rows = waiting->RowsToDraw(QSize(4, 3));
    ASSERT_NE(nullptr, rows);
    EXPECT_TRUE(rows->Deliver(receiver));
    EXPECT_EQ(QSize(9, 7), receiver.size) << "the toy decodes at its full size";
    EXPECT_EQ(7, receiver.rows);
    EXPECT_NE(std::string::npos, log.Calls("GetPictureRows").at(0).find("want=4x3"));
    spis->Clear();
    EXPECT_EQ(nullptr, waiting->RowsToDraw(QSize(4, 3)));
}

TEST_F(RowsTest, APluginFreedSinceTheLoadIsNotCalled)
{
    const auto waiting = Waiting(Write("p.toy", ToyFile(3, 4, 24)));
    TSPIBitmap copy;
    copy.Assign(*waiting);
    EXPECT_TRUE(copy.DecodesWhenDrawn());
    EXPECT_EQ(waiting->StretchedImage(QSize(3, 4)), copy.StretchedImage(QSize(3, 4)));

    spis->Clear();
    log.Clear();
    EXPECT_THROW(waiting->StretchedImage(QSize(3, 4)), EInvalidGraphic);
    EXPECT_TRUE(log.Lines().empty());
}

} // namespace
