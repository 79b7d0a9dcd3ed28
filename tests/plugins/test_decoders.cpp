#include "Encoders.h"
#include "PluginHostTest.h"

#include "MemoryRegistry.h"
#include "picture/PictureFormats.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class DecoderTest : public PluginHostTest {
protected:
    void SetUp() override
    {
        for (const char *name : {"png.spi", "gif.spi", "webp.spi", "tiff.spi"})
            InstallPlugin(BinDir() + name, folder);
        SearchPlugins(4);
    }
    TInSPI &Plugin(const std::string &name)
    {
        return dynamic_cast<TInSPI &>(spis->Items(spis->IndexOf(folder + name)));
    }
    // A `size` square picture (the GIF: EncodeGif's) for each decoder, as {stem.ext, bytes}; `richer`
    // takes the PNG interlaced with alpha and the WebP with alpha, for the decoders' longer paths.
    std::vector<std::pair<std::string, std::string>> OnePerDecoder(const std::string &stem, int size, bool richer)
    {
        return {
            {stem + ".png", EncodePng(size, size, richer ? PngKind::Rgba : PngKind::Rgb, richer)},
            {stem + ".gif", EncodeGif(home.File("source.gif"))},
            {stem + ".webp", EncodeWebp(size, size, richer)},
            {stem + ".tif", EncodeTiff(home.File("source.tif"), size, size, false)},
        };
    }
    // `path` decoded whole when loaded into `loaded`, and only when drawn into `waiting`.
    static void LoadBothWays(const std::string &path, TSPIBitmap &loaded, TSPIBitmap &waiting)
    {
        loaded.StreamFromPixels = INT64_MAX;
        loaded.LoadFromFile(path);
        waiting.StreamFromPixels = 0;
        waiting.LoadFromFile(path);
    }
    static uint32_t Pixel(const TBitmap &bitmap, int x, int y) { return bitmap.Image().pixel(x, y) & 0xffffff; }
    // Loads and compares every pixel with `expected(x, y)` (0xRRGGBB), allowing `tolerance` per channel.
    template <class F> void ExpectPicture(const std::string &path, int width, int height, F expected, int tolerance = 0)
    {
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(path);
        ASSERT_EQ(width, bitmap.Width());
        ASSERT_EQ(height, bitmap.Height());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t got = Pixel(bitmap, x, y), want = expected(x, y);
                for (int shift : {0, 8, 16}) {
                    const int diff = int(got >> shift & 0xff) - int(want >> shift & 0xff);
                    ASSERT_LE(std::abs(diff), tolerance) << std::hex << "pixel " << std::dec << x << "," << y
                                                         << std::hex << " got " << got << " want " << want;
                }
            }
    }
};

TEST_F(DecoderTest, PluginsDescribeThemselves)
{
    EXPECT_EQ("00IN", Plugin("png.spi").APIVersion());
    EXPECT_EQ(std::vector<std::string>{"*.png"}, Plugin("png.spi").Extensions());
    EXPECT_EQ(std::vector<std::string>{"*.tif;*.tiff"}, Plugin("tiff.spi").Extensions());
    EXPECT_EQ("GIF イメージファイル", Cp932ToUtf8(Plugin("gif.spi").Descriptions().at(0)));
    EXPECT_EQ("WebP イメージファイル", Cp932ToUtf8(Plugin("webp.spi").Descriptions().at(0)));
    for (const char *ext : {"png", "gif", "webp", "tif", "tiff"})
        EXPECT_EQ(&TSPIBitmap::ClassInfo(), FindPictureClass(ext)) << ext;
}

TEST_F(DecoderTest, PngFlavoursAllBecomeColoursOnBlack)
{
    for (bool interlaced : {false, true}) {
        for (int width = 1; width <= 4; ++width) {
            SCOPED_TRACE(testing::Message() << "width " << width << (interlaced ? " interlaced" : ""));
            const int height = 3;
            auto opaque = [](int x, int y) { return TestColour(x, y, false) & 0xffffff; };
            ExpectPicture(Write("rgb.png", EncodePng(width, height, PngKind::Rgb, interlaced)), width, height, opaque);
            ExpectPicture(Write("rgb16.png", EncodePng(width, height, PngKind::Rgb16, interlaced)), width, height,
                          opaque);
            ExpectPicture(Write("rgba.png", EncodePng(width, height, PngKind::Rgba, interlaced)), width, height,
                          [](int x, int y) { return OnBlack(TestColour(x, y, true)); });
            ExpectPicture(Write("gray.png", EncodePng(width, height, PngKind::Gray, interlaced)), width, height,
                          [](int x, int y) { return (TestColour(x, y, false) >> 16 & 0xff) * 0x010101u; });
            ExpectPicture(Write("pal.png", EncodePng(width, height, PngKind::PaletteWithTransparency, interlaced)),
                          width, height, [](int x, int y) {
                              const uint32_t c = TestColour(x, y, false);
                              return x == 0 && y == 0 ? OnBlack((c & 0xffffff) | 0x80000000u) : c & 0xffffff;
                          });
        }
    }
}

TEST_F(DecoderTest, GifGivesTheFirstFrameOnItsScreen)
{
    ExpectPicture(Write("anim.gif", EncodeGif(home.File("anim.gif"))), 4, 3, [](int x, int y) -> uint32_t {
        if (x < 1 || x > 2 || y < 1 || y > 2)
            return 0; // outside the frame: black
        const int index = (y - 1) * 2 + (x - 1);
        return index == 3 ? 0 : TestColour(index % 2, index / 2, false) & 0xffffff;
    });
}

TEST_F(DecoderTest, WebpWithAndWithoutAlpha)
{
    ExpectPicture(Write("opaque.webp", EncodeWebp(5, 3, false)), 5, 3,
                  [](int x, int y) { return TestColour(x, y, false) & 0xffffff; });
    ExpectPicture(Write("alpha.webp", EncodeWebp(3, 2, true)), 3, 2,
                  [](int x, int y) { return OnBlack(TestColour(x, y, true)); });
}

TEST_F(DecoderTest, TiffInBandsAndWithAlpha)
{
    // 70 rows: read in two bands.
    ExpectPicture(Write("tall.tif", EncodeTiff(home.File("tall.tif"), 3, 70, false)), 3, 70,
                  [](int x, int y) { return TestColour(x, y, false) & 0xffffff; });
    ExpectPicture(
        Write("alpha.tiff", EncodeTiff(home.File("alpha.tiff"), 4, 2, true)), 4, 2,
        [](int x, int y) { return OnBlack(TestColour(x, y, true)); }, 1);
}

TEST_F(DecoderTest, TiffDepthOfAbsurdSampleCountsStaysInItsField)
{
    // 65284 bits per sample times 65535 samples: the fuzzer's header, whose product overflowed.
    const char *data = std::getenv("TAPISTO_TEST_DATA");
    ASSERT_NE(nullptr, data);
    const std::string tiff = ReadFileBytes(std::string(data) + "/fuzz/plugins/tiff_depth_overflow").substr(1);
    std::vector<char> block(std::max<size_t>(tiff.size(), 2048), 0);
    std::copy(tiff.begin(), tiff.end(), block.begin());
    SPI_PICTINFO info{};
    ASSERT_EQ(SPI_ALL_RIGHT,
              Plugin("tiff.spi").GetPictureInfo(block.data(), intptr_t(tiff.size()), SPI_INPUT_MEMORY, &info));
    EXPECT_EQ(1, info.width);
    EXPECT_EQ(INT16_MAX, info.colorDepth);
}

// A PNG chunk: length, type, data and the CRC of type and data.
std::string PngChunk(const std::string &type, const std::string &data)
{
    const auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    uint32_t crc = 0xffffffffu;
    for (unsigned char c : type + data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return be32(uint32_t(data.size())) + type + data + be32(~crc);
}

TEST_F(DecoderTest, APictureBeyondTheMemoryGuardIsToldByItsSize)
{
    // 20000 x 20000 pixels: the plug-in tells the size, and refuses to decode it.
    const std::string ihdr{0, 0, 0x4e, 0x20, 0, 0, 0x4e, 0x20, 8, 2, 0, 0, 0};
    const std::string png = "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) + PngChunk("IDAT", "x") + PngChunk("IEND", "");
    const std::string path = Write("huge.png", png);
    TSPIBitmap bitmap;
    try {
        bitmap.LoadFromFile(path);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ("画像 " + path + " は大きすぎて読み込めません (20000×20000 画素、上限は 268,435,456 画素です)",
                  e.Message());
    }
    // A file that no reader knows is still unrecognised.
    try {
        bitmap.LoadFromFile(Write("junk.png", std::string(3000, 'x')));
        FAIL() << "loaded";
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ("認識できない画像形式です", e.Message());
    }
}

TEST_F(DecoderTest, InformationAndFileInput)
{
    const std::string png = EncodePng(7, 5, PngKind::Rgba, false);
    SPI_PICTINFO info{};
    ASSERT_EQ(0, Plugin("png.spi").GetPictureInfo(png.data(), png.size(), SPI_INPUT_MEMORY, &info));
    EXPECT_EQ(7, info.width);
    EXPECT_EQ(5, info.height);
    EXPECT_EQ(32, info.colorDepth);

    // File input: the name, and the picture's offset in that file.
    const std::string path = Write("offset.bin", "0123456789" + png);
    HLOCAL header = nullptr, bits = nullptr;
    ASSERT_EQ(0, Plugin("png.spi").GetPicture(path.c_str(), 10, SPI_INPUT_FILE, &header, &bits, nullptr, 0));
    const auto *bi = static_cast<const SPI_BITMAPINFOHEADER *>(LocalLock(header));
    EXPECT_EQ(7, bi->width);
    EXPECT_EQ(5, bi->height);
    EXPECT_EQ(24, bi->bitCount);
    EXPECT_EQ(size_t(24 * 5), LocalSize(bits));
    LocalUnlock(header);
    EXPECT_EQ(nullptr, LocalFree(header));
    EXPECT_EQ(nullptr, LocalFree(bits));
    EXPECT_NE(0, Plugin("png.spi").GetPicture("/nonexistent/file.png", 0, SPI_INPUT_FILE, &header, &bits, nullptr, 0));
}

TEST_F(DecoderTest, DamagedFilesFailCleanly)
{
    for (const auto &[name, data] : OnePerDecoder("d", 20, true)) {
        for (size_t cut : {size_t(8), size_t(30), data.size() / 2, data.size() - 1, data.size()}) {
            for (bool flip : {false, true}) {
                SCOPED_TRACE(testing::Message() << name << " cut at " << cut << (flip ? " flipped" : ""));
                std::string damaged = data.substr(0, cut);
                if (flip)
                    for (size_t i = 16; i < damaged.size(); i += 7)
                        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
                TSPIBitmap bitmap;
                try {
                    bitmap.LoadFromFile(Write(name, damaged));
                } catch (const EInvalidGraphic &) {
                }
            }
        }
    }
}

TEST_F(DecoderTest, EveryDecoderReportsProgressAndHonoursAbort)
{
    for (const auto &[name, data] : OnePerDecoder("a", 40, false)) {
        SCOPED_TRACE(name);
        const std::string path = Write(name, data);
        int running = 0;
        TSPIBitmap counted;
        counted.OnProgress = [&](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
            running += stage == TProgressStage::Running;
        };
        counted.LoadFromFile(path);
        EXPECT_GE(running, 2);

        TSPIBitmap aborted;
        aborted.OnProgress = [](TGraphic &, TProgressStage stage, uint8_t, bool, const QRect &, const std::string &) {
            if (stage == TProgressStage::Running)
                throw EAbort();
        };
        EXPECT_THROW(aborted.LoadFromFile(path), EInvalidGraphic);
    }
}

// Records the blocks a decoder hands out, and asks it to stop after `stopAfter` blocks.
struct RowLog {
    std::vector<SPI_ROWBLOCK> blocks;
    size_t stopAfter = SIZE_MAX;
    bool calledAfterStop = false;
};

int32_t CollectBlock(const SPI_ROWBLOCK *block, intptr_t user)
{
    auto *rows = reinterpret_cast<RowLog *>(user);
    rows->calledAfterStop |= rows->blocks.size() >= rows->stopAfter;
    rows->blocks.push_back(*block);
    return rows->blocks.size() >= rows->stopAfter ? 1 : 0;
}

TEST_F(DecoderTest, RowsOfEveryDecoderAreItsBitmapResult)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (int width = 1; width <= 4; ++width) {
        const std::string w = std::to_string(width);
        for (bool interlaced : {false, true}) {
            const std::string i = interlaced ? "i" : "";
            files.emplace_back("rgb" + w + i + ".png", EncodePng(width, 3, PngKind::Rgb, interlaced));
            files.emplace_back("rgba" + w + i + ".png", EncodePng(width, 3, PngKind::Rgba, interlaced));
            files.emplace_back("pal" + w + i + ".png",
                               EncodePng(width, 3, PngKind::PaletteWithTransparency, interlaced));
        }
        files.emplace_back("o" + w + ".webp", EncodeWebp(width, 3, false));
        files.emplace_back("a" + w + ".webp", EncodeWebp(width, 3, true));
        files.emplace_back("o" + w + ".tif", EncodeTiff(home.File("o.tif"), width, 70, false));
        files.emplace_back("a" + w + ".tif", EncodeTiff(home.File("a.tif"), width, 3, true));
    }
    files.emplace_back("anim.gif", EncodeGif(home.File("anim.gif")));
    for (const auto &[name, data] : files) {
        SCOPED_TRACE(name);
        const std::string path = Write(name, data);
        TSPIBitmap loaded, waiting;
        LoadBothWays(path, loaded, waiting);
        ASSERT_TRUE(waiting.DecodesWhenDrawn());
        const QSize size(loaded.Width(), loaded.Height());
        EXPECT_EQ(loaded.Image(), waiting.StretchedImage(size));
    }
}

TEST_F(DecoderTest, EveryDecoderHandsOutRowsInOrderAndStopsWhenAsked)
{
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.png", EncodePng(5, 40, PngKind::Rgba, false)},
        {"i.png", EncodePng(5, 40, PngKind::Rgb, true)},
        {"a.gif", EncodeGif(home.File("source.gif"))},
        {"a.webp", EncodeWebp(5, 40, true)},
        {"a.tif", EncodeTiff(home.File("source.tif"), 5, 140, false)},
    };
    for (const auto &[name, data] : files) {
        SCOPED_TRACE(name);
        const std::string path = Write(name, data);
        TInSPI &spi = Plugin(name.substr(2) == "tif" ? "tiff.spi" : name.substr(2) + ".spi");
        ASSERT_TRUE(spi.HasPictureRows());
        SPI_PICTINFO info{};
        ASSERT_EQ(0, spi.GetPictureInfo(path.c_str(), 0, SPI_INPUT_FILE, &info));
        RowLog rows;
        ASSERT_EQ(0, spi.GetPictureRows(path.c_str(), 0, SPI_INPUT_FILE, 0, 0, CollectBlock, nullptr,
                                        reinterpret_cast<intptr_t>(&rows)));
        int32_t next = 0;
        for (const SPI_ROWBLOCK &block : rows.blocks) {
            EXPECT_EQ(info.width, block.width);
            EXPECT_EQ(info.height, block.height);
            EXPECT_EQ(SPI_ROWS_BGR, block.format);
            EXPECT_EQ(next, block.y);
            EXPECT_GT(block.count, 0);
            next += block.count;
        }
        EXPECT_EQ(info.height, next);

        RowLog stopped;
        stopped.stopAfter = 1;
        EXPECT_EQ(SPI_ABORT, spi.GetPictureRows(path.c_str(), 0, SPI_INPUT_FILE, 0, 0, CollectBlock, nullptr,
                                                reinterpret_cast<intptr_t>(&stopped)));
        EXPECT_EQ(1u, stopped.blocks.size());
        EXPECT_FALSE(stopped.calledAfterStop);
        EXPECT_NE(0, spi.GetPictureRows("/nonexistent/file", 0, SPI_INPUT_FILE, 0, 0, CollectBlock, nullptr,
                                        reinterpret_cast<intptr_t>(&rows)));
    }
}

TEST_F(DecoderTest, WebpShrinksWhileItDecodes)
{
    const std::string path = Write("big.webp", EncodeWebp(40, 30, false));
    RowLog rows;
    ASSERT_EQ(0, Plugin("webp.spi")
                     .GetPictureRows(path.c_str(), 0, SPI_INPUT_FILE, 8, 5, CollectBlock, nullptr,
                                     reinterpret_cast<intptr_t>(&rows)));
    ASSERT_FALSE(rows.blocks.empty());
    EXPECT_EQ(8, rows.blocks[0].width);
    EXPECT_EQ(5, rows.blocks[0].height);

    // Drawn smaller, the picture comes out close to the average of its full-size pixels.
    TSPIBitmap loaded, waiting;
    LoadBothWays(path, loaded, waiting);
    const QImage shrunk = waiting.StretchedImage(QSize(8, 5)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(QSize(8, 5), shrunk.size());
    const QImage whole = loaded.Image();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x)
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int sy = y * 6; sy < y * 6 + 6; ++sy)
                    for (int sx = x * 5; sx < x * 5 + 5; ++sx)
                        sum += int(whole.pixel(sx, sy) >> shift & 0xff);
                EXPECT_NEAR(sum / 30.0, int(shrunk.pixel(x, y) >> shift & 0xff), 4.0) << x << "," << y;
            }
}

} // namespace
