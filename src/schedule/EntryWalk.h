#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ShuffleOrder;

// The entries of a group file as the walks ask about them: whether one is there, which costs the
// read of that entry, and only when a walk has to find the next one that is there, all of them.
class EntrySet {
public:
    virtual ~EntrySet() = default;
    // Whether the file holds entry k ("file<k>" in [Main], k within the count key).
    virtual bool Has(int32_t k) = 0;
    // The entry numbers 0..last that the file holds, ascending. A count key beyond the entries written
    // leaves gaps, which no change has to try one by one.
    virtual const std::vector<int32_t> &All() = 0;
};

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
// does not hold are passed over. `entries` must outlive the walk.
std::unique_ptr<EntryWalk> ListOrderWalk(EntrySet &entries, int32_t from, bool backwards);
// Random order: for each pick, the first entry at or after it that has not come yet; then the
// entries after the first pick, in list order.
std::unique_ptr<EntryWalk> RandomOrderWalk(EntrySet &entries, std::vector<int32_t> picks);
// Random order without repeats: the next entries of the group's round (fitted to the group already,
// see ShuffleOrder::FitTo), each counted shown in the round as it is offered.
std::unique_ptr<EntryWalk> RoundWalk(ShuffleOrder &round, EntrySet &entries);
