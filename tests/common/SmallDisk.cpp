#include "SmallDisk.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

int CountFiles(const std::string &folder)
{
    int n = 0;
    for ([[maybe_unused]] auto &e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

SmallDisk::SmallDisk(size_t kilobytes)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tapisto-disk-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
    const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
    mounted_ = ::mount("tmpfs", pattern.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (mounted_)
        ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void SmallDisk::Fill()
{
    int fd = ::open((path_ + "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    char block[4096] = {};
    while (::write(fd, block, sizeof block) > 0) {
    }
    // Small writes take the last partial block.
    while (::write(fd, block, 1) > 0) {
    }
    ::close(fd);
}

bool SmallDisk::MakeReadOnly()
{
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}
