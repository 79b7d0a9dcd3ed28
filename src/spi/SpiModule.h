#pragma once

#include "platform/Exceptions.h"
#include "spi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DynLib;

// The exports a plug-in library may have, as bits.
enum SpiExport : uint32_t {
    spiGetPluginInfo = 1u << 0,
    spiConfigurationDlg = 1u << 1,
    spiIsSupported = 1u << 2,
    spiGetPictureInfo = 1u << 3,
    spiGetPicture = 1u << 4,
    spiGetPreview = 1u << 5,
    spiGetArchiveInfo = 1u << 6,
    spiGetFileInfo = 1u << 7,
    spiGetFile = 1u << 8,
    spiGetPictureRows = 1u << 9,
};

// The entry points of a plug-in library that the host calls, null where the library lacks one.
struct SpiEntryPoints {
    // A bit for every export the library has, also those the host never calls.
    uint32_t Exports = 0;
    SPI_GetPluginInfo GetPluginInfo{};
    SPI_IsSupported IsSupported{};
    SPI_GetPictureInfo GetPictureInfo{};
    SPI_GetPicture GetPicture{};
    SPI_GetPictureRows GetPictureRows{};
};
SpiEntryPoints LookUpSpiEntryPoints(const DynLib &lib);

// The information texts a library gives when it is created: number 0 (its API version), number 1
// (its name), then pattern lists and their descriptions from number 2 on, until one is missing.
struct SpiDescription {
    std::string APIVersion;
    std::string PluginName;
    std::vector<std::string> Extensions;
    std::vector<std::string> Descriptions;
};

// A plug-in library as the host calls it: loaded in the plug-in helper process, or (for fuzzing and
// comparing) in this one. The calls are the exports of spi.h with their results; a missing export
// must not be called (Exports() tells which there are). Calls through the helper raise
// ESPIPluginFailed when the helper died or stopped answering during the call.
class SpiModule {
public:
    virtual ~SpiModule() = default;

    uint32_t Exports() const { return exports_; }
    // The path the library was loaded by (CP932).
    const std::string &LoadedPath() const { return loadedPath_; }

    // GetPluginInfo 0, 1, 2, ... as the creation of a plug-in asks them (the texts cut at 256 bytes).
    virtual SpiDescription Describe() = 0;
    virtual int32_t GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) = 0;
    virtual int32_t IsSupported(const char *fileName, const void *data) = 0;
    virtual int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) = 0;
    virtual int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                               SPI_PROGRESS progress, intptr_t user) = 0;
    virtual int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                                   SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) = 0;

protected:
    uint32_t exports_ = 0;
    std::string loadedPath_;
};

// Where plug-in code runs: in the helper process (the program's way), or in this process.
enum class SpiIsolation { Helper, InProcess };
void SetSpiIsolation(SpiIsolation isolation);
SpiIsolation CurrentSpiIsolation();

// Why a library was not opened. Unloadable files (no library at all) are skipped without a word;
// a library refused as unsafe, or one whose loading crashed or hung the helper, is worth telling.
struct SpiOpenFailure {
    std::string Reason; // UTF-8; empty for a file that is no library
    bool WorthTelling = false;
};

// Loads the library at `cp932Path` where the isolation says. Returns null on failure, with the reason.
std::unique_ptr<SpiModule> OpenSpiModule(const std::string &cp932Path, SpiOpenFailure &failure);

// The texts a library gives for its creation, asked through `getPluginInfo` in the creation's order.
SpiDescription DescribeWith(const std::function<int32_t(int32_t, char *, int32_t)> &getPluginInfo);

// The plug-in helper died (a crash) or stopped answering (a hang) during a call of a plug-in. The
// message names the plug-in and, once the loader added it, the picture.
class ESPIPluginFailed : public EInvalidGraphic {
public:
    ESPIPluginFailed(std::string cp932PluginPath, bool hung, std::string message)
        : EInvalidGraphic(std::move(message)), PluginPath(std::move(cp932PluginPath)), Hung(hung)
    {
    }
    // The same failure, told of the picture `cp932Picture` (empty: a picture without a name).
    ESPIPluginFailed ForPicture(const std::string &cp932Picture) const;
    // The same failure, told of the search that asked the plug-in for its information.
    ESPIPluginFailed AtSearch() const;

    std::string PluginPath;
    bool Hung;
};
