#include "schedule/GroupFile.h"

#include "ini/IniStore.h"

#include <algorithm>
#include <unordered_set>

GroupFile::GroupFile(const std::string &path) : ini_(path) {}

const std::optional<std::string> &GroupFile::Value(int32_t k)
{
    if (k != cachedEntry_) {
        std::string value;
        cachedValue_ =
            ini_.Find("Main", EntryKey(k), value) ? std::optional<std::string>(std::move(value)) : std::nullopt;
        cachedEntry_ = k;
    }
    return cachedValue_;
}

WallPaperEntry GroupFile::Entry(int32_t k)
{
    const std::optional<std::string> &value = Value(k);
    return value ? SplitEntryValue(*value) : WallPaperEntry{};
}

bool GroupFile::Has(int32_t k)
{
    return k >= 0 && k <= last_ && Value(k).has_value();
}

template <typename Visit> void GroupFile::ForEachEntry(Visit &&entry)
{
    if (last_ < 0)
        return;
    ini_.ForEachLine("Main", [&](std::string_view line) {
        uint64_t n = 0;
        return !IniNumberedKey(line, "file", n) || n > uint64_t(last_) ||
               entry(int32_t(n), line.substr(line.find('=') + 1));
    });
}

const std::vector<int32_t> &GroupFile::All()
{
    if (!all_) {
        std::vector<int32_t> present;
        ForEachEntry([&](int32_t n, std::string_view) {
            present.push_back(n);
            return true;
        });
        std::sort(present.begin(), present.end());
        present.erase(std::unique(present.begin(), present.end()), present.end());
        all_ = std::move(present);
    }
    return *all_;
}

std::vector<std::pair<int32_t, std::string>> GroupFile::PicturePaths()
{
    std::vector<std::pair<int32_t, std::string>> paths;
    ForEachEntry([&](int32_t n, std::string_view value) {
        paths.emplace_back(n, SplitEntryValue(value).PicturePath);
        return true;
    });
    // Stable, so that of the lines of one number the first stays first: it is the one ReadString finds.
    std::stable_sort(paths.begin(), paths.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    paths.erase(
        std::unique(paths.begin(), paths.end(), [](const auto &a, const auto &b) { return a.first == b.first; }),
        paths.end());
    return paths;
}

bool GroupFile::HasPicture()
{
    // Of the lines of one number the first counts: a number seen without a picture stays without.
    std::unordered_set<int32_t> withoutPicture;
    bool found = false;
    ForEachEntry([&](int32_t n, std::string_view value) {
        if (withoutPicture.count(n) != 0)
            return true;
        found = !SplitEntryValue(value).PicturePath.empty();
        withoutPicture.insert(n);
        return !found;
    });
    return found;
}
