#pragma once

#include "render/RowPipeline.h"
#include "render/RowSource.h"
#include "render/Scaling.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The formats whose rows can be read one by one, straight from the file into the output bitmap.
enum class StreamFormat { None, Jpeg, PlainBmp };

// The format the built-in readers give the path's extension ("bmp", "jpg", "jpeg", any case), as
// long as no plug-in has taken the extension over.
StreamFormat BuiltInStreamFormat(const std::string &cp932Path);

// Renders the picture into the 24-bit BMP at `cp932OutputPath` row by row, when `format` can read it
// in rows and the wallpaper is not larger than the picture (JPEG: than its nearest DCT scale): rows
// go from the file through the area resampler straight to their places in the new output file, which
// then replaces the old one atomically. Returns the wallpaper's size; nullopt, having written nothing,
// when the picture is not one that streams (another kind of BMP, an enlarged picture).
// Raises what the general path raises: the file's EInOutError, the decoder's EInvalidGraphic, the
// size's errors and the memory guard's EOutOfMemory before the output is touched; the output's
// EInOutError; EInvalidGraphic when the file turns out cut or changed while it is read. On every
// failure the old output stays as it was.
std::optional<TWallPaperSize> StreamWallPaper(const std::string &cp932PicturePath, StreamFormat format,
                                              int32_t correction, int32_t screenWidth, int32_t screenHeight,
                                              const std::string &cp932OutputPath);

// Where the rows of a streamed render go other than a bitmap file: the sink `Open` makes once the size
// is known, given the rows in `Format`. `Exact`, when set, is the size made instead of the
// correction's (a picture stretched over a monitor; the correction's size is still worked out, and
// its errors raised).
struct StreamOutput {
    OpenRowSink Open;
    RowFormat Format = RowFormat::Bgr24;
    std::optional<TWallPaperSize> Exact;
};
// StreamWallPaper's rows into `output`: every row has reached the sink when it returns the
// correction's size; nullopt, with Open never called, when the picture is not one that streams.
std::optional<TWallPaperSize> StreamWallPaperRows(const std::string &cp932PicturePath, StreamFormat format,
                                                  int32_t correction, int32_t screenWidth, int32_t screenHeight,
                                                  const StreamOutput &output);

// The output side of a streamed render for a reader that knows the picture's size before its rows
// (the plain BMP reader): the wallpaper's size, the sink `output` opens for it, and the pipeline that
// averages the rows into it. The reader reads its rows straight into the pipeline's buffers.
//
//     WallPaperStream stream(width, height, RowFormat::Bgr24, correction, screenW, screenH, output);
//     if (stream.Enlarges()) ... the general path ...
//     stream.Rows().NextFree() ... stream.Rows().Submit(batch, count) ...
//     TWallPaperSize size = stream.Commit();
class WallPaperStream {
public:
    // Works out the wallpaper's size (raising its errors and the memory guard's EOutOfMemory); unless
    // that is larger than the picture either way, opens the output's sink at that size (see
    // StreamOutput) and makes the pipeline.
    WallPaperStream(unsigned pictureWidth, unsigned pictureHeight, RowFormat format, int32_t correction,
                    int32_t screenWidth, int32_t screenHeight, const StreamOutput &output,
                    std::function<void(unsigned char *row)> prepare = {});
    // The wallpaper is larger than the picture: nothing was made, the general path scales it.
    bool Enlarges() const { return !pipeline_; }
    const TWallPaperSize &Size() const { return size_; }
    RowPipeline &Rows() { return *pipeline_; }
    // After the last row: waits until every row has reached the sink. Raises the sink's failure.
    TWallPaperSize Commit();

private:
    TWallPaperSize size_;
    std::optional<RowPipeline> pipeline_;
};

// Renders the rows `source` delivers (top row first, at least `size` in both directions: a plug-in
// picture's rows to draw) into the 24-bit BMP at `cp932OutputPath`, made when the first row comes.
// Returns false, the old output left as it was, when the source failed on the way; raises what the
// output raises.
bool StreamRows(RowSource &source, const TWallPaperSize &size, const std::string &cp932OutputPath);
