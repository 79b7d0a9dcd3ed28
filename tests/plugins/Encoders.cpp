#include "Encoders.h"

#include "TempHome.h"

#include <csetjmp>
#include <gif_lib.h>
#include <png.h>
#include <stdexcept>
#include <tiffio.h>
#include <vector>
#include <webp/encode.h>

uint32_t TestColour(int x, int y, bool alpha)
{
    const uint32_t r = (x * 40 + 10) & 0xff, g = (y * 30 + 20) & 0xff, b = (x * y * 7 + 50) & 0xff;
    const uint32_t a = alpha ? (x * 60 + 15) & 0xff : 0xff;
    return a << 24 | r << 16 | g << 8 | b;
}

uint32_t OnBlack(uint32_t argb)
{
    const uint32_t a = argb >> 24;
    auto mix = [a](uint32_t c) { return (c * a + 127) / 255; };
    return mix(argb >> 16 & 0xff) << 16 | mix(argb >> 8 & 0xff) << 8 | mix(argb & 0xff);
}

namespace {
void AppendPng(png_structp png, png_bytep data, size_t size)
{
    static_cast<std::string *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), size);
}
void NoFlush(png_structp) {}
} // namespace

std::string EncodePng(int width, int height, PngKind kind, bool interlaced, PngFilter filter)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<std::vector<png_byte>> rows(static_cast<size_t>(height));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png encoding failed");
    }
    png_set_write_fn(png, &out, AppendPng, NoFlush);
    const int colourType = kind == PngKind::Rgba                      ? PNG_COLOR_TYPE_RGBA
                           : kind == PngKind::Gray                    ? PNG_COLOR_TYPE_GRAY
                           : kind == PngKind::PaletteWithTransparency ? PNG_COLOR_TYPE_PALETTE
                                                                      : PNG_COLOR_TYPE_RGB;
    const int depth = kind == PngKind::Rgb16 ? 16 : 8;
    png_set_IHDR(png, info, width, height, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (filter != PngFilter::Default) {
        const int filters[] = {0, PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
        png_set_filter(png, PNG_FILTER_TYPE_BASE, filters[static_cast<int>(filter)]);
    }
    if (kind == PngKind::PaletteWithTransparency) {
        // Entry i is the colour of pixel (i % width, i / width); entry 0 is half transparent.
        std::vector<png_color> palette;
        std::vector<png_byte> alpha{128};
        for (int i = 0; i < width * height; ++i) {
            const uint32_t c = TestColour(i % width, i / width, false);
            palette.push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        png_set_tRNS(png, info, alpha.data(), 1, nullptr);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = TestColour(x, y, kind == PngKind::Rgba);
            const png_byte r = png_byte(c >> 16), g = png_byte(c >> 8), b = png_byte(c), a = png_byte(c >> 24);
            auto &row = rows[static_cast<size_t>(y)];
            switch (kind) {
            case PngKind::Rgb:
                row.insert(row.end(), {r, g, b});
                break;
            case PngKind::Rgb16:
                row.insert(row.end(), {r, r, g, g, b, b});
                break;
            case PngKind::Rgba:
                row.insert(row.end(), {r, g, b, a});
                break;
            case PngKind::Gray:
                row.push_back(r);
                break;
            case PngKind::PaletteWithTransparency:
                row.push_back(png_byte(y * width + x));
                break;
            }
        }
    }
    std::vector<png_bytep> pointers;
    pointers.reserve(rows.size());
    for (auto &row : rows)
        pointers.push_back(row.data());
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string EncodeGif(const std::string &path)
{
    int error = 0;
    GifFileType *gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr)
        throw std::runtime_error("gif open failed");
    EGifSetGifVersion(gif, true);
    ColorMapObject *map = GifMakeMapObject(4, nullptr);
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = TestColour(i % 2, i / 2, false);
        map->Colors[i] = {GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)};
    }
    EGifPutScreenDesc(gif, 4, 3, 8, 0, map);
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = 3;
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    GifByteType ext[4];
    const size_t len = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext);
    EGifPutImageDesc(gif, 1, 1, 2, 2, false, nullptr);
    GifPixelType row0[] = {0, 1}, row1[] = {2, 3};
    EGifPutLine(gif, row0, 2);
    EGifPutLine(gif, row1, 2);
    EGifPutImageDesc(gif, 0, 0, 4, 3, false, nullptr);
    GifPixelType zeros[4] = {};
    for (int y = 0; y < 3; ++y)
        EGifPutLine(gif, zeros, 4);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return ReadFileBytes(path);
}

std::string EncodeWebp(int width, int height, bool alpha)
{
    std::vector<uint8_t> bgra;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = TestColour(x, y, alpha);
            bgra.insert(bgra.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)});
        }
    uint8_t *out = nullptr;
    const size_t size = WebPEncodeLosslessBGRA(bgra.data(), width, height, width * 4, &out);
    std::string data(reinterpret_cast<const char *>(out), size);
    WebPFree(out);
    return data;
}

std::string EncodeTiff(const std::string &path, int width, int height, bool alpha)
{
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr)
        throw std::runtime_error("tiff open failed");
    const uint16_t channels = alpha ? 4 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(1));
    if (alpha) {
        uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = TestColour(x, y, alpha);
            uint8_t *p = &row[static_cast<size_t>(x) * channels];
            p[0] = uint8_t(c >> 16);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c);
            if (alpha)
                p[3] = uint8_t(c >> 24);
        }
        TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
    }
    TIFFClose(tif);
    return ReadFileBytes(path);
}
