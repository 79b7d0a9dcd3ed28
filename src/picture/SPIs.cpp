#include "picture/SPIs.h"

#include "picture/PictureFormats.h"
#include "platform/AsciiText.h"
#include "platform/DirEnum.h"
#include "platform/DynLib.h"
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

// A plug-in that keeps answering is cut off here rather than looping for ever.
constexpr int32_t kMaxInfoNumber = 4096;

std::string FolderOfNative(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool FolderIsOpenToOthers(const std::string &folder)
{
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return true;
    return (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0;
}

// Code that another user could have replaced is never loaded: the file must not be writable by
// group or others, and neither its folder nor the folder it resolves to may be writable by
// others without the sticky bit.
bool SafeToLoad(const std::string &cp932Path)
{
    std::string native;
    try {
        native = ToNativePath(cp932Path);
    } catch (const EEncodingError &) {
        return false;
    }
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0)
        return true; // missing: the loader reports it
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    if (FolderIsOpenToOthers(FolderOfNative(native)))
        return false;
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved) == nullptr)
        return false;
    return !FolderIsOpenToOthers(FolderOfNative(resolved));
}

template <class F> F Lookup(const DynLib &lib, const char *name)
{
    return reinterpret_cast<F>(lib.Symbol(name));
}

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
    if (SafeToLoad(libraryPath))
        handle_ = DynLib::Open(libraryPath);
    if (!handle_)
        throw ESPIFOpenErrorSPI(
            FormatMessage("%s:Susie Pluginがロードできませんでした", {Cp932ToUtf8Lossy(libraryPath)}));
    fileName_ = handle_->LoadedPath();
    if (fileName_.empty())
        fileName_ = libraryPath;

    getPluginInfo_ = Lookup<SPI_GetPluginInfo>(*handle_, "GetPluginInfo");
    configurationDlg_ = Lookup<SPI_ConfigurationDlg>(*handle_, "ConfigurationDlg");
    isSupported_ = Lookup<SPI_IsSupported>(*handle_, "IsSupported");
    getPictureInfo_ = Lookup<SPI_GetPictureInfo>(*handle_, "GetPictureInfo");
    getPicture_ = Lookup<SPI_GetPicture>(*handle_, "GetPicture");
    getPreview_ = Lookup<SPI_GetPicture>(*handle_, "GetPreview");
    getArchiveInfo_ = Lookup<SPI_GetArchiveInfo>(*handle_, "GetArchiveInfo");
    getFileInfo_ = Lookup<SPI_GetFileInfo>(*handle_, "GetFileInfo");
    getFile_ = Lookup<SPI_GetFile>(*handle_, "GetFile");
    getPictureRows_ = Lookup<SPI_GetPictureRows>(*handle_, "GetPictureRows");

    CheckAPIs();

    apiVersion_ = InfoText(0);
    pluginName_ = InfoText(1);
    for (int32_t n = 2; n < kMaxInfoNumber; n += 2) {
        std::string pattern = InfoText(n);
        if (pattern.empty())
            break;
        std::string description = InfoText(n + 1);
        if (description.empty())
            break;
        extensions_.push_back(std::move(pattern));
        descriptions_.push_back(std::move(description));
    }
    canLoad_ = ClassCanLoad();
}

// The text of one information number; empty when the plug-in has none. The plug-in is told of 255
// bytes but may write more than it was told: the buffer has room to spare, and only the first 256
// bytes are ever read.
std::string TSPI::InfoText(int32_t infoNo) const
{
    char buf[1024] = {};
    if (GetPluginInfo(infoNo, buf, 255) <= 0)
        return std::string();
    return std::string(buf, ::strnlen(buf, 256));
}

void TSPI::CheckAPIs() const
{
    RequireAPI(reinterpret_cast<const void *>(getPluginInfo_), "GetPluginInfo");
}

void TSPI::RequireAPI(const void *entryPoint, const char *exportName) const
{
    if (entryPoint == nullptr)
        throw ESPIInvalidAPI(
            FormatMessage("%sは[%s]では使えないSusie Plugin APIです", {exportName, Cp932ToUtf8Lossy(fileName_)}));
}

int32_t TSPI::GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) const
{
    RequireAPI(reinterpret_cast<const void *>(getPluginInfo_), "GetPluginInfo");
    return getPluginInfo_(infoNo, buf, bufLen);
}

void TLoaderSPI::CheckAPIs() const
{
    TSPI::CheckAPIs();
    RequireAPI(reinterpret_cast<const void *>(isSupported_), "IsSupported");
}

int32_t TLoaderSPI::IsSupported(const std::string &fileName, const void *data) const
{
    RequireAPI(reinterpret_cast<const void *>(isSupported_), "IsSupported");
    return isSupported_(fileName.c_str(), data);
}

void TInSPI::CheckAPIs() const
{
    TLoaderSPI::CheckAPIs();
    RequireAPI(reinterpret_cast<const void *>(getPictureInfo_), "GetPictureInfo");
    RequireAPI(reinterpret_cast<const void *>(getPicture_), "GetPicture");
}

int32_t TInSPI::GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) const
{
    RequireAPI(reinterpret_cast<const void *>(getPictureInfo_), "GetPictureInfo");
    return getPictureInfo_(buf, len, flag, info);
}

int32_t TInSPI::GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                           SPI_PROGRESS progress, intptr_t user) const
{
    RequireAPI(reinterpret_cast<const void *>(getPicture_), "GetPicture");
    return getPicture_(buf, len, flag, bitmapInfo, bits, progress, user);
}

int32_t TInSPI::GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                               SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) const
{
    RequireAPI(reinterpret_cast<const void *>(getPictureRows_), "GetPictureRows");
    return getPictureRows_(buf, len, flag, wantWidth, wantHeight, rows, progress, user);
}

void TAmSPI::CheckAPIs() const
{
    TLoaderSPI::CheckAPIs();
    RequireAPI(reinterpret_cast<const void *>(getArchiveInfo_), "GetArchiveInfo");
    RequireAPI(reinterpret_cast<const void *>(getFileInfo_), "GetFileInfo");
    RequireAPI(reinterpret_cast<const void *>(getFile_), "GetFile");
}

std::unique_ptr<TSPI> CreateSPI(const std::string &libraryPath)
{
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
        return nullptr;
    } catch (const ESPIInvalidSPI &) {
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
        std::unique_ptr<TSPI> spi = CreateSPI(path); // ESPIInvalidAPI ends the search
        if (!spi)
            continue;
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
