#include "TempHome.h"
#include "ini/IniStore.h"
#include "listedit/WallPaperList.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace {

const std::string kTile(kPositionTile);
const std::string kCentre(kPositionCentre);
const std::string kEnlarge(kPositionEnlarge);
const std::string kAuto(kCorrectionAuto);

std::string Fixture(const std::string &name)
{
    return ReadFileBytes(TestDataPath("listedit/" + name));
}

WallPaperEntry Entry(std::string path, std::string position, std::string correction)
{
    return {std::move(path), std::move(position), std::move(correction)};
}

void ExpectEntry(const WallPaperEntry &expected, const WallPaperEntry &actual)
{
    EXPECT_EQ(expected.PicturePath, actual.PicturePath);
    EXPECT_EQ(expected.PositionText, actual.PositionText);
    EXPECT_EQ(expected.CorrectionText, actual.CorrectionText);
}

} // namespace

TEST(WallPaperListFile, WritesTheExactFileAndReadsItBack)
{
    TempHome home;
    const std::string path = home.File("group.dat");
    const WallPaperList list{Entry("C:\\pics\\sea.jpg", kTile, ""), Entry("C:\\pics\\hill.bmp", kCentre, kAuto),
                             Entry("D:\\photo\\rose.jpg", kEnlarge, "150%")};
    WriteWallPaperList(path, list);
    EXPECT_EQ(Fixture("three.dat"), ReadFileBytes(path));
    EXPECT_EQ(list, ReadWallPaperList(path));

    WriteWallPaperList(path, {Entry("/p/a.jpg", kTile, "")});
    EXPECT_EQ("[Main]\r\nIdx=0\r\nfile0=/p/a.jpg," + kTile + ",,\r\n", ReadFileBytes(path));
}

TEST(WallPaperListFile, EmptyListIsWrittenAsAGroupWithoutEntries)
{
    TempHome home;
    const std::string path = home.File("group.dat");
    WriteWallPaperList(path, {});
    EXPECT_EQ("[Main]\r\nIdx=-1\r\n", ReadFileBytes(path));
    EXPECT_TRUE(ReadWallPaperList(path).empty());
    WriteFileBytes(path, Fixture("three.dat"));
    WriteWallPaperList(path, {});
    EXPECT_EQ("[Main]\r\nIdx=-1\r\n", ReadFileBytes(path));
    // The schedule reads it as a group of no entries.
    TIniStoreEx ini(path);
    EXPECT_EQ(-1, ReadLastIndex(ini));
}

TEST(WallPaperListFile, WriteAndOpenFailuresRaise)
{
    TempHome home;
    EXPECT_THROW(WriteWallPaperList(home.File("missing/group.dat"), {Entry("a", kTile, "")}), EInOutError);
    EXPECT_THROW(ReadWallPaperList(home.File("missing.dat")), EInOutError);

    // A CR, LF or Ctrl-Z inside a field would cut the group at the next read: refused, old file kept.
    const std::string path = home.File("group.dat");
    WriteFileBytes(path, Fixture("three.dat"));
    EXPECT_THROW(WriteWallPaperList(path, {Entry("/p/a.jpg", kTile, ""), Entry("/p/b\r.jpg", kTile, "")}), EInOutError);
    EXPECT_THROW(WriteWallPaperList(path, {Entry("/p/line\nfeed.jpg", kTile, "")}), EInOutError);
    EXPECT_THROW(WriteWallPaperList(path, {Entry("/p/a.jpg", kTile, "\x1A")}), EInOutError);
    EXPECT_EQ(Fixture("three.dat"), ReadFileBytes(path));
}

TEST(WallPaperListFile, EditorReadsLinesInFileOrderWithoutLengthLimit)
{
    TempHome home;
    const std::string path = home.File("long.dat");
    const std::string longPath = "/" + std::string(1000, 'd') + "/pic.jpg";
    WriteWallPaperList(path, {Entry(longPath, kEnlarge, "200%")});
    EXPECT_EQ((WallPaperList{Entry(longPath, kEnlarge, "200%")}), ReadWallPaperList(path));

    // Lines after the header count in order whatever their keys; a blank line is an empty entry;
    // Ctrl-Z ends the file.
    WriteFileBytes(path, Fixture("out_of_order.dat"));
    const WallPaperList list = ReadWallPaperList(path);
    ASSERT_EQ(4u, list.size());
    ExpectEntry(Entry("/p/c.jpg", kEnlarge, ""), list[0]);
    ExpectEntry(Entry("/p/b.jpg", kCentre, "10%"), list[1]);
    ExpectEntry(Entry("", "", ""), list[2]);
    ExpectEntry(Entry("/p/a.jpg", kTile, ""), list[3]);

    // Lines ended by LF alone (a file written on Linux), or by a mix of ends, read line by line.
    WriteFileBytes(path, Fixture("lf_only.dat"));
    EXPECT_EQ((WallPaperList{Entry("/p/a.jpg", kTile, ""), Entry("/p/b.jpg", kCentre, "")}), ReadWallPaperList(path));
    WriteFileBytes(path, "[Main]\r\nIdx=1\r\nfile0=/p/a.jpg,,,\nfile1=/p/b.jpg,,,\r\n");
    EXPECT_EQ((WallPaperList{Entry("/p/a.jpg", "", ""), Entry("/p/b.jpg", "", "")}), ReadWallPaperList(path));

    WriteFileBytes(path, "[Main]\r\nIdx=0\r\nno equals sign,x,y,\r\n");
    ExpectEntry(Entry("no equals sign", "x", "y"), ReadWallPaperList(path).at(0));
}

TEST(WallPaperListFile, SchedulerReadsEntriesByNumber)
{
    TempHome home;
    const std::string path = home.File("group.dat");
    WriteFileBytes(path, Fixture("out_of_order.dat"));
    TIniStoreEx ini(path);
    EXPECT_EQ(1, ReadLastIndex(ini));
    ExpectEntry(Entry("/p/a.jpg", kTile, ""), ReadWallPaperEntry(ini, 0));
    ExpectEntry(Entry("/p/b.jpg", kCentre, "10%"), ReadWallPaperEntry(ini, 1));
    ExpectEntry(Entry("/p/c.jpg", kEnlarge, ""), ReadWallPaperEntry(ini, 2));
    ExpectEntry(Entry("", "", ""), ReadWallPaperEntry(ini, 3)); // after the Ctrl-Z
    EXPECT_FALSE(ini.Modified());

    for (const char *key : {"Idx", "idx", "IDX"}) {
        WriteFileBytes(path, std::string("[main]\r\n") + key + "=7\r\n");
        ini.Open(path);
        EXPECT_EQ(7, ReadLastIndex(ini)) << key;
    }
}

TEST(WallPaperListFile, SchedulerFailsToConvertAMissingOrBrokenIndex)
{
    TempHome home;
    const std::string path = home.File("group.dat");
    TIniStoreEx missing(path);
    EXPECT_THROW(ReadLastIndex(missing), EConvertError);

    WriteFileBytes(path, Fixture("lf_only.dat"));
    TIniStoreEx lfOnly(path);
    EXPECT_EQ(1, ReadLastIndex(lfOnly));
    EXPECT_EQ(Entry("/p/b.jpg", kCentre, ""), ReadWallPaperEntry(lfOnly, 1));

    WriteFileBytes(path, "[Main]\r\nIdx=x1\r\n");
    TIniStoreEx broken(path);
    try {
        ReadLastIndex(broken);
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ("'x1' は整数ではありません", e.Message());
    }
}

TEST(WallPaperListFile, SplitEntryValueEmptiesFieldsWhoseCommaIsMissing)
{
    ExpectEntry(Entry("/p/a.jpg", kTile, ""), SplitEntryValue("/p/a.jpg," + kTile + ",,"));
    ExpectEntry(Entry("/p/a.jpg", kCentre, ""), SplitEntryValue("/p/a.jpg," + kCentre + "," + kAuto));
    ExpectEntry(Entry("/p/a.jpg", "", ""), SplitEntryValue("/p/a.jpg," + kCentre));
    ExpectEntry(Entry("", "", ""), SplitEntryValue("/p/a.jpg"));
    ExpectEntry(Entry("", "", ""), SplitEntryValue(""));
    ExpectEntry(Entry("a", "b", "c"), SplitEntryValue("a,b,c,d,e"));
    // A comma inside the path shifts the fields.
    ExpectEntry(Entry("/p/x", "y.jpg", kTile), SplitEntryValue("/p/x,y.jpg," + kTile + ",,"));
    // 表 ends in the byte '\': no effect on comma search.
    ExpectEntry(Entry("/\x95\x5C/a", kTile, ""), SplitEntryValue("/\x95\x5C/a," + kTile + ",,"));
}

TEST(WallPaperListFile, DecodesPositionAndCorrection)
{
    EXPECT_EQ(TileMode::Centre, DecodeTileValue(kCentre));
    EXPECT_EQ(TileMode::Tile, DecodeTileValue(kTile));
    EXPECT_EQ(TileMode::Stretch, DecodeTileValue(kEnlarge));
    EXPECT_EQ(TileMode::Centre, DecodeTileValue(kTile + " "));
    EXPECT_EQ(TileMode::Centre, DecodeTileValue("tile"));
    EXPECT_EQ(TileMode::Centre, DecodeTileValue(""));

    EXPECT_EQ(150, DecodeCorrection("150%"));
    EXPECT_EQ(0, DecodeCorrection(kAuto));
    EXPECT_EQ(-1, DecodeCorrection(""));
    EXPECT_EQ(0, DecodeCorrection("0%"));
    EXPECT_EQ(-1, DecodeCorrection("-1%"));
    EXPECT_EQ(10000, DecodeCorrection("10000%junk%"));
    for (const char *bad : {"150", "%", "abc%", " ", "2147483648%"})
        EXPECT_THROW(DecodeCorrection(bad), EConvertError) << bad;
    try {
        DecodeCorrection("150");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ("'150' は整数ではありません", e.Message());
    }
}
