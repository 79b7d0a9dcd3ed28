#include "TempHome.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempHome::TempHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tapisto-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
    if (const char *old = std::getenv("TAPISTO_HOME")) {
        hadPrevious_ = true;
        previous_ = old;
    }
    ::setenv("TAPISTO_HOME", path_.c_str(), 1);
}

TempHome::~TempHome()
{
    if (hadPrevious_)
        ::setenv("TAPISTO_HOME", previous_.c_str(), 1);
    else
        ::unsetenv("TAPISTO_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TestDataPath(const std::string &name)
{
    const char *dir = std::getenv("TAPISTO_TEST_DATA");
    return std::string(dir ? dir : "tests/data") + "/" + name;
}
