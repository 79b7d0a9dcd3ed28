#pragma once

#include "platform/DirEnum.h"

#include <array>
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

// Whether the name's extension (from its last '.', dot included), lower-cased, occurs anywhere in
// the filter text (CP932). A name without extension never passes; the search is a plain substring
// search, so ".JPG" and even ".jp" pass against the JPEG patterns.
bool IsPictureExtension(std::string_view cp932Name, std::string_view filterText);

// Why something dropped (or found in a dropped folder) was not added.
enum class DropSkipReason {
    NotPicture,       // a file whose extension no picture format has
    PluginsOff,       // a format of the bundled plug-ins while the plug-in option is off
    NoPlugin,         // such a format with the option on, but no plug-in for it was loaded
    UnreadableFolder, // a folder that could not be listed
    NotCp932,         // a picture or folder whose path CP932 cannot hold
};
inline constexpr size_t kDropSkipReasons = 5;

// The skipped items of one drop, counted by reason, with the first few paths (UTF-8) of each as
// examples: a folder of many thousand other files costs no more than a few names.
class DropSkips {
public:
    static constexpr size_t kExamples = 5;
    struct Group {
        size_t count = 0;
        std::vector<std::string> examples;
    };
    void Add(DropSkipReason reason, std::string nativePath);
    const Group &operator[](DropSkipReason reason) const { return groups_[static_cast<size_t>(reason)]; }
    bool Empty() const;

private:
    std::array<Group, kDropSkipReasons> groups_;
};

// The warning that tells a drop's skipped items (UTF-8): one paragraph per reason with the count
// and the example names. Empty when nothing was skipped.
std::string DropSkipMessage(const DropSkips &skips);

// Turns dropped files and folders into picture paths: the dropped picture files first, in delivery
// order, then the pictures of the dropped folders, level by level (each folder's own entries in the
// order the folder listing gives them, its subfolders queued behind everything already queued).
// Within the walk of one dropped folder each folder (device and inode, links followed) is walked
// once, at the first path that reaches it: links back into the tree or several links to one folder
// neither loop nor multiply. Separate dropped items are walked independently (a folder dropped
// twice gives its pictures twice). Everything left out is counted in Skipped().
// May run on any thread: it touches nothing but the file system and its own state.
class DropCollector {
public:
    struct Progress {
        size_t folders = 0;       // folders listed so far
        size_t pictures = 0;      // pictures found so far
        std::string nativeFolder; // the folder being listed (UTF-8)
    };
    // Receives each picture's full path (CP932).
    using PictureSink = std::function<void(const std::string &cp932Path)>;
    // Called now and then during a walk with its progress; returning false stops the walk.
    using Tick = std::function<bool(const Progress &)>;

    // `pluginsEnabled` tells the two reasons for a plug-in format apart.
    DropCollector(std::string filterText, bool pluginsEnabled, PictureSink sink, Tick tick = {});

    // The dropped items as UTF-8 paths, in delivery order.
    void Collect(const std::vector<std::string> &nativePaths);

    const DropSkips &Skipped() const { return skipped_; }
    // Whether Tick stopped the walk.
    bool Stopped() const { return stopped_; }

private:
    struct QueuedFolder {
        std::string path; // CP932, ending in the separator
        size_t root = 0;  // which dropped item's walk reached it
    };
    void WalkFolder(const QueuedFolder &folder);
    // Queues a folder unless the walk of its dropped item has reached it already.
    void QueueFolder(std::string path, size_t root, const FileIdentity &id);
    void AddFile(const std::string &cp932Path, const std::string &nativePath);
    void SkipUnrepresentableFile(const std::string &nativePath, std::string_view nativeName);
    // The reason a file that is no registered picture is left out.
    DropSkipReason ReasonForExtension(std::string_view cp932Extension) const;
    bool KeepGoing();

    std::string filterText_;
    bool pluginsEnabled_;
    PictureSink sink_;
    Tick tick_;
    std::vector<QueuedFolder> queue_;
    std::set<std::tuple<size_t, uint64_t, uint64_t>> reached_; // dropped item, device, inode
    DropSkips skipped_;
    Progress progress_;
    unsigned stepsSinceTick_ = 0;
    bool stopped_ = false;
};
