#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Random order without repeats for one group: a shuffled round of the group's entries that the
// changes walk; when it is used up a new round is drawn whose first entry is not the one that
// ended the last. The round lives in Tapisto.shuffle.ini beside the settings, one section per
// group file name, and survives restarts.
//
// An entry is known by its number and a hash of its picture path, so that the round notices what
// the list editor did between two changes: an entry whose number still holds its path stays; one
// whose path moved to another number (entries removed or inserted before it) follows its path; a
// path no longer in the group is dropped; entries not in the round are new and join the part of
// the round not shown yet at random places. The round is thus never restarted by an edit, and an
// entry shown in this round is not shown again in it. A stored round that is missing, truncated or
// garbled reads as empty, which makes every entry new: a fresh round.
class ShuffleOrder {
public:
    // The random choice: uniform among 0..count-1 (count > 0).
    using RandomPick = std::function<int32_t(int32_t count)>;

    explicit ShuffleOrder(RandomPick pick);

    // Reads the stored round of a group. Never raises: a file that cannot be read or a round it
    // cannot make sense of leaves the round empty, so the changes go on with a fresh one.
    void Load(const std::string &filePath, const std::string &group);
    // Replaces the group's section with the round (the file is replaced atomically). Raises
    // EInOutError when the file cannot be written.
    void Store(const std::string &filePath, const std::string &group) const;

    // Fits the round to the group's pictures (paths[k] is entry k's picture path), draws a new
    // round when it is used up, and returns the entry to show next, counting it shown (0 for no
    // pictures).
    int32_t Take(const std::vector<std::string> &paths);

    // The round's entry numbers in order, and how many of them have been shown.
    std::vector<int32_t> Round() const;
    size_t ShownCount() const { return shown_; }

private:
    struct Item {
        int32_t number;
        uint64_t pathHash;
    };
    // Returns the entry number the last shown item now has, or -1 when it is gone.
    int32_t Fit(const std::vector<uint64_t> &hashes);
    void NewRound(const std::vector<uint64_t> &hashes, int32_t avoid);
    void Shuffle(std::vector<Item> &items); // Fisher-Yates with pick_

    RandomPick pick_;
    std::vector<Item> items_;
    size_t shown_ = 0;
};

// The picture paths of entries 0..last of an open group file, read as ReadWallPaperEntry reads
// each of them; no more than the group's section has lines.
class TIniStore;
std::vector<std::string> GroupPicturePaths(TIniStore &group, int32_t last);

// HomeFolder() + "Tapisto.shuffle.ini".
std::string ShuffleFilePath();
