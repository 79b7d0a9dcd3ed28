#include "schedule/ShuffleOrder.h"

#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::string_view kCountKey = "Count";
constexpr std::string_view kShownKey = "Shown";
constexpr std::string_view kEntryKeyPrefix = "Entry";

// A path is kept as a hash: a picture path may fill the engine's 255 bytes on its own, and the
// round only needs to tell paths apart.
uint64_t PathHash(std::string_view path)
{
    uint64_t hash = 0xcbf29ce484222325ULL; // 64-bit FNV-1a
    for (const char c : path) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string EntryKey(size_t k)
{
    return std::string(kEntryKeyPrefix) + std::to_string(k);
}

// "<entry number>,<16 hex digits>"; false for anything else.
bool ParseItem(std::string_view text, int32_t &number, uint64_t &hash)
{
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos || !TryStrToInt(text.substr(0, comma), number) || number < 0)
        return false;
    const std::string_view hex = text.substr(comma + 1);
    if (hex.size() != 16)
        return false;
    hash = 0;
    for (const char c : hex) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        hash = hash << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

std::string FormatItem(int32_t number, uint64_t hash)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::to_string(number) + "," + hex;
}

std::vector<std::string> SectionLines(TIniStore &ini, std::string_view section)
{
    std::vector<std::string> lines;
    ini.ReadSectionLines(section, lines);
    return lines;
}

// The value of a key as ReadString finds it: the first line whose key matches.
std::string FirstValue(const std::vector<std::string> &lines, std::string_view key)
{
    for (const std::string &line : lines) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && IniNamesEqual(std::string_view(line).substr(0, eq), key))
            return line.substr(eq + 1);
    }
    return {};
}

// The values of the keys "<prefix><n>" for n below count, each as FirstValue finds it, in one
// pass over the lines rather than one per key.
std::vector<std::string> NumberedValues(const std::vector<std::string> &lines, std::string_view key, size_t count)
{
    std::vector<std::string> values(count);
    std::vector<char> found(count, 0);
    for (const std::string &line : lines) {
        uint64_t n = 0;
        if (IniNumberedKey(line, key, n) && n < count && !found[n]) {
            found[n] = 1;
            values[n] = line.substr(line.find('=') + 1);
        }
    }
    return values;
}

} // namespace

std::vector<std::string> GroupPicturePaths(TIniStore &group, int32_t last)
{
    const std::vector<std::string> lines = SectionLines(group, "Main");
    // An entry past the section's line count cannot be in the file: a count key far beyond the
    // file must not make a round of that size.
    const size_t count = std::min(static_cast<size_t>(last) + 1, lines.size());
    std::vector<std::string> paths = NumberedValues(lines, "file", count);
    for (std::string &path : paths)
        path = SplitEntryValue(path).PicturePath;
    return paths;
}

ShuffleOrder::ShuffleOrder(RandomPick pick) : pick_(std::move(pick)) {}

void ShuffleOrder::Load(const std::string &filePath, const std::string &group)
{
    items_.clear();
    shown_ = 0;
    std::optional<TIniStoreEx> file;
    try {
        file.emplace(filePath);
    } catch (const EInOutError &) {
        return; // unreadable: the next Store says whether it can be replaced
    }
    const std::vector<std::string> lines = SectionLines(*file, group);
    int32_t count = 0;
    int32_t shown = 0;
    // More entries than lines is a truncated round (and no reason to reserve room for them).
    if (!TryStrToInt(FirstValue(lines, kCountKey), count) || count < 0 || static_cast<size_t>(count) > lines.size() ||
        !TryStrToInt(FirstValue(lines, kShownKey), shown) || shown < 0 || shown > count)
        return;
    const std::vector<std::string> values = NumberedValues(lines, kEntryKeyPrefix, static_cast<size_t>(count));
    std::vector<Item> items;
    for (size_t k = 0; k < static_cast<size_t>(count); ++k) {
        Item item{};
        if (!ParseItem(values[k], item.number, item.pathHash))
            return; // truncated or garbled: a fresh round
        items.push_back(item);
    }
    items_ = std::move(items);
    shown_ = static_cast<size_t>(shown);
}

void ShuffleOrder::Store(const std::string &filePath, const std::string &group) const
{
    TIniStoreEx ini(filePath);
    ini.EraseSection(group);
    ini.WriteString(group, kCountKey, std::to_string(items_.size()));
    ini.WriteString(group, kShownKey, std::to_string(shown_));
    // The section was just made afresh, so the entries are appended to it directly instead of
    // each being looked up first.
    TEntryList &entries = ini.Sections().SectionEntries(ini.CurrentSection());
    for (size_t k = 0; k < items_.size(); ++k)
        entries.Add(EntryKey(k) + "=" + FormatItem(items_[k].number, items_[k].pathHash));
    ini.Flush();
}

int32_t ShuffleOrder::Take(const std::vector<std::string> &paths)
{
    if (paths.empty())
        return 0;
    std::vector<uint64_t> hashes;
    hashes.reserve(paths.size());
    for (const std::string &path : paths)
        hashes.push_back(PathHash(path));
    const int32_t last = Fit(hashes);
    if (shown_ >= items_.size())
        NewRound(hashes, last);
    return items_[shown_++].number;
}

int32_t ShuffleOrder::Fit(const std::vector<uint64_t> &hashes)
{
    const size_t count = hashes.size();
    std::vector<char> claimed(count, 0);
    std::vector<int32_t> resolved(items_.size(), -1);
    // Entries whose number still holds their path.
    for (size_t i = 0; i < items_.size(); ++i) {
        const auto n = static_cast<size_t>(items_[i].number);
        if (n < count && hashes[n] == items_[i].pathHash && !claimed[n]) {
            resolved[i] = items_[i].number;
            claimed[n] = 1;
        }
    }
    // Entries whose path moved to another number: the lowest free number holding the path.
    std::unordered_map<uint64_t, std::vector<int32_t>> free;
    for (size_t k = count; k-- > 0;)
        if (!claimed[k])
            free[hashes[k]].push_back(static_cast<int32_t>(k));
    for (size_t i = 0; i < items_.size(); ++i) {
        if (resolved[i] >= 0)
            continue;
        const auto found = free.find(items_[i].pathHash);
        if (found == free.end() || found->second.empty())
            continue; // no longer in the group
        resolved[i] = found->second.back();
        found->second.pop_back();
        claimed[static_cast<size_t>(resolved[i])] = 1;
    }

    const int32_t last = shown_ > 0 ? resolved[shown_ - 1] : -1;
    std::vector<Item> kept;
    size_t keptShown = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (resolved[i] < 0)
            continue;
        kept.push_back({resolved[i], hashes[static_cast<size_t>(resolved[i])]});
        if (i < shown_)
            ++keptShown;
    }
    // New entries join the rest of this round at random places: shuffled, then interleaved with
    // the waiting ones at random, which is as likely as inserting each at a random place but linear.
    std::vector<Item> fresh;
    for (size_t k = 0; k < count; ++k)
        if (!claimed[k])
            fresh.push_back({static_cast<int32_t>(k), hashes[k]});
    if (!fresh.empty()) {
        Shuffle(fresh);
        std::vector<Item> merged(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(keptShown));
        size_t waiting = keptShown;
        size_t added = 0;
        while (waiting < kept.size() || added < fresh.size()) {
            const auto waitingLeft = static_cast<int32_t>(kept.size() - waiting);
            const auto freshLeft = static_cast<int32_t>(fresh.size() - added);
            if (freshLeft > 0 && (waitingLeft == 0 || pick_(waitingLeft + freshLeft) < freshLeft))
                merged.push_back(fresh[added++]);
            else
                merged.push_back(kept[waiting++]);
        }
        kept = std::move(merged);
    }
    items_ = std::move(kept);
    shown_ = keptShown;
    return last;
}

void ShuffleOrder::NewRound(const std::vector<uint64_t> &hashes, int32_t avoid)
{
    const auto count = static_cast<int32_t>(hashes.size());
    items_.clear();
    for (int32_t k = 0; k < count; ++k)
        items_.push_back({k, hashes[static_cast<size_t>(k)]});
    Shuffle(items_);
    // Swapping the entry just shown with a random later one keeps every allowed order equally likely.
    if (count > 1 && items_[0].number == avoid)
        std::swap(items_[0], items_[1 + static_cast<size_t>(pick_(count - 1))]);
    shown_ = 0;
}

void ShuffleOrder::Shuffle(std::vector<Item> &items)
{
    for (size_t i = items.size(); i-- > 1;)
        std::swap(items[i], items[static_cast<size_t>(pick_(static_cast<int32_t>(i + 1)))]);
}

std::vector<int32_t> ShuffleOrder::Round() const
{
    std::vector<int32_t> numbers;
    for (const Item &item : items_)
        numbers.push_back(item.number);
    return numbers;
}

std::string ShuffleFilePath()
{
    return HomeFolder() + "Tapisto.shuffle.ini";
}
