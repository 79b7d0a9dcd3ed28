#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A name of the wallpaper bitmap that was never handed to the desktop before, for desktops that keep
// a picture by its file name: GNOME's image cache can show what a reused name held changes ago,
// whatever the file holds now. The name is NAME~N.EXT beside the bitmap, N above every such name
// there and at least the time in milliseconds, so it keeps growing across program starts. Once the
// desktop shows the new name the earlier ones go, also those a killed change left behind and the
// NAME.a.EXT / NAME.b.EXT that earlier versions alternated between: one name is left after a change.
class FreshAlias {
public:
    // Links the bitmap under its new name (a copy where links fail). Raises EInOutError.
    explicit FreshAlias(const std::string &cp932Path);
    // Removes the new name again unless Commit was called: the desktop still shows an earlier one.
    ~FreshAlias();
    FreshAlias(const FreshAlias &) = delete;
    FreshAlias &operator=(const FreshAlias &) = delete;

    const std::string &NativePath() const { return newPath_; } // UTF-8
    // The earlier names beside the bitmap, as found when this one was made (UTF-8 paths).
    const std::vector<std::string> &OlderNativePaths() const { return older_; }
    // The desktop shows the new name now: the earlier ones are removed.
    void Commit();

private:
    std::string newPath_;
    std::vector<std::string> older_;
    bool committed_ = false;
};
