#include "SpiTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
std::string EnvFolder(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    std::string folder = value ? value : fallback;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}
} // namespace

std::string TestPluginDir()
{
    return EnvFolder("TAPISTO_TEST_PLUGIN_DIR", "testplugins");
}
std::string BinDir()
{
    return EnvFolder("TAPISTO_BIN_DIR", "bin");
}

std::string InstallPlugin(const std::string &sourcePath, const std::string &folder, const std::string &asName)
{
    const std::string name = asName.empty() ? fs::path(sourcePath).filename().string() : asName;
    std::string target = folder + name;
    fs::copy_file(sourcePath, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    return target;
}

std::string ToyFile(int32_t width, int32_t height, uint16_t bits, uint16_t options, uint32_t colours)
{
    std::string data = "TOY1";
    data.resize(20);
    std::memcpy(&data[4], &width, 4);
    std::memcpy(&data[8], &height, 4);
    std::memcpy(&data[12], &bits, 2);
    std::memcpy(&data[14], &options, 2);
    std::memcpy(&data[16], &colours, 4);
    return data;
}

uint32_t ToyTrueColour(int x, int y)
{
    const uint32_t blue = (x * 16 + 1) & 0xff, green = (y * 16 + 2) & 0xff, red = ((x + y) * 8 + 3) & 0xff;
    return red << 16 | green << 8 | blue;
}

uint32_t ToyPaletteColour(int index)
{
    const uint32_t blue = (index * 3) & 0xff, green = (index * 5) & 0xff, red = (index * 7) & 0xff;
    return red << 16 | green << 8 | blue;
}

ToyLog::ToyLog(const TempHome &home) : path_(home.File("toy.log"))
{
    ::setenv("TOY_SPI_LOG", path_.c_str(), 1);
}

ToyLog::~ToyLog()
{
    ::unsetenv("TOY_SPI_LOG");
}

std::vector<std::string> ToyLog::Lines() const
{
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ToyLog::Calls(const std::string &function) const
{
    std::vector<std::string> calls;
    for (const std::string &line : Lines())
        if (line.find(" " + function + " ") != std::string::npos)
            calls.push_back(line);
    return calls;
}

void ToyLog::Clear() const
{
    std::remove(path_.c_str());
}

std::string MakePluginFolder(const TempHome &home)
{
    std::string folder = home.Path() + "spi/";
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0755);
    return folder;
}
