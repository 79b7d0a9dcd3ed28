#pragma once

#include <string>

// A second name of the wallpaper bitmap for desktops that do not reload a file at an unchanged path.
// It alternates between NAME.a.EXT and NAME.b.EXT beside the bitmap, so every change is a new path;
// at most one of the two is left once a change is complete.
class AlternatingAlias {
public:
    // Creates the next name of the bitmap (a hard link, or a copy where links fail). Raises EInOutError.
    explicit AlternatingAlias(const std::string &cp932Path);
    // Removes the new name again unless Commit was called: the desktop still shows the old one.
    ~AlternatingAlias();
    AlternatingAlias(const AlternatingAlias &) = delete;
    AlternatingAlias &operator=(const AlternatingAlias &) = delete;

    const std::string &NativePath() const { return newPath_; } // UTF-8
    const std::string &PreviousNativePath() const { return oldPath_; }
    // The desktop uses the new name now: the previous one is removed.
    void Commit();

private:
    std::string newPath_;
    std::string oldPath_;
    bool committed_ = false;
};
