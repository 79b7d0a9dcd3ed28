#pragma once

#include "picture/GraphicClass.h"
#include "spi.h"
#include "spi/SpiModule.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Registry;

// A loaded plug-in library. The text of its information number 0 (API version) picks the class:
// "00IN" TInSPI, "00AM" TAmSPI, "00XN" TXnSPI, anything else TSPI. Texts are CP932.
class TSPI {
public:
    virtual ~TSPI();
    TSPI(const TSPI &) = delete;
    TSPI &operator=(const TSPI &) = delete;

    // Loads the library as a plain TSPI. Raises ESPIFOpenErrorSPI when it cannot be loaded (or is
    // refused as code others could have written), ESPIInvalidAPI when GetPluginInfo is missing, and
    // ESPIPluginFailed when the plug-in crashed or hung while it was asked for its information.
    static std::unique_ptr<TSPI> Create(const std::string &libraryPath);

    int32_t GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) const;
    // Raises ESPIInvalidAPI naming `exportName` and FileName when the library lacks the export
    // (`exportBit`, one of SpiExport).
    void RequireAPI(uint32_t exportBit, const char *exportName) const;

    // The library, loaded in the plug-in helper process.
    const SpiModule *Handle() const { return handle_.get(); }
    const std::string &FileName() const { return fileName_; }
    const std::string &APIVersion() const { return apiVersion_; }
    const std::string &PluginName() const { return pluginName_; }
    // Pattern lists ("*.jpg;*.jpeg") and their descriptions, always of the same length.
    const std::vector<std::string> &Extensions() const { return extensions_; }
    const std::vector<std::string> &Descriptions() const { return descriptions_; }
    bool CanLoad() const { return canLoad_; }

    // True for the kinds that read pictures or archives (TInSPI, TAmSPI).
    virtual bool ClassCanLoad() const { return false; }

protected:
    TSPI() = default;
    // The creation steps, run once the object's final class is known, so CheckAPIs is the kind's.
    void Construct(const std::string &libraryPath);
    // Raises ESPIInvalidAPI for the first required export that is missing.
    virtual void CheckAPIs() const;

    template <class T> static std::unique_ptr<TSPI> CreateAs(const std::string &libraryPath)
    {
        std::unique_ptr<T> spi(new T());
        spi->Construct(libraryPath);
        return spi;
    }

    // The library's calls; null only while construction fails.
    std::unique_ptr<SpiModule> handle_;

private:
    std::string fileName_;
    std::string apiVersion_;
    std::string pluginName_;
    std::vector<std::string> extensions_;
    std::vector<std::string> descriptions_;
    bool canLoad_ = false;
};

// The plug-in kinds that can be asked whether they read some data.
class TLoaderSPI : public TSPI {
public:
    // Non-zero when the plug-in reads `data` (at least 2048 readable bytes); `fileName` may be empty.
    int32_t IsSupported(const std::string &fileName, const void *data) const;

protected:
    TLoaderSPI() = default;
    void CheckAPIs() const override;
};

// A picture reader ("00IN").
class TInSPI : public TLoaderSPI {
public:
    static std::unique_ptr<TSPI> Create(const std::string &libraryPath) { return CreateAs<TInSPI>(libraryPath); }
    bool ClassCanLoad() const override { return true; }

    int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) const;
    int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                       SPI_PROGRESS progress, intptr_t user) const;
    // The optional row export (spi.h): whether the plug-in has it, and the call (ESPIInvalidAPI
    // without it).
    bool HasPictureRows() const { return (handle_->Exports() & spiGetPictureRows) != 0; }
    int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                           SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) const;

protected:
    TInSPI() = default;
    void CheckAPIs() const override;
    friend class TSPI;
};

// An archive reader ("00AM"): loaded and listed, never asked for files.
class TAmSPI : public TLoaderSPI {
public:
    static std::unique_ptr<TSPI> Create(const std::string &libraryPath) { return CreateAs<TAmSPI>(libraryPath); }
    bool ClassCanLoad() const override { return true; }

protected:
    TAmSPI() = default;
    void CheckAPIs() const override;
    friend class TSPI;
};

// The "00XN" kind: loaded and listed only.
class TXnSPI : public TSPI {
public:
    static std::unique_ptr<TSPI> Create(const std::string &libraryPath) { return CreateAs<TXnSPI>(libraryPath); }

protected:
    TXnSPI() = default;
    friend class TSPI;
};

// Loads a library as the kind its API version names. Returns null when the library cannot be
// loaded; ESPIInvalidAPI (a required export missing) goes on to the caller. `whyNot`, when given,
// receives the reason worth telling the user: the library was refused as unsafe, or it crashed or hung
// the plug-in helper while it was loaded or asked for its information (empty otherwise).
std::unique_ptr<TSPI> CreateSPI(const std::string &libraryPath, std::string *whyNot = nullptr);

// Places that Search visits, as set bits.
enum TSPISearchOption : uint32_t {
    spsSusieDir = 1,   // the folder in the registry value "Path" of "Software\Sorameki\Susie\Plug-in"
    spsAppDir = 2,     // the executable's folder (where the first-party decoders are built)
    spsCurrentDir = 4, // the process's current folder
    spsSystemDir = 8,  // no meaning on Linux: never searched
    spsWindowsDir = 16 // no meaning on Linux: never searched
};

class TSPIs;
using TSPISearchingEvent = std::function<void(TSPIs &sender, std::string fileName, bool &accept)>;
using TSPISearchEvent = std::function<void(TSPIs &sender, TSPI &aSPI, bool &accept)>;
// A candidate that the search skipped with a reason worth telling (CreateSPI's `whyNot`: a UTF-8
// sentence that names the file).
using TSPISkippedEvent = std::function<void(TSPIs &sender, const std::string &fileName, const std::string &reason)>;
// May set aGraphicClass to null so that the extension is not registered.
using TSPIPictureRegisterEvent =
    std::function<void(TSPIs &sender, TInSPI &aSPI, const std::string &aExtension, const std::string &aDescription,
                       const TGraphicClass *&aGraphicClass)>;

// The list of loaded plug-ins. Only one may exist at a time (SPIsInstance).
class TSPIs {
public:
    // Raises ESPIDupCreateSPIs when another TSPIs exists. `registry` is read for spsSusieDir.
    explicit TSPIs(Registry &registry);
    virtual ~TSPIs();
    TSPIs(const TSPIs &) = delete;
    TSPIs &operator=(const TSPIs &) = delete;

    // Runs Search("*.spi") when AutoSearch is on; call once the properties are set.
    void Loaded();

    // Loads every plug-in matching `mask` that is not loaded yet. A mask with a folder part searches
    // that folder only; otherwise the places of SearchOptions. ESPIInvalidAPI of a candidate ends
    // the search and reaches the caller; plug-ins loaded before it stay.
    void Search(const std::string &mask);
    void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
    // Puts the plug-in into the list and registers the picture formats of a TInSPI.
    void Insert(int index, std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();
    // Position of the first plug-in whose FileName equals `fileName` ignoring ASCII case, or -1.
    int IndexOf(const std::string &fileName) const;
    int Count() const { return static_cast<int>(list_.size()); }
    TSPI &Items(int index) const;

    // Appends the plug-ins for which `isInstance` holds: those declaring the extension of
    // `fileName` first (in reverse list order), then the others in list order.
    void GetSPIs(const std::function<bool(const TSPI &)> &isInstance, std::vector<TSPI *> &list,
                 const std::string &fileName) const;
    template <class T> void GetSPIs(std::vector<T *> &list, const std::string &fileName) const
    {
        std::vector<TSPI *> found;
        GetSPIs([](const TSPI &spi) { return dynamic_cast<const T *>(&spi) != nullptr; }, found, fileName);
        for (TSPI *spi : found)
            list.push_back(static_cast<T *>(spi));
    }

    static void SetDefaultGraphicClass(const TGraphicClass *graphicClass);

    uint32_t SearchOptions = spsSusieDir | spsAppDir;
    bool AutoSearch = true;
    TSPISearchEvent OnSearch;
    TSPISearchingEvent OnSearching;
    TSPIPictureRegisterEvent OnPictureRegister;
    TSPISkippedEvent OnSkipped;

protected:
    // The folder (CP932) of one search place, or empty when it has none.
    virtual std::string SearchFolder(TSPISearchOption option);
    void SearchDir(const std::string &folder, const std::string &mask);

private:
    void RegisterFormats(TInSPI &spi);

    Registry &registry_;
    std::vector<std::unique_ptr<TSPI>> list_;
};

// The one live TSPIs, or null.
extern TSPIs *SPIsInstance;
// The picture class registered for plug-in formats (TSPIBitmap once SPIBmp is linked), or null.
extern const TGraphicClass *DefaultGraphicClass;

// The registry key and value that name the plug-in folder of spsSusieDir.
inline constexpr const char *kSusiePluginKey = "Software\\Sorameki\\Susie\\Plug-in";
inline constexpr const char *kSusiePluginValue = "Path";
