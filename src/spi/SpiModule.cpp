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
    explicit LocalSpiModule(std::unique_ptr<DynLib> lib) : lib_(std::move(lib))
    {
        loadedPath_ = lib_->LoadedPath();
        getPluginInfo_ = Lookup<SPI_GetPluginInfo>("GetPluginInfo", spiGetPluginInfo);
        Lookup<void *>("ConfigurationDlg", spiConfigurationDlg);
        isSupported_ = Lookup<SPI_IsSupported>("IsSupported", spiIsSupported);
        getPictureInfo_ = Lookup<SPI_GetPictureInfo>("GetPictureInfo", spiGetPictureInfo);
        getPicture_ = Lookup<SPI_GetPicture>("GetPicture", spiGetPicture);
        Lookup<void *>("GetPreview", spiGetPreview);
        Lookup<void *>("GetArchiveInfo", spiGetArchiveInfo);
        Lookup<void *>("GetFileInfo", spiGetFileInfo);
        Lookup<void *>("GetFile", spiGetFile);
        getPictureRows_ = Lookup<SPI_GetPictureRows>("GetPictureRows", spiGetPictureRows);
    }

    SpiDescription Describe() override
    {
        return DescribeWith([this](int32_t n, char *buf, int32_t len) { return getPluginInfo_(n, buf, len); });
    }
    int32_t GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) override
    {
        return getPluginInfo_(infoNo, buf, bufLen);
    }
    int32_t IsSupported(const char *fileName, const void *data) override { return isSupported_(fileName, data); }
    int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) override
    {
        return getPictureInfo_(buf, len, flag, info);
    }
    int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                       SPI_PROGRESS progress, intptr_t user) override
    {
        return getPicture_(buf, len, flag, bitmapInfo, bits, progress, user);
    }
    int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                           SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) override
    {
        return getPictureRows_(buf, len, flag, wantWidth, wantHeight, rows, progress, user);
    }

private:
    template <class F> F Lookup(const char *name, uint32_t bit)
    {
        void *entry = lib_->Symbol(name);
        if (entry != nullptr)
            exports_ |= bit;
        return reinterpret_cast<F>(entry);
    }

    std::unique_ptr<DynLib> lib_;
    SPI_GetPluginInfo getPluginInfo_ = nullptr;
    SPI_IsSupported isSupported_ = nullptr;
    SPI_GetPictureInfo getPictureInfo_ = nullptr;
    SPI_GetPicture getPicture_ = nullptr;
    SPI_GetPictureRows getPictureRows_ = nullptr;
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
