#pragma once

#include "platform/DirEnum.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Whether the name's extension (from its last '.', dot included), lower-cased, occurs anywhere in
// the filter text (CP932). A name without extension never passes; the search is a plain substring
// search, so ".JPG" and even ".jp" pass against the JPEG patterns.
bool IsPictureExtension(std::string_view cp932Name, std::string_view filterText);

// Turns dropped files and folders into picture paths: the dropped picture files first, in delivery
// order, then the pictures of the dropped folders, level by level (each folder's own entries in the
// order the folder listing gives them, its subfolders queued behind everything already queued).
// Folders that cannot be listed are passed over. A folder is walked as often as it is reached (a
// folder dropped twice gives its pictures twice), except through a link back into its own ancestry,
// which would loop for ever.
class DropCollector {
public:
    // Receives each picture's full path (CP932).
    using PictureSink = std::function<void(const std::string &cp932Path)>;
    // Called now and then during a long walk; returning false stops the walk.
    using Tick = std::function<bool()>;

    DropCollector(std::string filterText, PictureSink sink, Tick tick = {});

    // The dropped items as UTF-8 paths, in delivery order.
    void Collect(const std::vector<std::string> &nativePaths);

    // Pictures and folders left out because CP932 cannot hold their paths (UTF-8).
    const std::vector<std::string> &Refused() const { return refused_; }
    // Whether Tick stopped the walk.
    bool Stopped() const { return stopped_; }

private:
    // A queued folder and the folder whose walk queued it (none for a dropped one).
    struct QueuedFolder {
        std::string path;  // CP932, ending in the separator
        long parent = -1;  // index into the queue
        FileIdentity id{}; // the folder a link leads to counts as that folder
    };
    void WalkFolder(size_t index, std::vector<QueuedFolder> &queue);
    static bool IsOwnAncestor(const std::vector<QueuedFolder> &queue, size_t index);
    bool NativeNameIsPicture(std::string_view nativeName) const;
    bool KeepGoing();

    std::string filterText_;
    PictureSink sink_;
    Tick tick_;
    std::vector<std::string> refused_;
    unsigned stepsSinceTick_ = 0;
    bool stopped_ = false;
};
