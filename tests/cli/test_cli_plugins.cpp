#include "Encoders.h"
#include "SpiTestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error
};

class CliPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = home.Path() + "work/";
        fs::create_directory(work);
        fs::create_directory(home.Path() + "config");
        ::chmod(work.c_str(), 0755);
    }
    // Runs tapistoctl in the work folder with a registry of its own, so no user setting leaks in.
    RunResult Run(const std::string &arguments)
    {
        const std::string command = "cd '" + work + "' && XDG_CONFIG_HOME='" + home.Path() + "config' '" + BinDir() +
                                    "tapistoctl' --home '" + home.Path() + "' " + arguments + " 2>&1";
        RunResult result;
        FILE *pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return result;
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
            result.output.append(buf, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }
    std::string Write(const std::string &name, const std::string &bytes)
    {
        WriteFileBytes(work + name, bytes);
        return work + name;
    }

    TempHome home;
    std::string work;
};

TEST_F(CliPluginTest, PluginsListsTheLoadedPlugins)
{
    const std::string folder = work + "spi/";
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0755);
    InstallPlugin(TestPluginDir() + "toy.spi", folder);
    InstallPlugin(TestPluginDir() + "xn.spi", folder);
    const RunResult result = Run("plugins --mask '" + folder + "*.spi'");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_EQ(folder + "toy.spi\t00IN\tToy reader\n\t*.toy\tToy picture\n" + folder + "xn.spi\t00XN\tToy filter\n",
              result.output);

    // The program's places: the first-party decoders beside the executable.
    const RunResult places = Run("plugins --plugins");
    ASSERT_EQ(0, places.status) << places.output;
    for (const char *line : {"png.spi\t00IN", "\t*.png\tPNG イメージファイル\n", "gif.spi\t00IN", "webp.spi\t00IN",
                             "\t*.tif;*.tiff\tTIFF イメージファイル\n"})
        EXPECT_NE(std::string::npos, places.output.find(line)) << line << "\n" << places.output;
    EXPECT_EQ(std::string::npos, places.output.find("toy.spi")) << "test plug-ins never lie beside the program";

    EXPECT_EQ(2, Run("plugins --mask").status);
    EXPECT_EQ(2, Run("plugins extra").status);
}

TEST_F(CliPluginTest, RefusedAndCrashingPluginsAreToldNotFatal)
{
    const std::string folder = work + "spi/";
    fs::create_directory(folder);
    InstallPlugin(TestPluginDir() + "toy.spi", folder);
    const std::string trap = InstallPlugin(TestPluginDir() + "trap.spi", folder);

    // A folder anyone may write to: nothing from it is loaded, and the listing says why.
    ::chmod(folder.c_str(), 01777);
    const RunResult open = Run("plugins --mask '" + folder + "*.spi'");
    ::chmod(folder.c_str(), 0755);
    ASSERT_EQ(0, open.status) << open.output;
    EXPECT_NE(std::string::npos,
              open.output.find("プラグイン " + folder + "toy.spi は読み込みません (フォルダー " +
                               folder.substr(0, folder.size() - 1) + " はグループかほかのユーザーが書き換えられます)"))
        << open.output;
    EXPECT_EQ(std::string::npos, open.output.find("\t00IN\t")) << open.output;

    // A picture that crashes its plug-in is an error of that picture: exit status 1, not a signal.
    fs::create_directories(home.Path() + "config/tapisto");
    WriteFileBytes(home.Path() + "config/tapisto/registry.ini",
                   "[Software\\Sorameki\\Susie\\Plug-in]\r\nPath=" + folder.substr(0, folder.size() - 1) + "\r\n");
    const std::string crash = Write("crash.trap", "TRAPCRSH" + std::string(24, '\0'));
    const RunResult crashed = Run("render '" + crash + "' '" + work + "out.bmp' --plugins --screen 64x48");
    EXPECT_EQ(1, crashed.status) << crashed.output;
    EXPECT_NE(std::string::npos,
              crashed.output.find("プラグイン " + trap + " が " + crash + " の読み込み中に異常終了しました"))
        << crashed.output;
}

TEST_F(CliPluginTest, RenderReadsEveryDecoderFormatWithPlugins)
{
    const std::vector<std::pair<std::string, std::string>> pictures = {
        {"photo.png", EncodePng(6, 4, PngKind::Rgb, false)},
        {"photo.gif", EncodeGif(work + "photo.gif")},
        {"photo.webp", EncodeWebp(6, 4, false)},
        {"photo.tiff", EncodeTiff(work + "photo.tiff", 6, 4, false)},
    };
    for (const auto &[name, data] : pictures) {
        SCOPED_TRACE(name);
        Write(name, data);
        const RunResult without = Run("render " + name + " out.bmp --screen 32x24");
        EXPECT_EQ(1, without.status) << without.output;

        const RunResult with = Run("render " + name + " out.bmp --screen 32x24 --plugins");
        ASSERT_EQ(0, with.status) << with.output;
        QImage out(QString::fromStdString(work + "out.bmp"), "BMP");
        ASSERT_FALSE(out.isNull());
        // Shown at its own size; its pixel (1, 1) keeps its colour (the GIF's frame starts there).
        EXPECT_EQ(name == "photo.gif" ? 4 : 6, out.width());
        const QRgb want = (name == "photo.gif" ? TestColour(0, 0, false) : TestColour(1, 1, false)) | 0xff000000u;
        bool found = false;
        for (int y = 0; y < out.height() && !found; ++y)
            for (int x = 0; x < out.width() && !found; ++x)
                found = out.pixel(x, y) == want;
        EXPECT_TRUE(found);
    }
}

TEST_F(CliPluginTest, RenderShrinksALargePluginPictureFromItsRows)
{
    // Over a million pixels: decoded when drawn, its rows averaged as they come; halved here, so
    // every output pixel is the mean of a 2 x 2 block.
    Write("large.png", EncodePng(1100, 1000, PngKind::Rgb, false));
    const RunResult result = Run("render large.png out.bmp --screen 550x500 --correction 自動 --plugins");
    ASSERT_EQ(0, result.status) << result.output;
    QImage out(QString::fromStdString(work + "out.bmp"), "BMP");
    ASSERT_EQ(QSize(550, 500), out.size());
    for (int y = 0; y < 500; y += 7)
        for (int x = 0; x < 550; x += 5)
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum += int(TestColour(2 * x + dx, 2 * y + dy, false) >> shift & 0xff);
                ASSERT_EQ((sum + 2) / 4, int(out.pixel(x, y) >> shift & 0xff)) << x << "," << y;
            }
}

TEST_F(CliPluginTest, FormatsWithPluginsKeepJpegBuiltIn)
{
    const RunResult plain = Run("formats");
    ASSERT_EQ(0, plain.status) << plain.output;
    EXPECT_EQ(std::string::npos, plain.output.find("*.png"));

    const RunResult with = Run("formats --plugins");
    ASSERT_EQ(0, with.status) << with.output;
    for (const char *part : {"PNG イメージファイル (*.png)|*.png", "TIFF イメージファイル (*.tif)|*.tif",
                             "TIFF イメージファイル (*.tiff)|*.tiff", "JPEG イメージファイル (*.jpg)|*.jpg"})
        EXPECT_NE(std::string::npos, with.output.find(part)) << part << "\n" << with.output;
}

} // namespace
