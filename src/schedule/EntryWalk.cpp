#include "schedule/EntryWalk.h"

#include "ini/IniStore.h"
#include "schedule/ShuffleOrder.h"

#include <algorithm>
#include <unordered_set>

std::vector<int32_t> PresentEntries(TIniStore &group, int32_t last)
{
    std::vector<int32_t> present;
    const int32_t section = group.Sections().IndexOf("Main");
    if (section < 0 || last < 0)
        return present;
    const TEntryList &lines = group.Sections().SectionEntries(section);
    for (size_t i = 0; i < lines.Count(); ++i) {
        uint64_t n = 0;
        if (IniNumberedKey(lines[i], "file", n) && n <= static_cast<uint64_t>(last))
            present.push_back(static_cast<int32_t>(n));
    }
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    return present;
}

namespace {

// The place in `present` of the first entry at or after `entry`, wrapping to the first.
size_t PlaceAtOrAfter(const std::vector<int32_t> &present, int32_t entry)
{
    const size_t place = size_t(std::lower_bound(present.begin(), present.end(), entry) - present.begin());
    return place == present.size() ? 0 : place;
}

class ListOrder : public EntryWalk {
public:
    ListOrder(std::vector<int32_t> present, int32_t from, bool backwards)
        : present_(std::move(present)), backwards_(backwards)
    {
        if (present_.empty())
            return;
        place_ = PlaceAtOrAfter(present_, from);
        // Backwards, the first is the entry at `from` or the last one before it.
        if (backwards_ && present_[place_] != from)
            place_ = place_ == 0 ? present_.size() - 1 : place_ - 1;
    }

    std::optional<int32_t> Next() override
    {
        if (offered_ == present_.size())
            return std::nullopt;
        const int32_t entry = present_[place_];
        ++offered_;
        if (backwards_)
            place_ = place_ == 0 ? present_.size() - 1 : place_ - 1;
        else
            place_ = place_ + 1 == present_.size() ? 0 : place_ + 1;
        return entry;
    }

private:
    std::vector<int32_t> present_;
    bool backwards_;
    size_t place_ = 0;
    size_t offered_ = 0;
};

class RandomOrder : public EntryWalk {
public:
    RandomOrder(std::vector<int32_t> present, std::vector<int32_t> picks)
        : present_(std::move(present)), picks_(std::move(picks)), offered_(present_.size(), 0)
    {
    }

    std::optional<int32_t> Next() override
    {
        while (nextPick_ < picks_.size()) {
            if (const std::optional<int32_t> entry = FirstNotOffered(PlaceAtOrAfter(present_, picks_[nextPick_++])))
                return entry;
        }
        if (picks_.empty())
            return std::nullopt;
        // Then list order after the first pick.
        return FirstNotOffered(PlaceAtOrAfter(present_, picks_.front()));
    }

private:
    std::optional<int32_t> FirstNotOffered(size_t place)
    {
        for (size_t k = 0; k < present_.size(); ++k, place = place + 1 == present_.size() ? 0 : place + 1) {
            if (!offered_[place]) {
                offered_[place] = 1;
                return present_[place];
            }
        }
        return std::nullopt;
    }

    std::vector<int32_t> present_;
    std::vector<int32_t> picks_;
    std::vector<char> offered_; // by place in present_
    size_t nextPick_ = 0;
};

class Round : public EntryWalk {
public:
    Round(ShuffleOrder &round, std::vector<std::string> paths, std::vector<int32_t> present)
        : round_(round), paths_(std::move(paths)), present_(std::move(present))
    {
    }

    std::optional<int32_t> Next() override
    {
        // A round that ends on the way is followed by a new one, which may offer entries of the old
        // one again: two rounds' worth of takes reach every entry.
        while (takes_ < 2 * paths_.size() && offered_.size() < paths_.size()) {
            ++takes_;
            const int32_t entry = round_.Take(paths_);
            if (!offered_.insert(entry).second)
                continue;
            if (std::binary_search(present_.begin(), present_.end(), entry))
                return entry;
        }
        return std::nullopt;
    }

private:
    ShuffleOrder &round_;
    std::vector<std::string> paths_;
    std::vector<int32_t> present_;
    std::unordered_set<int32_t> offered_;
    size_t takes_ = 0;
};

} // namespace

std::unique_ptr<EntryWalk> ListOrderWalk(std::vector<int32_t> present, int32_t from, bool backwards)
{
    return std::make_unique<ListOrder>(std::move(present), from, backwards);
}

std::unique_ptr<EntryWalk> RandomOrderWalk(std::vector<int32_t> present, std::vector<int32_t> picks)
{
    return std::make_unique<RandomOrder>(std::move(present), std::move(picks));
}

std::unique_ptr<EntryWalk> RoundWalk(ShuffleOrder &round, std::vector<std::string> paths, std::vector<int32_t> present)
{
    return std::make_unique<Round>(round, std::move(paths), std::move(present));
}
