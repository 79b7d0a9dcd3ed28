// List files as the editor reads them (ReadWallPaperList) and as the scheduler reads them (the
// keyed reads through the INI engine), and the decoding of every entry. Whatever the editor read,
// saving it and reading it again gives the same entries.
#include "FuzzSupport.h"
#include "ini/IniReader.h"
#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Files.h"

#include <algorithm>

namespace {

void Decode(const WallPaperEntry &entry)
{
    const auto tile = int32_t(DecodeTileValue(entry.PositionText));
    FUZZ_CHECK(tile >= 0 && tile <= 2);
    try {
        (void)DecodeCorrection(entry.CorrectionText);
    } catch (const EConvertError &e) {
        CheckFailure(e);
    }
}

void SchedulerReads(const std::string &path, int32_t extra)
{
    TIniStoreEx ini(path);
    int32_t last = -1;
    try {
        last = ReadLastIndex(ini);
    } catch (const EConvertError &e) {
        CheckFailure(e);
    }
    // The scheduler reads one entry per change; a few of them, and one number from the input.
    const int32_t probes[] = {0, 1, std::max(last, 0), last, extra, INT32_MAX, INT32_MIN};
    // A change reads through the reader that scans the file: it must answer as the engine does.
    TIniReader reader(path);
    FUZZ_CHECK(reader.ReadString("Main", "idx", "-") == ini.ReadString("Main", "idx", "-"));
    for (int32_t k : probes) {
        const WallPaperEntry entry = ReadWallPaperEntry(ini, k);
        FUZZ_CHECK(entry.PicturePath.size() <= kIniMaxText);
        FUZZ_CHECK(entry.PicturePath.find(',') == std::string::npos);
        FUZZ_CHECK(ReadWallPaperEntry(reader, k) == entry);
        Decode(entry);
    }
    FUZZ_CHECK(!ini.Modified());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int32_t extra = in.I32();
    const std::string path = WriteScratchFile("group.dat", in.Rest());
    try {
        SchedulerReads(path, extra);
        const WallPaperList list = ReadWallPaperList(path);
        for (const WallPaperEntry &entry : list)
            Decode(entry);
        // The editor saves what it read; fields never hold commas, CR, LF or Ctrl-Z by construction.
        const std::string copy = FuzzScratchPath("copy.dat");
        // An empty list too: it is stored as a group without entries ("Idx=-1").
        WriteWallPaperList(copy, list);
        FUZZ_CHECK(ReadWallPaperList(copy) == list);
        TIniStoreEx ini(copy);
        FUZZ_CHECK(ReadLastIndex(ini) == int32_t(list.size()) - 1);
        // The scheduler sees the same entries as long as a line fits in 255 bytes.
        for (size_t k = 0; k < std::min<size_t>(list.size(), 16); ++k) {
            const WallPaperEntry &e = list[k];
            const size_t lineLength = 4 + std::to_string(k).size() + 1 + e.PicturePath.size() + e.PositionText.size() +
                                      e.CorrectionText.size() + 3;
            if (lineLength <= kIniMaxText)
                FUZZ_CHECK(ReadWallPaperEntry(ini, int32_t(k)) == e);
        }
    } catch (const Exception &e) {
        CheckFailure(e);
    }
    return 0;
}
