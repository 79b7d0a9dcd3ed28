#include "spi/SpiModule.h"

#include "platform/DynLib.h"
#include "platform/Encoding.h"
#include "spi/SpiProcess.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<SpiIsolation> isolation{SpiIsolation::Helper};

// A plug-in that keeps answering is cut off here rather than looping for ever.
constexpr int32_t kMaxInfoNumber = 4096;

// A library loaded into this process; its exports are called directly.
class LocalSpiModule : public SpiModule {
public:
    explicit LocalSpiModule(std::unique_ptr<DynLib> lib) : lib_(std::move(lib)), entry_(LookUpSpiEntryPoints(*lib_))
    {
        loadedPath_ = lib_->LoadedPath();
        exports_ = entry_.Exports;
    }

    SpiDescription Describe() override
    {
        return DescribeWith([this](int32_t n, char *buf, int32_t len) { return entry_.GetPluginInfo(n, buf, len); });
    }
    int32_t GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) override
    {
        return entry_.GetPluginInfo(infoNo, buf, bufLen);
    }
    int32_t IsSupported(const char *fileName, const void *data) override { return entry_.IsSupported(fileName, data); }
    int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) override
    {
        return entry_.GetPictureInfo(buf, len, flag, info);
    }
    int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                       SPI_PROGRESS progress, intptr_t user) override
    {
        return entry_.GetPicture(buf, len, flag, bitmapInfo, bits, progress, user);
    }
    int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                           SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) override
    {
        return entry_.GetPictureRows(buf, len, flag, wantWidth, wantHeight, rows, progress, user);
    }

private:
    std::unique_ptr<DynLib> lib_;
    SpiEntryPoints entry_;
};

// The text of one information number; empty when the plug-in has none. The plug-in is told of 255
// bytes but may write more than it was told: the buffer has room to spare, and only the first 256
// bytes are ever read.
std::string InfoText(const std::function<int32_t(int32_t, char *, int32_t)> &getPluginInfo, int32_t infoNo)
{
    char buf[1024] = {};
    if (getPluginInfo(infoNo, buf, 255) <= 0)
        return std::string();
    return std::string(buf, ::strnlen(buf, 256));
}

std::string PluginShown(const std::string &cp932Path)
{
    return Cp932ToUtf8Lossy(cp932Path);
}

} // namespace

void SetSpiIsolation(SpiIsolation value)
{
    isolation = value;
}

SpiIsolation CurrentSpiIsolation()
{
    return isolation;
}

SpiEntryPoints LookUpSpiEntryPoints(const DynLib &lib)
{
    SpiEntryPoints entry;
    const auto lookup = [&](const char *name, uint32_t bit) {
        void *symbol = lib.Symbol(name);
        if (symbol != nullptr)
            entry.Exports |= bit;
        return symbol;
    };
    entry.GetPluginInfo = reinterpret_cast<SPI_GetPluginInfo>(lookup("GetPluginInfo", spiGetPluginInfo));
    lookup("ConfigurationDlg", spiConfigurationDlg);
    entry.IsSupported = reinterpret_cast<SPI_IsSupported>(lookup("IsSupported", spiIsSupported));
    entry.GetPictureInfo = reinterpret_cast<SPI_GetPictureInfo>(lookup("GetPictureInfo", spiGetPictureInfo));
    entry.GetPicture = reinterpret_cast<SPI_GetPicture>(lookup("GetPicture", spiGetPicture));
    lookup("GetPreview", spiGetPreview);
    lookup("GetArchiveInfo", spiGetArchiveInfo);
    lookup("GetFileInfo", spiGetFileInfo);
    lookup("GetFile", spiGetFile);
    entry.GetPictureRows = reinterpret_cast<SPI_GetPictureRows>(lookup("GetPictureRows", spiGetPictureRows));
    return entry;
}

std::unique_ptr<SpiModule> OpenSpiModule(const std::string &cp932Path, SpiOpenFailure &failure)
{
    if (isolation == SpiIsolation::Helper)
        return OpenHelperSpiModule(cp932Path, failure);
    std::unique_ptr<DynLib> lib = DynLib::Open(cp932Path);
    if (!lib) {
        failure.Reason = DynLib::Refused() ? DynLib::LastError() : std::string();
        failure.WorthTelling = DynLib::Refused();
        return nullptr;
    }
    return std::make_unique<LocalSpiModule>(std::move(lib));
}

SpiDescription DescribeWith(const std::function<int32_t(int32_t, char *, int32_t)> &getPluginInfo)
{
    SpiDescription d;
    d.APIVersion = InfoText(getPluginInfo, 0);
    d.PluginName = InfoText(getPluginInfo, 1);
    for (int32_t n = 2; n < kMaxInfoNumber; n += 2) {
        std::string pattern = InfoText(getPluginInfo, n);
        if (pattern.empty())
            break;
        std::string description = InfoText(getPluginInfo, n + 1);
        if (description.empty())
            break;
        d.Extensions.push_back(std::move(pattern));
        d.Descriptions.push_back(std::move(description));
    }
    return d;
}

ESPIPluginFailed ESPIPluginFailed::ForPicture(const std::string &cp932Picture) const
{
    const std::string picture = cp932Picture.empty() ? std::string("画像") : Cp932ToUtf8Lossy(cp932Picture);
    const char *pattern = Hung ? "プラグイン %s が %s の読み込み中に応答しなくなりました"
                               : "プラグイン %s が %s の読み込み中に異常終了しました";
    return ESPIPluginFailed(PluginPath, Hung, FormatMessage(pattern, {PluginShown(PluginPath), picture}));
}

ESPIPluginFailed ESPIPluginFailed::AtSearch() const
{
    const char *pattern = Hung ? "プラグイン %s が情報の問い合わせ中に応答しなくなりました"
                               : "プラグイン %s が情報の問い合わせ中に異常終了しました";
    return ESPIPluginFailed(PluginPath, Hung, FormatMessage(pattern, {PluginShown(PluginPath)}));
}
