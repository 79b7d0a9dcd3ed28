#include "schedule/EntryWalk.h"

#include "schedule/ShuffleOrder.h"

#include <algorithm>
#include <unordered_set>

namespace {

// The place in `present` of the first entry at or after `entry`, wrapping to the first.
size_t PlaceAtOrAfter(const std::vector<int32_t> &present, int32_t entry)
{
    const size_t place = size_t(std::lower_bound(present.begin(), present.end(), entry) - present.begin());
    return place == present.size() ? 0 : place;
}

// The first entry of list order and of random order is tried before the group's entries are all
// known: most changes show it, and never need the others.
class ListOrder : public EntryWalk {
public:
    ListOrder(EntrySet &entries, int32_t from, bool backwards) : entries_(entries), from_(from), backwards_(backwards)
    {
    }

    std::optional<int32_t> Next() override
    {
        if (!started_) {
            started_ = true;
            if (entries_.Has(from_)) {
                offered_ = 1;
                return from_;
            }
        }
        if (present_ == nullptr)
            Locate();
        if (offered_ >= present_->size())
            return std::nullopt;
        const int32_t entry = (*present_)[place_];
        ++offered_;
        Advance();
        return entry;
    }

private:
    void Locate()
    {
        present_ = &entries_.All();
        if (present_->empty())
            return;
        place_ = PlaceAtOrAfter(*present_, from_);
        // Backwards, the first is the entry at `from` or the last one before it.
        if (backwards_ && (*present_)[place_] != from_)
            place_ = place_ == 0 ? present_->size() - 1 : place_ - 1;
        if (offered_ == 1)
            Advance(); // `from` came first
    }

    void Advance()
    {
        if (backwards_)
            place_ = place_ == 0 ? present_->size() - 1 : place_ - 1;
        else
            place_ = place_ + 1 == present_->size() ? 0 : place_ + 1;
    }

    EntrySet &entries_;
    int32_t from_;
    bool backwards_;
    bool started_ = false;
    const std::vector<int32_t> *present_ = nullptr;
    size_t place_ = 0;
    size_t offered_ = 0;
};

class RandomOrder : public EntryWalk {
public:
    RandomOrder(EntrySet &entries, std::vector<int32_t> picks) : entries_(entries), picks_(std::move(picks)) {}

    std::optional<int32_t> Next() override
    {
        if (!started_) {
            started_ = true;
            if (!picks_.empty() && entries_.Has(picks_.front())) {
                firstOffered_ = true;
                nextPick_ = 1;
                return picks_.front();
            }
        }
        if (present_ == nullptr) {
            present_ = &entries_.All();
            offered_.assign(present_->size(), 0);
            if (firstOffered_ && !present_->empty())
                offered_[PlaceAtOrAfter(*present_, picks_.front())] = 1;
        }
        while (nextPick_ < picks_.size()) {
            if (const std::optional<int32_t> entry = FirstNotOffered(PlaceAtOrAfter(*present_, picks_[nextPick_++])))
                return entry;
        }
        if (picks_.empty())
            return std::nullopt;
        // Then list order after the first pick.
        return FirstNotOffered(PlaceAtOrAfter(*present_, picks_.front()));
    }

private:
    std::optional<int32_t> FirstNotOffered(size_t place)
    {
        const std::vector<int32_t> &present = *present_;
        for (size_t k = 0; k < present.size(); ++k, place = place + 1 == present.size() ? 0 : place + 1) {
            if (!offered_[place]) {
                offered_[place] = 1;
                return present[place];
            }
        }
        return std::nullopt;
    }

    EntrySet &entries_;
    std::vector<int32_t> picks_;
    bool started_ = false;
    bool firstOffered_ = false;
    const std::vector<int32_t> *present_ = nullptr;
    std::vector<char> offered_; // by place in *present_
    size_t nextPick_ = 0;
};

class Round : public EntryWalk {
public:
    Round(ShuffleOrder &round, EntrySet &entries) : round_(round), entries_(entries) {}

    std::optional<int32_t> Next() override
    {
        const size_t count = round_.EntryCount();
        // A round that ends on the way is followed by a new one, which may offer entries of the old
        // one again: two rounds' worth of takes reach every entry.
        while (takes_ < 2 * count && offered_.size() < count) {
            ++takes_;
            const int32_t entry = round_.Take();
            if (!offered_.insert(entry).second)
                continue;
            if (entries_.Has(entry))
                return entry;
        }
        return std::nullopt;
    }

private:
    ShuffleOrder &round_;
    EntrySet &entries_;
    std::unordered_set<int32_t> offered_;
    size_t takes_ = 0;
};

} // namespace

std::unique_ptr<EntryWalk> ListOrderWalk(EntrySet &entries, int32_t from, bool backwards)
{
    return std::make_unique<ListOrder>(entries, from, backwards);
}

std::unique_ptr<EntryWalk> RandomOrderWalk(EntrySet &entries, std::vector<int32_t> picks)
{
    return std::make_unique<RandomOrder>(entries, std::move(picks));
}

std::unique_ptr<EntryWalk> RoundWalk(ShuffleOrder &round, EntrySet &entries)
{
    return std::make_unique<Round>(round, entries);
}
