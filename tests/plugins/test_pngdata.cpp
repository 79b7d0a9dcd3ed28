// The PNG plug-in's own reading of the image data of 8-bit RGB and RGBA pictures that are not
// interlaced (plugins/pngidat.c), in both builds: with ISA-L (png.spi where there is one) and with
// zlib (pngzlib.spi, as built where there is none). Its pixels must be libpng's, and damage must
// fail the picture as libpng fails it.
#include "Encoders.h"
#include "SpiTestSupport.h"

#include "MemoryRegistry.h"
#include "picture/SPIBmp.h"
#include "picture/SPIs.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

namespace {

std::string Be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

uint32_t ReadBe32(const std::string &s, size_t at)
{
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
           uint8_t(s[at + 3]);
}

std::string Chunk(const std::string &type, const std::string &data)
{
    const std::string typed = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(typed.data()), uInt(typed.size()));
    return Be32(uint32_t(data.size())) + typed + Be32(uint32_t(crc));
}

// A PNG file in pieces: the chunks before the image data, the image data's zlib stream, the rest.
struct PngParts {
    std::string head, stream, tail;

    explicit PngParts(const std::string &png) : head(png.substr(0, 8))
    {
        for (size_t at = 8; at + 12 <= png.size();) {
            const uint32_t length = ReadBe32(png, at);
            const std::string type = png.substr(at + 4, 4), chunk = png.substr(at, 12 + length);
            if (type == "IDAT")
                stream += chunk.substr(8, length);
            else
                (stream.empty() ? head : tail) += chunk;
            at += 12 + length;
        }
    }
    // The file with the stream in chunks of the sizes given, taken in turn (0: an empty chunk).
    std::string Join(const std::vector<size_t> &sizes = {}) const
    {
        std::string png = head;
        size_t at = 0;
        for (size_t i = 0; at < stream.size(); ++i) {
            const size_t size = sizes.empty() ? stream.size() : sizes[i % sizes.size()];
            png += Chunk("IDAT", stream.substr(at, size));
            at += size;
        }
        return png + tail;
    }
    // The stream's inflated bytes: a filter type and the filtered bytes of every row.
    std::string Inflated() const
    {
        std::string raw(1 << 22, '\0');
        uLongf size = raw.size();
        EXPECT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef *>(raw.data()), &size,
                                   reinterpret_cast<const Bytef *>(stream.data()), stream.size()));
        raw.resize(size);
        return raw;
    }
    // The stream of `raw`.
    void Deflate(const std::string &raw)
    {
        z_stream z{};
        ASSERT_EQ(Z_OK, deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY));
        stream.assign(deflateBound(&z, raw.size()), '\0');
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.data()));
        z.avail_in = uInt(raw.size());
        z.next_out = reinterpret_cast<Bytef *>(stream.data());
        z.avail_out = uInt(stream.size());
        ASSERT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
        stream.resize(z.total_out);
        deflateEnd(&z);
    }
};

// What a decode gave: its result and the rows, blue, green, red, top row first.
struct Decoded {
    int32_t result = -1;
    std::string bgr;
};

int32_t AppendRows(const SPI_ROWBLOCK *block, intptr_t user)
{
    auto *rows = reinterpret_cast<std::string *>(user);
    for (int32_t i = 0; i < block->count; ++i)
        rows->append(static_cast<const char *>(block->pixels) + intptr_t(i) * block->stride, size_t(block->width) * 3);
    return 0;
}

// The rows a decoder must give for EncodePng's picture.
std::string Expected(int width, int height, bool alpha)
{
    std::string bgr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = OnBlack(TestColour(x, y, alpha));
            bgr += {char(c), char(c >> 8), char(c >> 16)};
        }
    return bgr;
}

// The parameter: the plug-in file and where it lies.
class PngDataTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        folder = MakePluginFolder(home);
        const std::string &name = GetParam();
        InstallPlugin((name == "png.spi" ? BinDir() : TestPluginDir()) + name, folder, "png.spi");
        spis = std::make_unique<TSPIs>(registry);
        spis->Search(folder + "*.spi");
        ASSERT_EQ(1, spis->Count());
    }
    void TearDown() override { WithdrawSPIBitmapClass(); }

    TInSPI &Png() { return dynamic_cast<TInSPI &>(spis->Items(0)); }

    // Rows by the file, as a change reads a large picture.
    Decoded Rows(const std::string &png)
    {
        const std::string path = home.File("p.png");
        WriteFileBytes(path, png);
        Decoded d;
        d.result = Png().GetPictureRows(path.c_str(), 0, SPI_INPUT_FILE, 0, 0, AppendRows, nullptr,
                                        reinterpret_cast<intptr_t>(&d.bgr));
        return d;
    }
    // The bitmap result of the bytes in memory, as a small picture is read.
    Decoded Whole(const std::string &png)
    {
        Decoded d;
        HLOCAL header = nullptr, bits = nullptr;
        d.result = Png().GetPicture(png.data(), intptr_t(png.size()), SPI_INPUT_MEMORY, &header, &bits, nullptr, 0);
        if (d.result != SPI_ALL_RIGHT)
            return d;
        const auto *bi = static_cast<const SPI_BITMAPINFOHEADER *>(LocalLock(header));
        const auto *pixels = static_cast<const char *>(LocalLock(bits));
        const size_t stride = (size_t(bi->width) * 3 + 3) / 4 * 4;
        for (int32_t y = bi->height - 1; y >= 0; --y)
            d.bgr.append(pixels + stride * size_t(y), size_t(bi->width) * 3);
        LocalUnlock(bits);
        LocalUnlock(header);
        LocalFree(header);
        LocalFree(bits);
        return d;
    }
    // Both ways give `want`, or both fail.
    void ExpectBoth(const std::string &png, const std::string *want)
    {
        for (const Decoded &d : {Rows(png), Whole(png)}) {
            if (want == nullptr) {
                EXPECT_EQ(SPI_OUT_OF_ORDER, d.result);
            } else {
                EXPECT_EQ(SPI_ALL_RIGHT, d.result);
                EXPECT_TRUE(d.bgr == *want) << "the pixels differ";
            }
        }
    }

    TempHome home;
    std::string folder;
    MemoryRegistry registry;
    std::unique_ptr<TSPIs> spis;
};

TEST_P(PngDataTest, EveryFilterGivesLibpngsPixels)
{
    // 700 pixels wide: several batches of rows, and rows of every length's remainder below.
    for (PngKind kind : {PngKind::Rgb, PngKind::Rgba})
        for (PngFilter filter :
             {PngFilter::Default, PngFilter::None, PngFilter::Sub, PngFilter::Up, PngFilter::Average, PngFilter::Paeth})
            for (auto [width, height] : {std::pair{700, 150}, std::pair{1, 3}, std::pair{2, 2}, std::pair{5, 4}}) {
                SCOPED_TRACE(testing::Message() << (kind == PngKind::Rgb ? "RGB" : "RGBA") << " filter " << int(filter)
                                                << " " << width << "x" << height);
                const std::string want = Expected(width, height, kind == PngKind::Rgba);
                ExpectBoth(EncodePng(width, height, kind, false, filter), &want);
            }
}

TEST_P(PngDataTest, TheImageDataMaySplitAnywhere)
{
    // One byte a chunk splits the zlib header and the checksum too; empty chunks count for nothing.
    const PngParts parts(EncodePng(33, 20, PngKind::Rgba, false, PngFilter::Paeth));
    const std::string want = Expected(33, 20, true);
    for (const std::vector<size_t> &sizes :
         std::vector<std::vector<size_t>>{{1}, {0, 1}, {2, 0, 0, 3}, {7, 13, 0}, {1000000}}) {
        SCOPED_TRACE(testing::Message() << "first chunk " << sizes[0] << " of " << sizes.size());
        ExpectBoth(parts.Join(sizes), &want);
    }
    // What libpng passes too: compressed data past the last row, and a chunk of data past the stream.
    PngParts longer = parts;
    longer.Deflate(parts.Inflated() + std::string(500, '\x07'));
    ExpectBoth(longer.Join({100}), &want);
    PngParts trailing = parts;
    trailing.head += Chunk("IDAT", parts.stream) + Chunk("IDAT", "junk");
    trailing.stream.clear();
    ExpectBoth(trailing.Join(), &want);
}

TEST_P(PngDataTest, DamagedImageDataFailsThePicture)
{
    const PngParts parts(EncodePng(40, 30, PngKind::Rgb, false, PngFilter::Up));
    const std::string raw = parts.Inflated();
    const auto damaged = [&](const std::function<void(PngParts &)> &change, const std::vector<size_t> &sizes = {}) {
        PngParts p = parts;
        change(p);
        return p.Join(sizes);
    };
    // A chunk's CRC: the first image data chunk's, then one in the middle.
    ASSERT_GT(parts.stream.size(), 200u);
    for (size_t at : {size_t(0), size_t(2)}) {
        std::string png = parts.Join({50});
        size_t chunk = parts.head.size();
        for (size_t i = 0; i < at; ++i)
            chunk += 12 + ReadBe32(png, chunk);
        png[chunk + 8 + ReadBe32(png, chunk) + 3] ^= 1;
        SCOPED_TRACE(testing::Message() << "CRC of chunk " << at);
        ExpectBoth(png, nullptr);
    }
    // The Adler-32, in the chunk with the data and in a chunk of its own (libpng let that one pass).
    const std::string wrongAdler = damaged([](PngParts &p) { p.stream.back() ^= 1; });
    ExpectBoth(wrongAdler, nullptr);
    ExpectBoth(damaged([](PngParts &p) { p.stream.back() ^= 1; }, {parts.stream.size() - 4, 4}), nullptr);
    // Too few rows; a filter type that does not exist; a preset dictionary (0x7820 is a multiple of 31).
    ExpectBoth(damaged([&](PngParts &p) { p.Deflate(raw.substr(0, raw.size() - 50)); }), nullptr);
    ExpectBoth(damaged([&](PngParts &p) { p.Deflate(std::string(1, '\x05') + raw.substr(1)); }), nullptr);
    ExpectBoth(damaged([](PngParts &p) { p.stream[1] = 0x20; }), nullptr);
    // Another chunk before the stream's end; the file ending inside the image data.
    const std::string split = parts.Join({100});
    const size_t second = parts.head.size() + 12 + 100;
    ExpectBoth(split.substr(0, second) + Chunk("tEXt", std::string("a\0b", 3)) + split.substr(second), nullptr);
    ExpectBoth(split.substr(0, second + 50), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothInflaters, PngDataTest, ::testing::Values("png.spi", "pngzlib.spi"),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             return info.param == "png.spi" ? std::string("Built") : std::string("Zlib");
                         });

} // namespace
