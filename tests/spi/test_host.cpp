#include "SpiTestSupport.h"

#include "MemoryRegistry.h"
#include "picture/PictureFormats.h"
#include "platform/Exceptions.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The dynamic type of the object a pointer holds.
template <class Pointer> const std::type_info &TypeOf(const Pointer &pointer)
{
    const auto &object = *pointer;
    return typeid(object);
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { folder = MakePluginFolder(home); }
    std::string Install(const std::string &plugin, const std::string &asName = "")
    {
        return InstallPlugin(TestPluginDir() + plugin + ".spi", folder, asName);
    }
    // Extensions (with their class names) appended to the format registry since `before`.
    static std::vector<std::string> RegisteredSince(size_t before)
    {
        std::vector<std::string> out;
        const auto &entries = TFileFormatsList::Instance().Entries();
        for (size_t i = before; i < entries.size(); ++i)
            out.push_back(entries[i].Extension + "=" + entries[i].GraphicClass->Name);
        return out;
    }
    static size_t RegistryCount() { return TFileFormatsList::Instance().Entries().size(); }

    TempHome home;
    std::string folder;
    MemoryRegistry registry;
};

std::vector<std::string> Names(const TSPIs &spis)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(spis.Count()));
    for (int i = 0; i < spis.Count(); ++i)
        names.push_back(fs::path(spis.Items(i).FileName()).filename().string());
    return names;
}

TEST(LocalMemory, HandlesAreCheckedAndCounted)
{
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 10);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(10u, LocalSize(h));
    auto *p = static_cast<unsigned char *>(LocalLock(h));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0, p[0] | p[9]);
    EXPECT_NE(nullptr, LocalLock(h));
    EXPECT_EQ(1, LocalUnlock(h));
    EXPECT_EQ(0, LocalUnlock(h));
    EXPECT_EQ(0, LocalUnlock(h)) << "never below zero";
    EXPECT_EQ(nullptr, LocalFree(h));

    // Freed or invented handles are refused, not dereferenced.
    static char notABlock[16];
    for (HLOCAL bad : {h, static_cast<HLOCAL>(notABlock)}) {
        EXPECT_EQ(0u, LocalSize(bad));
        EXPECT_EQ(nullptr, LocalLock(bad));
        EXPECT_EQ(bad, LocalFree(bad));
    }
    EXPECT_EQ(nullptr, LocalFree(nullptr));
    EXPECT_EQ(nullptr, LocalAlloc(LMEM_FIXED, SIZE_MAX));
    HLOCAL empty = LocalAlloc(LMEM_FIXED | 0x0020 /* no-discard */, 0);
    EXPECT_EQ(0u, LocalSize(empty));
    EXPECT_EQ(empty, LocalLock(empty)) << "fixed blocks are their own address";
    EXPECT_EQ(nullptr, LocalFree(empty));
}

TEST_F(HostTest, KindFollowsTheExactVersionText)
{
    auto toy = CreateSPI(Install("toy"));
    ASSERT_TRUE(toy);
    EXPECT_EQ(typeid(TInSPI), TypeOf(toy));
    EXPECT_EQ("00IN", toy->APIVersion());
    EXPECT_EQ("Toy reader", toy->PluginName());
    EXPECT_EQ(std::vector<std::string>{"*.toy"}, toy->Extensions());
    EXPECT_EQ(std::vector<std::string>{"Toy picture"}, toy->Descriptions());
    EXPECT_TRUE(toy->CanLoad());
    EXPECT_EQ(folder + "toy.spi", toy->FileName());

    auto archive = CreateSPI(Install("archive"));
    ASSERT_TRUE(archive);
    EXPECT_EQ(typeid(TAmSPI), TypeOf(archive));
    EXPECT_TRUE(archive->CanLoad());

    auto xn = CreateSPI(Install("xn"));
    ASSERT_TRUE(xn);
    EXPECT_EQ(typeid(TXnSPI), TypeOf(xn));
    EXPECT_FALSE(xn->CanLoad());

    // Lower-case import version: a plain TSPI, never used for pictures.
    auto lower = CreateSPI(Install("lower"));
    ASSERT_TRUE(lower);
    EXPECT_EQ(typeid(TSPI), TypeOf(lower));
    EXPECT_EQ("00in", lower->APIVersion());
    EXPECT_FALSE(lower->CanLoad());

    auto silent = CreateSPI(Install("silent"));
    ASSERT_TRUE(silent);
    EXPECT_EQ(typeid(TSPI), TypeOf(silent));
    EXPECT_EQ("", silent->APIVersion());
    EXPECT_EQ("", silent->PluginName());
    EXPECT_TRUE(silent->Extensions().empty());
}

TEST_F(HostTest, PairsStopAtTheFirstMissingDescription)
{
    auto half = CreateSPI(Install("halfpair"));
    ASSERT_TRUE(half);
    EXPECT_EQ(std::vector<std::string>{"*.hp1"}, half->Extensions());
    EXPECT_EQ(std::vector<std::string>{"First pair"}, half->Descriptions());
}

TEST_F(HostTest, InformationTextIsCutAt256Bytes)
{
    // The plug-in writes 256 bytes without a terminating zero into a buffer it was told is 255.
    auto spi = CreateSPI(Install("unterminated"));
    ASSERT_TRUE(spi);
    EXPECT_EQ(std::string(256, 'A'), spi->APIVersion());
    EXPECT_EQ(std::string(256, 'A'), spi->PluginName());
}

TEST_F(HostTest, MissingRequiredExportRaisesInvalidAPI)
{
    for (const auto &[plugin, missing] :
         {std::pair<std::string, std::string>{"nopicture", "GetPicture"}, {"noinfo", "GetPluginInfo"}}) {
        SCOPED_TRACE(plugin);
        const std::string path = Install(plugin);
        try {
            CreateSPI(path);
            FAIL() << "no exception";
        } catch (const ESPIInvalidAPI &e) {
            EXPECT_EQ(missing + "は[" + path + "]では使えないSusie Plugin APIです", e.Message());
        }
    }
}

TEST_F(HostTest, UnloadableFilesGiveNoPluginAndNoError)
{
    WriteFileBytes(folder + "junk.spi", "not a library");
    EXPECT_EQ(nullptr, CreateSPI(folder + "junk.spi"));
    EXPECT_EQ(nullptr, CreateSPI(folder + "missing.spi"));
    try {
        TSPI::Create(folder + "junk.spi");
        FAIL() << "no exception";
    } catch (const ESPIFOpenErrorSPI &e) {
        EXPECT_EQ(folder + "junk.spi:Susie Pluginがロードできませんでした", e.Message());
    }
}

TEST_F(HostTest, CodeOthersCouldReplaceIsNotLoaded)
{
    const std::string path = Install("toy");
    ::chmod(path.c_str(), 0775);
    EXPECT_EQ(nullptr, CreateSPI(path)) << "group-writable file";
    ::chmod(path.c_str(), 0757);
    EXPECT_EQ(nullptr, CreateSPI(path)) << "world-writable file";
    ::chmod(path.c_str(), 0755);
    ASSERT_NE(nullptr, CreateSPI(path));

    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(nullptr, CreateSPI(path)) << "world-writable folder";
    ::chmod(folder.c_str(), 01777);
    EXPECT_EQ(nullptr, CreateSPI(path)) << "sticky folder, like /tmp: anyone may put files there";
    ::chmod(folder.c_str(), 0775);
    EXPECT_EQ(nullptr, CreateSPI(path)) << "group-writable folder";
    ::chmod(folder.c_str(), 0755);

    // A link from a safe folder to a file in an open folder is refused as well.
    const std::string open = home.Path() + "open/";
    fs::create_directory(open);
    const std::string target = InstallPlugin(path, open);
    ::chmod(open.c_str(), 0777);
    fs::create_symlink(target, folder + "link.spi");
    EXPECT_EQ(nullptr, CreateSPI(folder + "link.spi"));
    ::chmod(open.c_str(), 0755);
    EXPECT_NE(nullptr, CreateSPI(folder + "link.spi"));

    // Refused files are skipped by the search like unloadable ones.
    ::chmod(path.c_str(), 0775);
    TSPIs spis(registry);
    spis.Search(folder + "*.spi");
    EXPECT_EQ(std::vector<std::string>{"link.spi"}, Names(spis));
}

TEST_F(HostTest, OtherUsersCodeIsRefusedAndTheSearchTellsIt)
{
    const std::string path = Install("toy", "evil.spi");
    if (::geteuid() == 0) {
        // Files and folders handed to another user, as only root can in a test.
        ASSERT_EQ(0, ::chown(path.c_str(), 65534, 65534));
        EXPECT_EQ(nullptr, CreateSPI(path)) << "another user's file";
        ASSERT_EQ(0, ::chown(path.c_str(), 0, 0));
        ASSERT_EQ(0, ::chown(folder.c_str(), 65534, 65534));
        EXPECT_EQ(nullptr, CreateSPI(path)) << "a file in another user's folder";
        ASSERT_EQ(0, ::chown(folder.c_str(), 0, 0));
        ASSERT_NE(nullptr, CreateSPI(path));
    }

    // Started in a folder anyone may write to, with plug-ins on: its plug-in is refused, and said so.
    ::chmod(folder.c_str(), 01777);
    TSPIs spis(registry);
    spis.SearchOptions = spsCurrentDir;
    std::vector<std::string> told;
    spis.OnSkipped = [&](TSPIs &, const std::string &fileName, const std::string &reason) {
        told.push_back(fs::path(fileName).filename().string() + ": " + reason);
    };
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    spis.Search("*.spi");
    fs::current_path(previous);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(0, spis.Count());
    ASSERT_EQ(1u, told.size());
    EXPECT_EQ("evil.spi: プラグイン " + folder + "evil.spi は読み込みません (フォルダー " +
                  folder.substr(0, folder.size() - 1) + " はグループかほかのユーザーが書き換えられます)",
              told[0]);

    // Files that are no library at all are still skipped without a word.
    WriteFileBytes(folder + "junk.spi", "not a library");
    told.clear();
    spis.Search(folder + "*.spi");
    EXPECT_EQ(std::vector<std::string>{"evil.spi"}, Names(spis));
    EXPECT_TRUE(told.empty());
}

TEST_F(HostTest, OnlyOneHostAtATime)
{
    EXPECT_EQ(nullptr, SPIsInstance);
    {
        TSPIs first(registry);
        EXPECT_EQ(&first, SPIsInstance);
        try {
            TSPIs second(registry);
            FAIL() << "no exception";
        } catch (const ESPIDupCreateSPIs &e) {
            EXPECT_EQ("TSPIs は複数生成できません", e.Message());
        }
        EXPECT_EQ(&first, SPIsInstance);
    }
    EXPECT_EQ(nullptr, SPIsInstance);
    EXPECT_EQ(&TSPIBitmap::ClassInfo(), DefaultGraphicClass);
}

TEST_F(HostTest, SearchWithFolderLoadsThatFolderInNameOrder)
{
    Install("toy", "B_toy.spi");
    Install("other", "a_other.spi");
    Install("xn", "c_xn.spi");
    Install("toy2", ".hidden.spi");
    fs::create_directory(folder + "dir.spi");
    WriteFileBytes(folder + "junk.spi", "not a library");
    Install("toy", "notaplugin.dll");

    TSPIs spis(registry);
    spis.SearchOptions = 0; // a mask with a folder ignores the places
    spis.Search(folder + "*.spi");
    EXPECT_EQ((std::vector<std::string>{"a_other.spi", "B_toy.spi", "c_xn.spi"}), Names(spis));

    // Loaded plug-ins are not loaded again; IndexOf ignores ASCII case.
    spis.Search(folder + "*.spi");
    EXPECT_EQ(3, spis.Count());
    EXPECT_EQ(1, spis.IndexOf(folder + "b_TOY.SPI"));
    EXPECT_EQ(-1, spis.IndexOf(folder + "none.spi"));
}

TEST_F(HostTest, InvalidAPIEndsTheSearchAndKeepsEarlierPlugins)
{
    Install("toy", "a_toy.spi");
    Install("nopicture", "b_nopicture.spi");
    Install("other", "c_other.spi");
    TSPIs spis(registry);
    EXPECT_THROW(spis.Search(folder + "*.spi"), ESPIInvalidAPI);
    EXPECT_EQ(std::vector<std::string>{"a_toy.spi"}, Names(spis));
}

TEST_F(HostTest, PlacesComeFromTheRegistryAndTheCurrentFolder)
{
    Install("toy");
    TSPIs spis(registry);
    spis.SearchOptions = spsSusieDir;
    spis.Search("*.spi");
    EXPECT_EQ(0, spis.Count()) << "no registry key: the folder is skipped";

    registry.WriteString("Software\\Sorameki\\Susie\\Plug-in", "Path", folder.substr(0, folder.size() - 1));
    spis.Search("*.spi");
    EXPECT_EQ(std::vector<std::string>{"toy.spi"}, Names(spis));

    // The same file reached through the current folder is loaded once.
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    spis.SearchOptions = spsSusieDir | spsCurrentDir | spsSystemDir | spsWindowsDir;
    spis.Clear();
    spis.Search("*.spi");
    fs::current_path(previous);
    EXPECT_EQ(std::vector<std::string>{"toy.spi"}, Names(spis));
}

TEST_F(HostTest, LoadedSearchesOnlyWithAutoSearch)
{
    Install("toy");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    {
        TSPIs spis(registry);
        spis.SearchOptions = spsCurrentDir;
        spis.AutoSearch = false;
        spis.Loaded();
        EXPECT_EQ(0, spis.Count());
        spis.AutoSearch = true;
        spis.Loaded();
        EXPECT_EQ(1, spis.Count());
    }
    fs::current_path(previous);
}

TEST_F(HostTest, SearchEventsCanVetoAndThrowingDiscardsOnePlugin)
{
    Install("toy", "a_toy.spi");
    Install("other", "b_other.spi");
    Install("toy2", "c_toy2.spi");
    Install("xn", "d_xn.spi");
    TSPIs spis(registry);
    std::vector<std::string> asked;
    spis.OnSearching = [&](TSPIs &, const std::string &fileName, bool &accept) {
        asked.push_back(fs::path(fileName).filename().string());
        accept = fileName.find("b_other") == std::string::npos;
    };
    spis.OnSearch = [](TSPIs &, TSPI &spi, bool &accept) {
        if (spi.PluginName() == "Second toy reader")
            throw Exception("boom");
        accept = spi.APIVersion() != "00XN";
    };
    spis.Search(folder + "*.spi");
    EXPECT_EQ((std::vector<std::string>{"a_toy.spi", "b_other.spi", "c_toy2.spi", "d_xn.spi"}), asked);
    EXPECT_EQ(std::vector<std::string>{"a_toy.spi"}, Names(spis));
}

TEST_F(HostTest, RegistrationThrowingAfterAddTakesThePluginOutAgain)
{
    Install("toy", "a_toy.spi");
    Install("other", "b_other.spi");
    TSPIs spis(registry);
    spis.OnPictureRegister = [](TSPIs &, TInSPI &spi, const std::string &, const std::string &,
                                const TGraphicClass *&) {
        if (spi.PluginName() == "Toy reader")
            throw Exception("refused");
    };
    spis.Search(folder + "*.spi");
    EXPECT_EQ(std::vector<std::string>{"b_other.spi"}, Names(spis));
}

TEST_F(HostTest, PatternsAreOfferedLastToFirst)
{
    const size_t before = RegistryCount();
    TSPIs spis(registry);
    std::vector<std::string> offered;
    spis.OnPictureRegister = [&](TSPIs &, TInSPI &, const std::string &ext, const std::string &desc,
                                 const TGraphicClass *&graphicClass) {
        offered.push_back(ext + "|" + desc + "|" + (graphicClass ? graphicClass->Name : "none"));
    };
    spis.Add(CreateSPI(Install("patterns")));
    EXPECT_EQ((std::vector<std::string>{"jpeg|JPEG by toy|TSPIBitmap", "jpg|JPEG by toy|TSPIBitmap",
                                        "bmp|Bitmap by toy|TSPIBitmap", "*|Anything|TSPIBitmap"}),
              offered);
    EXPECT_EQ((std::vector<std::string>{"jpeg=TSPIBitmap", "jpg=TSPIBitmap", "bmp=TSPIBitmap", "*=TSPIBitmap"}),
              RegisteredSince(before));
    EXPECT_EQ(&TSPIBitmap::ClassInfo(), FindPictureClass("BMP"));

    // Kinds other than "00IN" register nothing.
    const size_t afterPatterns = RegistryCount();
    spis.Add(CreateSPI(Install("lower")));
    spis.Add(CreateSPI(Install("archive")));
    EXPECT_EQ(afterPatterns, RegistryCount());
    WithdrawSPIBitmapClass();
    EXPECT_EQ(nullptr, FindPictureClass("*"));
}

TEST_F(HostTest, JpegRuleKeepsJpgAndJpegAndCarriesOverWithinAnEntry)
{
    const size_t before = RegistryCount();
    TSPIs spis(registry);
    spis.OnPictureRegister = [](TSPIs &, TInSPI &, const std::string &ext, const std::string &,
                                const TGraphicClass *&graphicClass) { RefuseBuiltInJpeg(ext, graphicClass); };
    spis.Add(CreateSPI(Install("patterns")));
    EXPECT_EQ((std::vector<std::string>{"bmp=TSPIBitmap", "*=TSPIBitmap"}), RegisteredSince(before));

    // "*.jpg;*.jpe" offers jpe first (registered), then jpg (refused); "*.jpe;*.jpg" offers jpg
    // first, whose refusal carries over to jpe.
    const size_t beforeJpe = RegistryCount();
    spis.Add(CreateSPI(Install("jpe")));
    EXPECT_EQ(std::vector<std::string>{"jpe=TSPIBitmap"}, RegisteredSince(beforeJpe));

    const TGraphicClass *cls = &TSPIBitmap::ClassInfo();
    RefuseBuiltInJpeg("Jpeg", cls);
    EXPECT_EQ(nullptr, cls);
    cls = &TSPIBitmap::ClassInfo();
    RefuseBuiltInJpeg("png", cls);
    EXPECT_NE(nullptr, cls);
    WithdrawSPIBitmapClass();
}

TEST_F(HostTest, ClearKeepsRegistrationsAndASecondSearchRegistersAgain)
{
    Install("toy");
    TSPIs spis(registry);
    const size_t before = RegistryCount();
    spis.Search(folder + "*.spi");
    spis.Clear();
    EXPECT_EQ(0, spis.Count());
    EXPECT_EQ(&TSPIBitmap::ClassInfo(), FindPictureClass("toy"));
    spis.Search(folder + "*.spi");
    EXPECT_EQ((std::vector<std::string>{"toy=TSPIBitmap", "toy=TSPIBitmap"}), RegisteredSince(before));
    WithdrawSPIBitmapClass();
}

TEST_F(HostTest, GetSPIsPutsDeclaringPluginsFirstInReverseOrder)
{
    Install("toy", "p1.spi");
    Install("other", "p2.spi");
    Install("toy2", "p3.spi");
    Install("archive", "p4.spi");
    TSPIs spis(registry);
    spis.Search(folder + "*.spi");
    ASSERT_EQ(4, spis.Count());

    auto names = [](const auto &list) {
        std::vector<std::string> out;
        out.reserve(list.size());
        for (const TSPI *spi : list)
            out.push_back(fs::path(spi->FileName()).filename().string());
        return out;
    };
    std::vector<TInSPI *> in;
    spis.GetSPIs(in, "C:\\pictures\\photo.ToY");
    EXPECT_EQ((std::vector<std::string>{"p3.spi", "p1.spi", "p2.spi"}), names(in));
    in.clear();
    spis.GetSPIs(in, "/pictures.toy/photo");
    EXPECT_EQ((std::vector<std::string>{"p1.spi", "p2.spi", "p3.spi"}), names(in));
    in.clear();
    spis.GetSPIs(in, "");
    EXPECT_EQ((std::vector<std::string>{"p1.spi", "p2.spi", "p3.spi"}), names(in));

    std::vector<TLoaderSPI *> loaders;
    spis.GetSPIs(loaders, "x.tar");
    EXPECT_EQ((std::vector<std::string>{"p4.spi", "p1.spi", "p2.spi", "p3.spi"}), names(loaders));

    spis.Delete(0);
    EXPECT_EQ(3, spis.Count());
    EXPECT_THROW(spis.Delete(3), Exception);
    EXPECT_THROW(spis.Items(-1), Exception);
    WithdrawSPIBitmapClass();
}

} // namespace
