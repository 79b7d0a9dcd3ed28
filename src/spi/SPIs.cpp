#include "spi/SPIs.h"

#include "picture/PictureFormats.h"
#include "platform/AsciiText.h"
#include "platform/DirEnum.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

TSPIs *SPIsInstance = nullptr;
const TGraphicClass *DefaultGraphicClass = nullptr;

namespace {

// Why the last CreateSPI of this thread returned none, when it is worth telling.
thread_local SpiOpenFailure lastOpenFailure;

} // namespace

// ---- TSPI and its kinds ------------------------------------------------------------------------

TSPI::~TSPI() = default;

std::unique_ptr<TSPI> TSPI::Create(const std::string &libraryPath)
{
    std::unique_ptr<TSPI> spi(new TSPI());
    spi->Construct(libraryPath);
    return spi;
}

void TSPI::Construct(const std::string &libraryPath)
{
    lastOpenFailure = SpiOpenFailure();
    handle_ = OpenSpiModule(libraryPath, lastOpenFailure);
    if (!handle_)
        throw ESPIFOpenErrorSPI(
            FormatMessage("%s:Susie Pluginがロードできませんでした", {Cp932ToUtf8Lossy(libraryPath)}));
    fileName_ = handle_->LoadedPath();
    if (fileName_.empty())
        fileName_ = libraryPath;

    CheckAPIs();

    // Information numbers 0, 1, then the pairs from 2 on, asked in this order.
    SpiDescription description = handle_->Describe();
    apiVersion_ = std::move(description.APIVersion);
    pluginName_ = std::move(description.PluginName);
    extensions_ = std::move(description.Extensions);
    descriptions_ = std::move(description.Descriptions);
    canLoad_ = ClassCanLoad();
}

void TSPI::CheckAPIs() const
{
    RequireAPI(spiGetPluginInfo, "GetPluginInfo");
}

void TSPI::RequireAPI(uint32_t exportBit, const char *exportName) const
{
    if (!handle_ || (handle_->Exports() & exportBit) == 0)
        throw ESPIInvalidAPI(
            FormatMessage("%sは[%s]では使えないSusie Plugin APIです", {exportName, Cp932ToUtf8Lossy(fileName_)}));
}

int32_t TSPI::GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) const
{
    RequireAPI(spiGetPluginInfo, "GetPluginInfo");
    return handle_->GetPluginInfo(infoNo, buf, bufLen);
}

void TLoaderSPI::CheckAPIs() const
{
    TSPI::CheckAPIs();
    RequireAPI(spiIsSupported, "IsSupported");
}

int32_t TLoaderSPI::IsSupported(const std::string &fileName, const void *data) const
{
    RequireAPI(spiIsSupported, "IsSupported");
    return handle_->IsSupported(fileName.c_str(), data);
}

void TInSPI::CheckAPIs() const
{
    TLoaderSPI::CheckAPIs();
    RequireAPI(spiGetPictureInfo, "GetPictureInfo");
    RequireAPI(spiGetPicture, "GetPicture");
}

int32_t TInSPI::GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) const
{
    RequireAPI(spiGetPictureInfo, "GetPictureInfo");
    return handle_->GetPictureInfo(buf, len, flag, info);
}

int32_t TInSPI::GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                           SPI_PROGRESS progress, intptr_t user) const
{
    RequireAPI(spiGetPicture, "GetPicture");
    return handle_->GetPicture(buf, len, flag, bitmapInfo, bits, progress, user);
}

int32_t TInSPI::GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                               SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) const
{
    RequireAPI(spiGetPictureRows, "GetPictureRows");
    return handle_->GetPictureRows(buf, len, flag, wantWidth, wantHeight, rows, progress, user);
}

void TAmSPI::CheckAPIs() const
{
    TLoaderSPI::CheckAPIs();
    RequireAPI(spiGetArchiveInfo, "GetArchiveInfo");
    RequireAPI(spiGetFileInfo, "GetFileInfo");
    RequireAPI(spiGetFile, "GetFile");
}

std::unique_ptr<TSPI> CreateSPI(const std::string &libraryPath, std::string *whyNot)
{
    if (whyNot != nullptr)
        whyNot->clear();
    try {
        // The probe only needs GetPluginInfo; the kind's own construction checks the rest.
        std::unique_ptr<TSPI> probe = TSPI::Create(libraryPath);
        const std::string &version = probe->APIVersion();
        if (version == "00IN")
            return TInSPI::Create(libraryPath);
        if (version == "00AM")
            return TAmSPI::Create(libraryPath);
        if (version == "00XN")
            return TXnSPI::Create(libraryPath);
        return TSPI::Create(libraryPath);
    } catch (const ESPIFOpenErrorSPI &) {
        if (whyNot != nullptr && lastOpenFailure.WorthTelling)
            *whyNot = FormatMessage("プラグイン %s は読み込みません (%s)",
                                    {Cp932ToUtf8Lossy(libraryPath), lastOpenFailure.Reason});
        return nullptr;
    } catch (const ESPIInvalidSPI &) {
        return nullptr;
    } catch (const ESPIPluginFailed &e) {
        // A plug-in that crashes or hangs when asked for its information is skipped.
        if (whyNot != nullptr)
            *whyNot = e.AtSearch().Message();
        return nullptr;
    }
}

// ---- TSPIs ------------------------------------------------------------------------------------------

TSPIs::TSPIs(Registry &registry) : registry_(registry)
{
    if (SPIsInstance != nullptr)
        throw ESPIDupCreateSPIs("TSPIs は複数生成できません");
    SPIsInstance = this;
}

TSPIs::~TSPIs()
{
    if (SPIsInstance == this)
        SPIsInstance = nullptr;
    // Clear's work, first to last, without the index check that could throw.
    while (!list_.empty())
        list_.erase(list_.begin());
}

void TSPIs::Loaded()
{
    if (AutoSearch)
        Search("*.spi");
}

void TSPIs::SetDefaultGraphicClass(const TGraphicClass *graphicClass)
{
    DefaultGraphicClass = graphicClass;
}

std::string TSPIs::SearchFolder(TSPISearchOption option)
{
    try {
        switch (option) {
        case spsSusieDir:
            // A missing key or value skips the folder; so does a value that cannot be read.
            return registry_.ReadString(kSusiePluginKey, kSusiePluginValue).value_or(std::string());
        case spsAppDir:
            return FromNativePath(ExecutableFolder());
        case spsCurrentDir: {
            char cwd[PATH_MAX];
            return ::getcwd(cwd, sizeof cwd) != nullptr ? FromNativePath(cwd) : std::string();
        }
        case spsSystemDir:
        case spsWindowsDir:
            // Linux has no system or Windows folder of plug-ins; system library folders are
            // deliberately not searched.
            return std::string();
        }
    } catch (const Exception &) {
    }
    return std::string();
}

void TSPIs::Search(const std::string &mask)
{
    // A drive colon has no meaning here; '/' and '\' mark the folder part.
    const size_t sep = LastSeparatorIndex(mask);
    if (sep != std::string::npos) {
        SearchDir(mask.substr(0, sep + 1), mask.substr(sep + 1));
        return;
    }
    for (TSPISearchOption option : {spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir}) {
        if ((SearchOptions & option) == 0)
            continue;
        const std::string folder = SearchFolder(option);
        if (!folder.empty())
            SearchDir(IncludeTrailingSeparator(folder), mask);
    }
}

void TSPIs::SearchDir(const std::string &folder, const std::string &mask)
{
    // The whole folder is listed before anything is loaded.
    std::vector<std::string> candidates;
    for (const DirEntry &entry : EnumerateDirectory(folder, mask)) {
        if (!entry.representable || (entry.attributes & (faHidden | faDirectory | faVolumeID)) != 0)
            continue;
        std::string path = folder + entry.name;
        if (IndexOf(path) < 0)
            candidates.push_back(std::move(path));
    }
    for (const std::string &path : candidates) {
        bool accept = true;
        if (OnSearching)
            OnSearching(*this, path, accept);
        if (!accept)
            continue;
        std::string whyNot;
        std::unique_ptr<TSPI> spi = CreateSPI(path, &whyNot); // ESPIInvalidAPI ends the search
        if (!spi) {
            if (!whyNot.empty() && OnSkipped)
                OnSkipped(*this, path, whyNot);
            continue;
        }
        TSPI *added = spi.get();
        try {
            accept = true;
            if (OnSearch)
                OnSearch(*this, *spi, accept);
            if (accept)
                Add(std::move(spi));
        } catch (...) {
            // The plug-in is discarded and the search goes on with the next file.
            for (auto it = list_.begin(); it != list_.end(); ++it) {
                if (it->get() == added) {
                    list_.erase(it);
                    break;
                }
            }
        }
    }
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi)
{
    if (index < 0 || index > Count() || !spi)
        throw Exception(FormatMessage("リストのインデックスが範囲を超えています (%s)", {std::to_string(index)}));
    TSPI &inserted = *spi;
    list_.insert(list_.begin() + index, std::move(spi));
    if (auto *in = dynamic_cast<TInSPI *>(&inserted))
        RegisterFormats(*in);
}

void TSPIs::RegisterFormats(TInSPI &spi)
{
    const std::vector<std::string> &extensions = spi.Extensions();
    const std::vector<std::string> &descriptions = spi.Descriptions();
    for (size_t k = 0; k < extensions.size(); ++k) {
        const std::string &description = descriptions[k];
        // One class per entry: a handler's refusal carries over to the entry's remaining patterns.
        const TGraphicClass *graphicClass = DefaultGraphicClass;
        std::vector<std::string> patterns;
        size_t start = 0;
        for (;;) {
            const size_t semi = extensions[k].find(';', start);
            patterns.push_back(
                extensions[k].substr(start, semi == std::string::npos ? std::string::npos : semi - start));
            if (semi == std::string::npos)
                break;
            start = semi + 1;
        }
        for (auto it = patterns.rbegin(); it != patterns.rend(); ++it) {
            const size_t dot = it->find('.');
            const std::string extension = dot == std::string::npos ? *it : it->substr(dot + 1);
            if (extension.empty())
                continue; // an empty pattern would bind files without an extension
            if (OnPictureRegister)
                OnPictureRegister(*this, spi, extension, description, graphicClass);
            if (graphicClass != nullptr)
                RegisterPictureFormat(extension, description, *graphicClass);
        }
    }
}

void TSPIs::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw Exception(FormatMessage("リストのインデックスが範囲を超えています (%s)", {std::to_string(index)}));
    list_.erase(list_.begin() + index);
}

void TSPIs::Clear()
{
    while (!list_.empty())
        Delete(0);
}

int TSPIs::IndexOf(const std::string &fileName) const
{
    for (size_t i = 0; i < list_.size(); ++i)
        if (SameTextAscii(list_[i]->FileName(), fileName))
            return static_cast<int>(i);
    return -1;
}

TSPI &TSPIs::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception(FormatMessage("リストのインデックスが範囲を超えています (%s)", {std::to_string(index)}));
    return *list_[static_cast<size_t>(index)];
}

void TSPIs::GetSPIs(const std::function<bool(const TSPI &)> &isInstance, std::vector<TSPI *> &list,
                    const std::string &fileName) const
{
    const std::string ext = ExtractFileExt(fileName);
    for (const auto &spi : list_) {
        if (!isInstance(*spi))
            continue;
        bool declares = false;
        if (!ext.empty())
            for (const std::string &entry : spi->Extensions())
                if (SameTextAscii(ExtractFileExt(entry), ext))
                    declares = true;
        // Declaring plug-ins go to the front, so several of them end up in reverse list order.
        if (declares)
            list.insert(list.begin(), spi.get());
        else
            list.push_back(spi.get());
    }
}
