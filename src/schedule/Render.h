#pragma once

#include "platform/Exceptions.h"
#include "platform/TileMode.h"
#include "platform/desktop/Monitors.h"
#include "render/Scaling.h"
#include "render/StreamRender.h"

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Desktop;
class Registry;
class ScreenMetrics;

// The picture of a change cannot be used: its file is missing or unreadable, its extension names no
// known format, its data is corrupt, its plug-in fails on it, or no wallpaper can be made of it at
// its correction (a size beyond the limits or the memory guard). The fault is the entry's, not the
// output bitmap's, the desktop's or the settings', so a schedule may pass over the entry. The
// message is the reader's own; PicturePath names the file.
class EPictureUnusable : public Exception {
public:
    EPictureUnusable(std::string cp932PicturePath, const std::string &message)
        : Exception(message), picturePath_(std::move(cp932PicturePath))
    {
    }
    const std::string &PicturePath() const { return picturePath_; }

private:
    std::string picturePath_; // CP932
};

// Runs `read`, the part of a render that reads, decodes and sizes the picture, and raises its failure
// (any of the program's exceptions but EAbort) as EPictureUnusable of `cp932PicturePath`.
template <class Read> decltype(auto) ReadingPicture(const std::string &cp932PicturePath, Read &&read)
{
    try {
        return read();
    } catch (const EPictureUnusable &) {
        throw;
    } catch (const EAbort &) {
        throw;
    } catch (const Exception &e) {
        throw EPictureUnusable(cp932PicturePath, e.Message());
    }
}

// One entry of a group, decoded for a change.
struct WallPaperChoice {
    std::string PicturePath; // CP932
    TileMode TileValue = TileMode::Centre;
    int32_t Correction = -1; // -1 none, 0 auto, else percent
    bool operator==(const WallPaperChoice &) const = default;
};

// The reader that streams the path's rows, as the format registry chooses it: None for a picture of a
// plug-in (also one that took a built-in extension over), an icon or a metafile.
StreamFormat RegisteredStreamFormat(const std::string &cp932PicturePath);

// A picture scaled for a screen: the image and the size that its correction gives.
struct ScaledWallPaper {
    QImage Image;
    TWallPaperSize Size;
};
// Loads the picture and scales it by `correction` for a screen of screenWidth x screenHeight, or to
// `exactSize` when given (the correction's size is still worked out, and its errors raised). Every
// failure is the picture's (EPictureUnusable).
ScaledWallPaper ScaleWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::optional<QSize> &exactSize = std::nullopt);

// Loads the picture, scales it by `correction` (-1 none, 0 auto, else percent) for a screen of
// screenWidth x screenHeight and writes the 24-bit BMP to `outputPath`, replacing the old file
// atomically. Returns the written size. Every failure raises before the output file is touched: the
// picture's (loading, decoding, a size that cannot be made, the memory guard) as EPictureUnusable, the
// output's (writing) as the writer raised it.
TWallPaperSize RenderWallPaper(const std::string &cp932PicturePath, int32_t correction, int32_t screenWidth,
                               int32_t screenHeight, const std::string &cp932OutputPath);

// The whole change of wallpaper: RenderWallPaper for the current screen, then TileWallpaper ("0", "1",
// "2") under "Control Panel\desktop", then the desktop is told to show `wallPaperPath`. A failure leaves
// the later steps undone.
void ApplyWallPaper(const std::string &cp932PicturePath, TileMode tileValue, int32_t correction,
                    const std::string &cp932WallPaperPath, ScreenMetrics &screen, Registry &registry, Desktop &desktop);

// Renders choices[i] (repeating the choices when there are fewer) for layout[i] into one 24-bit BMP
// over the layout's bounding box, black where no monitor is, and writes monitor i's rectangle to
// cp932PiecePaths[i] when given. Every file is replaced atomically; a failure raises before the output
// file is touched (a picture's as EPictureUnusable naming it). Returns the box.
MonitorBox RenderMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                                   const std::string &cp932OutputPath,
                                   const std::vector<std::string> &cp932PiecePaths = {});
// The file of monitor `index`'s piece beside the output bitmap: NAME.CONNECTOR.bmp (NAME.monitorN.bmp
// for a monitor without a plain name).
std::string MonitorPiecePath(const std::string &cp932OutputPath, const MonitorLayout &layout, size_t index);
// A change with one picture per monitor: renders the bitmap (and the pieces, for a desktop that
// takes a file per monitor), writes TileWallpaper "0" and has the desktop show it. Raises the
// desktop's EPerMonitorUnsupported before anything is written when it cannot show one per monitor.
void ApplyMonitorWallPapers(const std::vector<WallPaperChoice> &choices, const MonitorLayout &layout,
                            const std::string &cp932WallPaperPath, Registry &registry, Desktop &desktop);
