// Loading a large group the way the scheduler does (INI engine, last entry) and the way the
// editor does (every line), and the round of random order without repeats over it.
#include "ini/IniReader.h"
#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "schedule/GroupFile.h"
#include "schedule/ShuffleOrder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

constexpr int kEntries = 100000;

// A group of kEntries pictures with lines of about 60 bytes, written once per process into a
// temporary folder that is removed at exit.
class GroupFixture {
public:
    GroupFixture()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tapisto-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder_ = pattern;
        WallPaperList list;
        list.reserve(kEntries);
        for (int k = 0; k < kEntries; ++k) {
            char name[64];
            std::snprintf(name, sizeof name, "/home/user/Pictures/wall/photo_%06d.jpg", k);
            list.push_back({name, std::string(k % 3 == 0 ? kPositionTile : kPositionCentre), k % 5 == 0 ? "150%" : ""});
        }
        path_ = folder_ + "/group.dat";
        WriteWallPaperList(path_, list);
    }
    ~GroupFixture()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string &Path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

const std::string &LargeGroupPath()
{
    static const GroupFixture fixture;
    return fixture.Path();
}

void BM_SchedulerReadsLastEntry(benchmark::State &state)
{
    const std::string &path = LargeGroupPath();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own counter
        TIniStoreEx ini(path);
        int32_t last = ReadLastIndex(ini);
        WallPaperEntry entry = ReadWallPaperEntry(ini, last);
        benchmark::DoNotOptimize(entry);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_SchedulerReadsLastEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same through the reader a change uses, which stops at the entry.
void BM_ChangeReadsLastEntry(benchmark::State &state)
{
    const std::string &path = LargeGroupPath();
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own counter
        TIniReader ini(path);
        int32_t last = ReadLastIndex(ini);
        WallPaperEntry entry = ReadWallPaperEntry(ini, last);
        benchmark::DoNotOptimize(entry);
    }
}
BENCHMARK(BM_ChangeReadsLastEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EditorReadsWholeList(benchmark::State &state)
{
    const std::string &path = LargeGroupPath();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own counter
        WallPaperList list = ReadWallPaperList(path);
        benchmark::DoNotOptimize(list);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_EditorReadsWholeList)->Unit(benchmark::kMillisecond)->UseRealTime();

// What random order without repeats adds to a change: the stored round opened, fitted to the group
// (its paths are read only when the group was edited), advanced and its position written back.
void BM_NoRepeatRoundOfLargeGroup(benchmark::State &state)
{
    const std::string &path = LargeGroupPath();
    ::setenv("TAPISTO_HOME", path.substr(0, path.rfind('/') + 1).c_str(), 1);
    std::mt19937 random(1);
    const auto pick = [&](int32_t count) { return std::uniform_int_distribution<int32_t>(0, count - 1)(random); };
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own counter
        GroupFile group(path);
        group.SetLastIndex(ReadLastIndex(group.Ini()));
        ShuffleOrder round(pick);
        round.Load("group.dat");
        round.FitTo(group.Stamp(), [&group] { return group.PicturePaths(); });
        benchmark::DoNotOptimize(round.Take());
        round.Store("group.dat");
    }
}
BENCHMARK(BM_NoRepeatRoundOfLargeGroup)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
