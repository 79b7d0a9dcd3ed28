// The helper process that runs the plug-ins: a plug-in that crashes or hangs costs one picture or is
// skipped at search, and the host goes on.
#include "PluginHostTest.h"

#include "MemoryRegistry.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "spi/SpiProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <filesystem>
#include <future>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class HelperTest : public PluginHostTest {
protected:
    void SetUp() override { trap = InstallPlugin(TestPluginDir() + "trap.spi", folder); }
    void TearDown() override
    {
        SetSpiTimeouts(SpiTimeouts());
        PluginHostTest::TearDown();
    }
    // A trap picture whose GetPicture does `what` ("GOOD", "CRSH", "LOOP").
    std::string Picture(const std::string &name, const std::string &what)
    {
        return Write(name, "TRAP" + what + std::string(24, '\0'));
    }
    static void Quickly()
    {
        SpiTimeouts quick;
        quick.IdleMs = 300;
        quick.IdleMaxMs = 300;
        quick.TotalMs = 3000;
        quick.TotalMaxMs = 3000;
        SetSpiTimeouts(quick);
    }
    // Loading `path` fails as the trap plug-in crashing, or hanging when `hung`, naming both.
    void ExpectPluginFailure(const std::string &path, bool hung)
    {
        TSPIBitmap bitmap;
        try {
            bitmap.LoadFromFile(path);
            FAIL() << "loaded";
        } catch (const ESPIPluginFailed &e) {
            EXPECT_EQ("プラグイン " + trap + " が " + path +
                          (hung ? " の読み込み中に応答しなくなりました" : " の読み込み中に異常終了しました"),
                      e.Message());
            EXPECT_EQ(hung, e.Hung);
        }
    }
    static void ExpectGoodPicture(const std::string &path)
    {
        TSPIBitmap good;
        good.LoadFromFile(path);
        ASSERT_EQ(2, good.Width());
        EXPECT_EQ(0xffffffu, good.Image().pixel(0, 1) & 0xffffff) << "bottom row";
        EXPECT_EQ(0u, good.Image().pixel(1, 0) & 0xffffff) << "top row";
    }

    std::string trap;
};

TEST_F(HelperTest, ACrashCostsOnePictureAndTheNextOneStartsTheHelperAgain)
{
    SearchPlugins(1);
    const pid_t first = SpiHelperPid();
    EXPECT_NE(0, first);
    EXPECT_NE(::getpid(), first) << "plug-ins run in a process of their own";

    ASSERT_NO_FATAL_FAILURE(ExpectPluginFailure(Picture("crash.trap", "CRSH"), false));
    EXPECT_EQ(0, SpiHelperPid()) << "the dead helper was reaped";

    // The plug-in is loaded again into a new helper for the next picture.
    ExpectGoodPicture(Picture("good.trap", "GOOD"));
    EXPECT_NE(0, SpiHelperPid());
    EXPECT_NE(first, SpiHelperPid());
}

TEST_F(HelperTest, AHangEndsInAnErrorAndTheHelperIsKilled)
{
    Quickly();
    SearchPlugins(1);
    const pid_t hanging = SpiHelperPid();
    ASSERT_NE(0, hanging);
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFailure(Picture("loop.trap", "LOOP"), true));
    EXPECT_EQ(-1, ::kill(hanging, 0));
    EXPECT_EQ(ESRCH, errno) << "no helper spins on";
    ExpectGoodPicture(Picture("good.trap", "GOOD"));
}

TEST_F(HelperTest, ACutOffFromAnotherThreadEndsAHangingCallAsAbortedAndOnlyThatOne)
{
    // The bound is long: only the cut-off can end the call while the test waits.
    SearchPlugins(1);
    const pid_t hanging = SpiHelperPid();
    const std::string loop = Picture("loop.trap", "LOOP");
    std::promise<std::exception_ptr> ended;
    std::thread change([&] {
        try {
            TSPIBitmap bitmap;
            bitmap.LoadFromFile(loop);
            ended.set_value(nullptr);
        } catch (...) {
            ended.set_value(std::current_exception());
        }
    });
    std::future<std::exception_ptr> result = ended.get_future();
    EXPECT_EQ(std::future_status::timeout, result.wait_for(std::chrono::milliseconds(300))) << "the plug-in hangs";
    CutOffSpiHelper();
    ASSERT_EQ(std::future_status::ready, result.wait_for(std::chrono::seconds(5))) << "the call did not end";
    change.join();
    // Given up, not the plug-in's fault: no error names it, and the picture is not passed over as broken.
    EXPECT_THROW(std::rethrow_exception(result.get()), EAbort);
    EXPECT_EQ(0, SpiHelperPid());
    EXPECT_EQ(-1, ::kill(hanging, 0));
    CutOffSpiHelper(); // none runs: nothing to kill, and nothing else is
    ExpectGoodPicture(Picture("good.trap", "GOOD"));
    // A crash after a new helper started is a crash again.
    try {
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(Picture("crash.trap", "CRSH"));
        FAIL() << "loaded";
    } catch (const ESPIPluginFailed &e) {
        EXPECT_FALSE(e.Hung);
    }
}

TEST_F(HelperTest, PluginsThatCrashOrHangWhenAskedAreSkippedAndTold)
{
    Quickly();
    InstallPlugin(TestPluginDir() + "toy.spi", folder);
    TSPIs spis(registry);
    std::vector<std::string> told;
    spis.OnSkipped = [&](TSPIs &, const std::string &fileName, const std::string &reason) {
        told.push_back(fs::path(fileName).filename().string() + ": " + reason);
    };
    const auto names = [&] {
        std::vector<std::string> out;
        out.reserve(size_t(spis.Count()));
        for (int i = 0; i < spis.Count(); ++i)
            out.push_back(fs::path(spis.Items(i).FileName()).filename().string());
        return out;
    };

    WriteFileBytes(trap + ".crash", "");
    spis.Search(folder + "*.spi");
    EXPECT_EQ(std::vector<std::string>{"toy.spi"}, names());
    EXPECT_EQ(std::vector<std::string>{"trap.spi: プラグイン " + trap + " が情報の問い合わせ中に異常終了しました"},
              told);

    fs::remove(trap + ".crash");
    WriteFileBytes(trap + ".loop", "");
    spis.Clear();
    told.clear();
    spis.Search(folder + "*.spi");
    EXPECT_EQ(std::vector<std::string>{"toy.spi"}, names());
    EXPECT_EQ(std::vector<std::string>{"trap.spi: プラグイン " + trap + " が情報の問い合わせ中に応答しなくなりました"},
              told);

    // The toy plug-in, loaded before, works in the helper started after the hang.
    fs::remove(trap + ".loop");
    ASSERT_EQ(1, spis.Count());
    auto &toy = dynamic_cast<TInSPI &>(spis.Items(0));
    std::vector<char> data(2048, 0);
    const std::string header = ToyFile(2, 2, 24);
    std::copy(header.begin(), header.end(), data.begin());
    EXPECT_NE(0, toy.IsSupported("p.toy", data.data()));
}

TEST_F(HelperTest, CallsInThisProcessWhenAsked)
{
    SetSpiIsolation(SpiIsolation::InProcess);
    {
        TSPIs spis(registry);
        spis.Search(folder + "*.spi");
        EXPECT_EQ(0, SpiHelperPid());
        ExpectGoodPicture(Picture("good.trap", "GOOD"));
        EXPECT_EQ(0, SpiHelperPid());
    }
    SetSpiIsolation(SpiIsolation::Helper);
}

} // namespace
