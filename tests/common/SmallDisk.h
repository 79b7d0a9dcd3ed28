#pragma once

#include <string>

// A tmpfs of a few hundred kilobytes mounted for one test, to produce real "disk full" and
// "read-only file system" failures. Needs root; Available() is false (and the test skips) where
// mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(size_t kilobytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool Available() const { return mounted_; }
    const std::string &Path() const { return path_; } // ending in '/'
    // Fills the remaining space with a filler file.
    void Fill();
    // Remounts read-only (true on success).
    bool MakeReadOnly();

private:
    std::string path_;
    bool mounted_ = false;
};

// In a GoogleTest test: skips it where `disk` could not be mounted.
#define REQUIRE_SMALL_DISK(disk)                                                                                       \
    if (!(disk).Available())                                                                                           \
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)"

// The number of entries in a folder (temporary files left behind show up here).
int CountFiles(const std::string &folder);
