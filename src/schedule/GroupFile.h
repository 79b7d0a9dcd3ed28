#pragma once

#include "ini/IniReader.h"
#include "listedit/WallPaperList.h"
#include "schedule/EntryWalk.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A group file as one change reads it: the count key, the entries the change tries, and only when a
// change needs them (an entry missing, the group edited since the last round) every entry the file
// holds. The file is read from its start up to what is asked for and never held whole, so the
// change of a large group costs about what the entry it shows costs. The file stays open for the
// change: every read sees the same version of the group.
class GroupFile : public EntrySet {
public:
    // Raises EInOutError when the file is there but cannot be opened; a missing one reads as empty.
    explicit GroupFile(const std::string &path);

    TIniReader &Ini() { return ini_; }
    const FileStamp &Stamp() const { return ini_.Stamp(); }
    // The entries the walks and the round count are 0..last; set once the count key is read.
    void SetLastIndex(int32_t last) { last_ = last; }

    // Entry k as ReadWallPaperEntry reads it.
    WallPaperEntry Entry(int32_t k);
    bool Has(int32_t k) override;
    const std::vector<int32_t> &All() override;
    // Every entry 0..last the file holds with its picture path, ascending by number; one pass.
    std::vector<std::pair<int32_t, std::string>> PicturePaths();
    // Whether an entry 0..last names a picture; reads the file only up to the first that does.
    bool HasPicture();

private:
    // Calls `entry` with the number and the value of each entry 0..last in file order, every line of a
    // number included (the first is the one that counts), until it returns false.
    template <typename Visit> void ForEachEntry(Visit &&entry);
    // The value of "file<k>", read once for Has and Entry.
    const std::optional<std::string> &Value(int32_t k);

    TIniReader ini_;
    int32_t last_ = -1;
    std::optional<std::vector<int32_t>> all_;
    int32_t cachedEntry_ = -1;
    std::optional<std::string> cachedValue_;
};
