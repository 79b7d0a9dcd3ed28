#include "FuzzSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder()
    {
        // Memory-backed when possible: saves flush to disk, which would make each input take milliseconds.
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        path = base / ("tapisto-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

ScratchFolder &Scratch()
{
    static ScratchFolder folder;
    return folder;
}

} // namespace

std::string FuzzScratchPath(std::string_view name)
{
    return (Scratch().path / std::string(name)).string();
}

std::string WriteScratchFile(std::string_view name, std::string_view bytes)
{
    std::string path = FuzzScratchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        FuzzCheckFailed("scratch file written", __FILE__, __LINE__);
    return path;
}

void FuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
    std::abort();
}
