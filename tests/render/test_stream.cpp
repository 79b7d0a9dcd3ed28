// The render core's streamed output against the image path it replaces, and its failures.
#include "picture/Bitmap.h"
#include "picture/JPEGImage.h"
#include "picture/Picture.h"
#include "platform/Exceptions.h"
#include "render/BmpFileRows.h"
#include "render/PlainBmpRows.h"
#include "render/RowPipeline.h"
#include "render/StreamRender.h"

#include "AreaResampled.h"
#include "HandMadeBmp.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace {

// The bitmap file the image path writes for `image`.
std::string SavedBytes(QImage image)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetImage(std::move(image));
    return bitmap.SaveToBytes();
}

// A picture of `width` x `height` in `format` whose pixel (x, y) is colour(x, y).
template <class Colour> QImage Painted(int width, int height, QImage::Format format, Colour colour)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colour(x, y));
    return image;
}

int FilesIn(const std::string &folder)
{
    int n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// Fails at a given row, as a full disk would.
class FailingRows : public RowSink {
public:
    explicit FailingRows(unsigned failAt) : failAt_(failAt) {}
    void PutRow(unsigned y, const unsigned char *) override
    {
        if (y == failAt_)
            throw EInOutError("disk full");
        ++Rows;
    }
    unsigned Rows = 0;

private:
    unsigned failAt_;
};

} // namespace

// Widths 1 to 4 cover every row padding of both the source and the output; each is shrunk, kept at
// its size and (for the general path) enlarged.
TEST(StreamRender, PlainBmpFileEqualsTheImagePathForEveryPaddingAndRowOrder)
{
    TempHome home;
    const std::string picture = home.File("p.bmp");
    const std::string out = home.File("out.bmp");
    for (int bits : {24, 32})
        for (bool topDown : {false, true})
            for (int width = 1; width <= 4; ++width)
                for (int correction : {-1, 50, 100, 200}) {
                    SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width) +
                                 (topDown ? " top-down, " : " bottom-up, ") + std::to_string(correction) + "%");
                    WriteFileBytes(picture, MakeHandMadeBmp(width * 3, 7, bits, topDown));
                    const std::optional<TWallPaperSize> size =
                        StreamWallPaper(picture, StreamFormat::PlainBmp, correction, 1024, 768, out);
                    if (correction == 200) {
                        EXPECT_FALSE(size.has_value()) << "enlarging is the general path's";
                        continue;
                    }
                    ASSERT_TRUE(size.has_value());
                    const QSize target(size->Width, size->Height);
                    const QImage read(QString::fromStdString(picture));
                    const QImage expected = target == read.size()
                                                ? read
                                                : AreaResampled(read.convertToFormat(QImage::Format_RGB32),
                                                                QImage(target, QImage::Format_BGR888));
                    EXPECT_EQ(ReadFileBytes(out), SavedBytes(expected));
                }
}

// At scales below 5/8 the streamed file is the image path's, byte for byte: the same scale and chroma,
// and the reduced inverse DCTs have one method only. At the scale's own size it is the full decode.
TEST(StreamRender, JpegFileEqualsTheImagePathWhereTheyDecodeAlike)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    // Colour, CMYK (converted on the worker), grey and progressive pictures.
    for (const char *name : {"grad.jpg", "grad_cmyk.jpg", "grad_gray.jpg", "grad_progressive.jpg"}) {
        const std::string path = TestDataPath(std::string("picture/") + name);
        TPicture picture;
        picture.LoadFromFile(path);
        const TGraphic &jpeg = *picture.Graphic();
        for (int correction : {-1, 10, 25, 31, 50}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(correction) + "%");
            const std::optional<TWallPaperSize> size =
                StreamWallPaper(path, StreamFormat::Jpeg, correction, 1024, 768, out);
            ASSERT_TRUE(size.has_value());
            EXPECT_EQ(ReadFileBytes(out), SavedBytes(jpeg.StretchedImage(QSize(size->Width, size->Height))));
        }
    }
    EXPECT_FALSE(StreamWallPaper(TestDataPath("picture/grad.jpg"), StreamFormat::Jpeg, 0, 1024, 768, out))
        << "enlarged to the screen";
    EXPECT_FALSE(StreamWallPaper(TestDataPath("picture/grad.jpg"), StreamFormat::None, 50, 1024, 768, out));
}

// Errors are the general path's, raised before the output is touched.
TEST(StreamRender, PictureAndSizeErrorsLeaveTheOutputAlone)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    WriteFileBytes(out, "previous");
    try {
        StreamWallPaper(home.File("missing.jpg"), StreamFormat::Jpeg, 50, 1024, 768, out);
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.Message(), "ファイル " + home.File("missing.jpg") + " は開けません");
    }
    EXPECT_THROW(StreamWallPaper(TestDataPath("picture/garbage.jpg"), StreamFormat::Jpeg, 50, 1024, 768, out),
                 EInvalidGraphic);
    EXPECT_THROW(StreamWallPaper(TestDataPath("picture/grad.jpg"), StreamFormat::Jpeg, -20, 1024, 768, out),
                 EInvalidGraphic);
    EXPECT_THROW(
        StreamWallPaper(TestDataPath("picture/grad.jpg"), StreamFormat::Jpeg, 50, 1024, 768, home.File("no/out.bmp")),
        EInOutError);
    // A cut BMP is no plain one: the general reader reports it.
    const std::string bmp = MakeHandMadeBmp(9, 5, 24, false);
    WriteFileBytes(home.File("cut.bmp"), bmp.substr(0, bmp.size() - 10));
    EXPECT_FALSE(StreamWallPaper(home.File("cut.bmp"), StreamFormat::PlainBmp, 50, 1024, 768, out));
    EXPECT_EQ(ReadFileBytes(out), "previous");
    EXPECT_EQ(FilesIn(home.Path()), 2); // out.bmp and cut.bmp: no temporary left
}

// A file cut or rewritten between reading its header and its rows fails; the new bitmap is dropped.
TEST(StreamRender, ABitmapThatChangesWhileItIsReadFailsAndKeepsTheOldOutput)
{
    TempHome home;
    const std::string picture = home.File("p.bmp");
    const std::string out = home.File("out.bmp");
    WriteFileBytes(out, "previous");
    const std::string bytes = MakeHandMadeBmp(40, 30, 24, false);
    for (const std::string &changed : {bytes.substr(0, bytes.size() / 2), MakeHandMadeBmp(30, 40, 24, true),
                                       MakeHandMadeBmp(40, 30, 32, false).substr(0, bytes.size())}) {
        WriteFileBytes(picture, bytes);
        const PlainBmpLayout layout = *ReadPlainBmpLayout(picture);
        WriteFileBytes(picture, changed);
        {
            BmpFileRows file(out, 20, 15);
            RowPipeline pipeline(40, 30, RowFormatOf(layout), 20, 15, RowFormat::Bgr24, file);
            EXPECT_THROW(ReadPlainBmpRows(picture, layout, pipeline), EInvalidGraphic);
            pipeline.Finish();
            EXPECT_THROW(file.Commit(), EInvalidGraphic) << "rows are missing";
        }
        EXPECT_EQ(ReadFileBytes(out), "previous");
        EXPECT_EQ(FilesIn(home.Path()), 2);
    }
}

TEST(RowPipeline, ASinkFailureStopsTheReaderAndIsRaised)
{
    // More rows than the pipeline's buffers hold: the reader needs one back from the worker, which has
    // failed by then.
    FailingRows sink(20);
    RowPipelineReceiver receiver(8, 2000, RowFormat::Bgr24, [&](unsigned, unsigned) -> RowSink & { return sink; });
    receiver.Begin(8, 2000, RowFormat::Xrgb32);
    const std::vector<unsigned char> rows(8 * 4 * 2000, 0x40);
    EXPECT_THROW(receiver.Rows(0, 2000, rows.data(), 8 * 4), EInOutError);
    EXPECT_THROW(receiver.Finish(), EInOutError);
    EXPECT_EQ(sink.Rows, 20u);
    // A reader filling the buffers itself gets none once the sink has failed.
    RowPipeline pipeline(8, 2000, RowFormat::Xrgb32, 8, 2000, RowFormat::Bgr24, sink);
    while (unsigned char *batch = pipeline.NextFree())
        pipeline.Submit(batch, pipeline.BatchRows());
    EXPECT_THROW(pipeline.Finish(), EInOutError);
}

TEST(BmpFileRows, RowsInAnyBlockOrderLandAtTheirPlacesAndTooLargeIsRefused)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    const QImage image =
        Painted(5, 600, QImage::Format_BGR888, [](int x, int y) { return qRgb(x * 40, y % 256, y / 3); });
    {
        BmpFileRows file(out, 5, 600);
        // The second half first: each run of rows is a block of its own.
        for (int y = 300; y < 600; ++y)
            file.PutRow(unsigned(y), image.constScanLine(y));
        for (int y = 0; y < 300; ++y)
            file.PutRow(unsigned(y), image.constScanLine(y));
        file.Commit();
    }
    EXPECT_EQ(ReadFileBytes(out), SavedBytes(image));
    try {
        const BmpFileRows tooLarge(out, 60000, 60000);
        ADD_FAILURE();
    } catch (const EOutOfMemory &e) {
        EXPECT_EQ(e.Message(), "ビットマップ " + out + " は大きすぎて保存できません (BMP ファイルは 4 GB まで)");
    }
    EXPECT_EQ(FilesIn(home.Path()), 1);
}

// A reader's rows through the output side: the file is the image path's; an enlarged wallpaper makes nothing; a reader
// that stops early leaves the old bitmap.
TEST(WallPaperStream, RowsHandedOverByAnyReaderBecomeTheBitmap)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    const QImage picture =
        Painted(97, 61, QImage::Format_RGB32, [](int x, int y) { return qRgb(x * 2, (y * 37) % 256, (x * y) % 256); });
    std::optional<BmpFileRows> file;
    StreamOutput output;
    output.Open = [&](unsigned width, unsigned height) -> RowSink & { return file.emplace(out, width, height); };
    // The picture's first `rows` rows, read into the pipeline's buffers as the BMP reader reads them.
    const auto read = [&picture](RowPipeline &pipeline, unsigned rows) {
        for (unsigned y = 0; y < rows;) {
            unsigned char *batch = pipeline.NextFree();
            const unsigned n = std::min(rows - y, pipeline.BatchRows());
            for (unsigned i = 0; i < n; ++i)
                std::memcpy(batch + pipeline.Stride() * i, picture.constScanLine(int(y + i)), pipeline.Stride());
            pipeline.Submit(batch, n);
            y += n;
        }
    };
    {
        WallPaperStream stream(97, 61, RowFormat::Xrgb32, 33, 1024, 768, output);
        ASSERT_FALSE(stream.Enlarges());
        read(stream.Rows(), 61);
        const TWallPaperSize size = stream.Commit();
        file->Commit();
        EXPECT_EQ(ReadFileBytes(out),
                  SavedBytes(AreaResampled(picture, QImage(size.Width, size.Height, QImage::Format_RGB32))));
    }
    file.reset();
    const std::string kept = ReadFileBytes(out);
    EXPECT_TRUE(WallPaperStream(97, 61, RowFormat::Xrgb32, 0, 1024, 768, output).Enlarges());
    EXPECT_FALSE(file) << "an enlarged wallpaper opens no output";
    {
        WallPaperStream stream(97, 61, RowFormat::Xrgb32, 50, 1024, 768, output);
        read(stream.Rows(), 60);
        stream.Commit();
        EXPECT_THROW(file->Commit(), EInvalidGraphic);
        file.reset();
    }
    EXPECT_EQ(ReadFileBytes(out), kept);
    EXPECT_EQ(FilesIn(home.Path()), 1);
}

namespace {

// A picture handed out by rows, as a plug-in does: bottom-up in memory (a negative stride), and
// failing after `failAfter` rows when asked to.
class ImageRows : public RowSource {
public:
    ImageRows(QImage image, int failAfter = -1) : image_(std::move(image)), failAfter_(failAfter) {}
    bool Deliver(RowReceiver &receiver) override
    {
        const QImage flipped = image_.mirrored(false, true);
        receiver.Begin(image_.width(), image_.height(), RowFormat::Xrgb32);
        const ptrdiff_t stride = -ptrdiff_t(flipped.bytesPerLine());
        for (int y = 0; y < image_.height(); y += 7) {
            if (failAfter_ >= 0 && y >= failAfter_)
                return false;
            receiver.Rows(y, std::min(7, image_.height() - y), flipped.constScanLine(image_.height() - 1 - y), stride);
        }
        return true;
    }

private:
    QImage image_;
    int failAfter_;
};

} // namespace

TEST(StreamRows, ASourcesRowsBecomeTheBitmapAndAFailedSourceLeavesTheOldOne)
{
    TempHome home;
    const std::string out = home.File("out.bmp");
    const QImage picture =
        Painted(61, 45, QImage::Format_RGB32, [](int x, int y) { return qRgb(x * 4, y * 5, (x ^ y) * 3); });
    for (const TWallPaperSize size : {TWallPaperSize{61, 45}, TWallPaperSize{20, 15}}) {
        ImageRows rows(picture);
        ASSERT_TRUE(StreamRows(rows, size, out));
        const QImage expected = AreaResampled(picture, QImage(size.Width, size.Height, QImage::Format_RGB32));
        EXPECT_EQ(ReadFileBytes(out), SavedBytes(expected)) << size.Width;
    }
    const std::string kept = ReadFileBytes(out);
    ImageRows failing(picture, 21);
    EXPECT_FALSE(StreamRows(failing, TWallPaperSize{20, 15}, out));
    EXPECT_EQ(ReadFileBytes(out), kept);
    EXPECT_EQ(FilesIn(home.Path()), 1);
}
