#pragma once

#include "render/RowSink.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// JPEG decoding by libjpeg without Qt: the header, the scale, and the decoded rows handed out in
// batches as libjpeg makes them. libjpeg reports fatal errors by longjmp; it jumps back into plain-C
// frames that hold no objects with destructors, and the C++ caller raises afterwards.

// Where the compressed bytes are: a memory block, or an open file that is read in pieces (so that a
// big photo is never held whole).
struct JpegInput {
    const unsigned char *Data = nullptr;
    size_t Size = 0;
    int Fd = -1;                // used when Data is null
    const char *Name = nullptr; // the file's name for messages (UTF-8), or null
};

// How the picture is decoded, chosen once its size is known.
struct JpegDecodeSettings {
    unsigned ScaleNumerator = 8; // of n/8, 1..8
    // Interpolated chroma; without it the chroma planes are replicated: faster, for pictures that are
    // shrunk further anyway.
    bool FancyUpsampling = true;
    RowFormat Format = RowFormat::Xrgb32; // CMYK pictures always come as four bytes per pixel
};

// Where a decode's rows go. It is called from inside libjpeg's frames, so none of these may raise: a
// failure is kept by the target and raised by its owner after DecodeJpeg returned. The target lends
// the memory libjpeg decodes into (a pipeline's buffers, or a whole picture's), so that no row is
// copied on the way: that is why it is not a RowReceiver, which is handed rows held elsewhere.
class JpegRowTarget {
public:
    virtual ~JpegRowTarget() = default;
    // The picture's size and colour space are known; false stops here (only the header was wanted, or
    // the target failed).
    virtual bool Configure(unsigned width, unsigned height, bool cmyk, JpegDecodeSettings &settings) noexcept = 0;
    // The scaled size is known: the buffer for the first rows with its row stride and how many rows
    // it holds (at least one); null stops. `adobeInverted`: the CMYK values are stored inverted (Adobe's way).
    virtual unsigned char *Begin(unsigned width, unsigned height, bool adobeInverted, size_t &stride,
                                 unsigned &capacity) noexcept = 0;
    // Takes `count` filled rows and returns where the next ones go (just after them, when the target
    // holds the whole picture); null stops.
    virtual unsigned char *Rows(unsigned char *filled, unsigned count) noexcept = 0;
};

// Decodes `input` into `target`. Returns false when the target stopped it; raises EInvalidGraphic
// with JpegErrorMessage when libjpeg cannot decode the data.
bool DecodeJpeg(const JpegInput &input, JpegRowTarget &target);

// What a user can tell apart among libjpeg's errors.
enum class JpegFault { NotJpeg, Empty, Truncated, ReadError, Unsupported, TooLarge, OutOfMemory, Corrupt };
// The fault behind one of libjpeg's message codes (`msg_code`).
JpegFault JpegFaultOf(int libjpegMessageCode);
// "画像 NAME を読み込めません: REASON" in Japanese; "JPEG 画像を読み込めません: REASON" without a name.
std::string JpegErrorMessage(const char *utf8Name, JpegFault fault);

// The size libjpeg makes of `size` at scale n/8 (it rounds up).
constexpr int64_t JpegScaledSize(int64_t size, int numerator)
{
    return (size * numerator + 7) / 8;
}
// How a JPEG is decoded for a picture of a target size: the one choice of scale for every path.
struct JpegScale {
    int numerator = 8; // of n/8, 1..8
    bool fancyUpsampling = true;
    // Even the full size is smaller than the target in a direction: the picture is enlarged.
    bool enlarges = false;
    // Decoded larger than the target, so averaged down after (neither enlarged nor exact).
    bool shrinks = false;
};
// Nearest: the smallest n/8 whose decoded size is at least the target in both directions; shrunk
// further, with replicated chroma (its difference disappears in the averaging). The picture classes
// decode so, and their pixels are what stored wallpapers and tests were made with.
// Fastest: the same where the scale's size is the target or smaller than it; shrunk further, the
// scale that decodes fastest. libjpeg-turbo has SIMD inverse DCTs only for 1/8, 2/8, 4/8 and 8/8: the C
// ones of 5/8 to 7/8 take longer than decoding the whole picture at 8/8 and averaging the rest
// (6000x4000 to 3840x2560: 12 % less CPU time than at 6/8, and 2.5 dB closer to a careful resize).
// Below 5/8 the nearest scale is the fastest (at 3/8 for 1920x1280, 4/8 costs more averaging than its
// SIMD saves). Chroma is replicated except at 8/8, the one scale where it is upsampled rather than
// decoded at full size (replicated there, it costs 0.6 to 2 dB against a careful resize); libjpeg's
// fast DCT, at 8/8 too, would cost 8 dB.
enum class JpegScaleGoal { Nearest, Fastest };
JpegScale JpegScaleFor(int64_t width, int64_t height, int64_t targetWidth, int64_t targetHeight, JpegScaleGoal goal);

// Converts a row of CMYK pixels, four bytes each, into 0xffRRGGBB words in place.
void CmykRowToXrgb(unsigned char *row, unsigned width, bool adobeInverted);
