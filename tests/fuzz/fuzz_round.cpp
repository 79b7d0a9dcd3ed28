// A group's stored round read from arbitrary bytes, as its own round file or as the file of earlier
// versions: whatever the file holds, a change takes an entry of the group without failing, and the
// round it stores reads back as one whole round of the group.
#include "FuzzSupport.h"
#include "platform/Files.h"
#include "platform/HomeFolder.h"
#include "schedule/ShuffleOrder.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool IsWholeRound(std::vector<int32_t> round, size_t count)
{
    std::sort(round.begin(), round.end());
    for (size_t k = 0; k < round.size(); ++k)
        if (round[k] != int32_t(k))
            return false;
    return round.size() == count;
}

void PlaceFile(bool legacy, const std::string &bytes)
{
    DeleteFileIfExists(LegacyShuffleFilePath());
    DeleteFileIfExists(RoundFilePath("g.dat"));
    const std::string path = legacy ? LegacyShuffleFilePath() : RoundFilePath("g.dat");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    AtomicFileWriter writer(path);
    writer.Write(bytes);
    writer.Commit();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool homeSet = [] {
        SetHomeFolderOverride(FuzzScratchPath("home") + "/");
        return true;
    }();
    (void)homeSet;
    FuzzInput in(data, size);
    const uint8_t mode = in.Byte();
    const size_t count = in.Byte() % 9;
    const std::string bytes(in.Rest());
    std::vector<std::string> paths;
    ShuffleOrder::NumberedPaths numbered;
    for (size_t k = 0; k < count; ++k) {
        paths.push_back("p" + std::to_string(k) + ".bmp");
        numbered.emplace_back(int32_t(k), paths.back());
    }
    uint32_t state = mode;
    auto pick = [&state](int32_t n) {
        state = state * 1103515245u + 12345u;
        return int32_t((state >> 8) % uint32_t(n));
    };
    const bool legacy = mode & 1;
    try {
        // As a change reads it: a round fitted to this very group file is believed without a look at
        // the group, so only its failures are checked here.
        PlaceFile(legacy, bytes);
        ShuffleOrder believed(pick);
        believed.Load("g.dat");
        believed.FitTo(FileStamp{1, 2, 3, 4, int64_t(mode >> 1)}, [&] { return numbered; });
        for (int i = 0; i < 3; ++i)
            FUZZ_CHECK(believed.Take() >= 0);
        believed.Store("g.dat");

        // Fitted to the group's pictures, any round becomes one of the group, and reads back as it.
        PlaceFile(legacy, bytes);
        ShuffleOrder fitted(pick);
        fitted.Load("g.dat");
        fitted.Fit(paths);
        FUZZ_CHECK(IsWholeRound(fitted.Round(), count));
        const int32_t taken = fitted.Take();
        FUZZ_CHECK(count == 0 ? taken == 0 : taken >= 0 && size_t(taken) < count);
        fitted.Store("g.dat");
        ShuffleOrder reread(pick);
        reread.Load("g.dat");
        FUZZ_CHECK(reread.Round() == fitted.Round());
        FUZZ_CHECK(reread.ShownCount() == fitted.ShownCount());
    } catch (const Exception &e) {
        CheckFailure(e);
    }
    return 0;
}
