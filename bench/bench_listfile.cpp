// Loading a large group the way the scheduler does (INI engine, last entry) and the way the
// editor does (every line).
#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kEntries = 100000;

// A group of kEntries pictures with lines of about 60 bytes, written once per process.
const std::string &GroupFile()
{
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tapisto-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        WallPaperList list;
        list.reserve(kEntries);
        for (int k = 0; k < kEntries; ++k) {
            char name[64];
            std::snprintf(name, sizeof name, "/home/user/Pictures/wall/photo_%06d.jpg", k);
            list.push_back({name, std::string(k % 3 == 0 ? kPositionTile : kPositionCentre), k % 5 == 0 ? "150%" : ""});
        }
        std::string file = pattern + "/group.dat";
        WriteWallPaperList(file, list);
        std::atexit([] { std::filesystem::remove_all(std::filesystem::path(GroupFile()).parent_path()); });
        return file;
    }();
    return path;
}

void BM_SchedulerReadsLastEntry(benchmark::State &state)
{
    const std::string &path = GroupFile();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        TIniStoreEx ini(path);
        int32_t last = ReadLastIndex(ini);
        WallPaperEntry entry = ReadWallPaperEntry(ini, last);
        benchmark::DoNotOptimize(entry);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_SchedulerReadsLastEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EditorReadsWholeList(benchmark::State &state)
{
    const std::string &path = GroupFile();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        WallPaperList list = ReadWallPaperList(path);
        benchmark::DoNotOptimize(list);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_EditorReadsWholeList)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
