#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ShuffleOrder;
class TIniStore;

// The entry numbers 0..last that the open group file holds ("file<k>" lines of [Main]), ascending.
// A count key beyond the entries written leaves gaps, which no change has to try one by one.
std::vector<int32_t> PresentEntries(TIniStore &group, int32_t last);

// The entries one change tries, in the order it tries them: the first is the one the schedule would
// show, the next ones stand in for entries whose pictures cannot be used. Each entry comes at most
// once, so a walk ends after once round the group.
class EntryWalk {
public:
    virtual ~EntryWalk() = default;
    // The next entry to try; nothing once every entry has been offered.
    virtual std::optional<int32_t> Next() = 0;
};

// List order from `from` on (downwards when `backwards`), wrapping round the group; entries the file
// does not hold are passed over.
std::unique_ptr<EntryWalk> ListOrderWalk(std::vector<int32_t> present, int32_t from, bool backwards);
// Random order: for each pick, the first entry at or after it that has not come yet; then the
// entries after the first pick, in list order.
std::unique_ptr<EntryWalk> RandomOrderWalk(std::vector<int32_t> present, std::vector<int32_t> picks);
// Random order without repeats: the next entries of the stored round (`paths[k]` is entry k's picture
// path, as ShuffleOrder::Take wants them), each counted shown in the round as it is offered.
std::unique_ptr<EntryWalk> RoundWalk(ShuffleOrder &round, std::vector<std::string> paths, std::vector<int32_t> present);
