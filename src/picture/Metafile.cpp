#include "picture/Metafile.h"

#include "platform/Exceptions.h"

#include <QFileInfo>
#include <QIODevice>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace {

uint32_t ReadLE32(const QByteArray &d, qsizetype at)
{
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int32_t ReadI32(const QByteArray &d, qsizetype at)
{
    return static_cast<int32_t>(ReadLE32(d, at));
}
int16_t ReadI16(const QByteArray &d, qsizetype at)
{
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData()) + at;
    return static_cast<int16_t>(uint16_t(p[0]) | uint16_t(p[1]) << 8);
}
uint16_t ReadU16(const QByteArray &d, qsizetype at)
{
    return static_cast<uint16_t>(ReadI16(d, at));
}

bool IsEmf(const QByteArray &d)
{
    return d.size() >= 88 && ReadLE32(d, 0) == 1 && ReadLE32(d, 40) == 0x464D4520;
}
bool IsPlaceableWmf(const QByteArray &d)
{
    return d.size() >= 22 + 18 && ReadLE32(d, 0) == 0x9AC6CDD7;
}
bool IsPlainWmf(const QByteArray &d)
{
    return d.size() >= 18 && (ReadU16(d, 0) == 1 || ReadU16(d, 0) == 2) && ReadU16(d, 2) == 9;
}

int PixelsAt96(double extent, double unitsPerInch)
{
    const double px = std::round(std::fabs(extent) * 96.0 / unitsPerInch);
    return px > 1e6 ? 1000000 : int(px);
}

[[noreturn]] void Invalid()
{
    throw EInvalidGraphic("メタファイル イメージは有効ではありません");
}

// libwmf cannot play any old-style metafile without the standard PostScript fonts it maps every
// metafile font to; Debian ships them in a package that a minimal install leaves out.
std::string &WmfFontDir()
{
    static std::string dir = "/usr/share/fonts/type1/urw-base35";
    return dir;
}

bool WmfFontsMissing()
{
    for (const char *name :
         {"NimbusMonoPS-Regular", "NimbusMonoPS-Italic", "NimbusMonoPS-Bold", "NimbusMonoPS-BoldItalic",
          "NimbusSans-Regular", "NimbusSans-Italic", "NimbusSans-Bold", "NimbusSans-BoldItalic", "NimbusRoman-Regular",
          "NimbusRoman-Italic", "NimbusRoman-Bold", "NimbusRoman-BoldItalic", "StandardSymbolsPS"}) {
        if (!QFileInfo(QString::fromStdString(WmfFontDir() + "/" + name + ".t1")).isFile())
            return true;
    }
    return false;
}

// A failure of libwmf itself: the missing fonts are named when they are the likely cause, since
// the generic message would send the user looking for a fault in a file that is fine.
[[noreturn]] void WmfFailed()
{
    if (WmfFontsMissing())
        throw EInvalidGraphic(FormatMessage("メタファイル (WMF) の表示に必要なフォントが %s にありません。"
                                            "Debian パッケージ fonts-urw-base35 をインストールしてください"
                                            " (sudo apt install fonts-urw-base35)",
                                            {WmfFontDir()}));
    Invalid();
}

} // namespace

const TGraphicClass &TMetafile::ClassInfo()
{
    return GraphicClassOf<TMetafile, TGraphic>("TMetafile");
}

void TMetafile::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = stream.readAll();
    if (IsEmf(data))
        LoadEmf(data);
    else if (IsPlaceableWmf(data) || IsPlainWmf(data))
        LoadWmf(data);
    else
        Invalid();
}

void TMetafile::LoadEmf(const QByteArray &data)
{
    // The frame rectangle is in hundredths of a millimetre.
    const int width = PixelsAt96(double(ReadI32(data, 32)) - ReadI32(data, 24), 2540.0);
    const int height = PixelsAt96(double(ReadI32(data, 36)) - ReadI32(data, 28), 2540.0);
    generatorOptions options{};
    char nameSpace[] = "";
    options.nameSpace = nameSpace;
    options.svgDelimiter = true;
    options.emfplus = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char *out = nullptr;
    size_t outLength = 0;
    QByteArray copy = data; // the converter takes a non-const buffer
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &out, &outLength, &options);
    QByteArray svg;
    if (out != nullptr) {
        svg = QByteArray(out, qsizetype(outLength));
        std::free(out);
    }
    if (!ok || svg.isEmpty() || !QSvgRenderer(svg).isValid())
        Invalid();
    svg_ = std::move(svg);
    width_ = width;
    height_ = height;
}

void TMetafile::LoadWmf(const QByteArray &data)
{
    // libwmf works in points: the placeable header's frame (in metafile units) is converted to them.
    bool haveFrame = false;
    wmfD_Rect frame{};
    if (IsPlaceableWmf(data)) {
        const int unitsPerInch = ReadU16(data, 14);
        if (unitsPerInch == 0)
            Invalid();
        const float toPoints = 72.0f / float(unitsPerInch);
        frame.TL.x = float(ReadI16(data, 6)) * toPoints;
        frame.TL.y = float(ReadI16(data, 8)) * toPoints;
        frame.BR.x = float(ReadI16(data, 10)) * toPoints;
        frame.BR.y = float(ReadI16(data, 12)) * toPoints;
        haveFrame = frame.BR.x != frame.TL.x && frame.BR.y != frame.TL.y;
    }
    // libwmf allocates a buffer of the header's largest-record size before reading any record; a
    // record cannot be longer than the file, so a larger claim is a broken file, not gigabytes.
    const qsizetype header = IsPlaceableWmf(data) ? 22 : 0;
    if (uint64_t(ReadLE32(data, header + 12)) * 2 > uint64_t(data.size() - header))
        Invalid();
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI *api = nullptr;
    // Without NO_ERROR and NO_DEBUG libwmf prints every problem of a broken file on stderr.
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api != nullptr)
            wmf_api_destroy(api);
        WmfFailed();
    }
    QByteArray copy = data;
    wmfD_Rect bbox{};
    int width = 0;
    int height = 0;
    bool ok = wmf_mem_open(api, reinterpret_cast<unsigned char *>(copy.data()), long(copy.size())) == wmf_E_None &&
              wmf_scan(api, 0, &bbox) == wmf_E_None;
    char *out = nullptr;
    unsigned long outLength = 0;
    if (ok) {
        unsigned displayWidth = 0, displayHeight = 0;
        wmf_display_size(api, &displayWidth, &displayHeight, 96.0, 96.0);
        width = int(std::min(displayWidth, 1000000u));
        height = int(std::min(displayHeight, 1000000u));
        wmf_svg_t *svgData = WMF_SVG_GetData(api);
        svgData->out = wmf_stream_create(api, nullptr);
        svgData->Description = nullptr;
        // The header's frame, not the extent of what is drawn, is the picture's area.
        svgData->bbox = haveFrame ? frame : bbox;
        svgData->width = unsigned(std::max(width, 1));
        svgData->height = unsigned(std::max(height, 1));
        ok = wmf_play(api, 0, &bbox) == wmf_E_None;
        wmf_stream_destroy(api, svgData->out, &out, &outLength);
    }
    // The output belongs to libwmf's memory manager and goes with the API object.
    QByteArray svg;
    if (out != nullptr)
        svg = QByteArray(out, qsizetype(outLength));
    wmf_mem_close(api);
    wmf_api_destroy(api);
    if (!ok)
        WmfFailed();
    if (svg.isEmpty() || !QSvgRenderer(svg).isValid())
        Invalid();
    svg_ = std::move(svg);
    width_ = width;
    height_ = height;
}

std::string TMetafile::SetWmfFontDirForTest(std::string dir)
{
    std::swap(WmfFontDir(), dir);
    return dir;
}

QImage TMetafile::StretchedImage(const QSize &size) const
{
    CheckPixelMemory(size.width(), size.height(), 4);
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw EOutOfMemory(FormatMessage("画像 (%sx%s) のメモリを確保できません",
                                         {std::to_string(size.width()), std::to_string(size.height())}));
    // Metafiles draw on paper: an unpainted background is white.
    image.fill(Qt::white);
    QSvgRenderer renderer(svg_);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size.width(), size.height()));
    painter.end();
    return image;
}
