#pragma once

#include <string>

// A fresh temporary folder that is the program's home for the lifetime of the object:
// TAPISTO_HOME points at it, and it is removed with everything in it at the end.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    const std::string &Path() const { return path_; } // UTF-8 (ASCII), ending in '/'
    std::string File(const std::string &name) const { return path_ + name; }

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Whole-file helpers for tests (UTF-8 paths, raw bytes).
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
// Folder of the test fixtures (tests/data).
std::string TestDataPath(const std::string &name);
