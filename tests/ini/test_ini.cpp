#include "TempHome.h"
#include "ini/IniStore.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

std::string Fixture(const std::string &name)
{
    return ReadFileBytes(TestDataPath("ini/" + name));
}

// A copy of a fixture in a fresh home, so tests may rewrite it.
std::string CopyFixture(const TempHome &home, const std::string &name)
{
    std::string path = home.File(name);
    WriteFileBytes(path, Fixture(name));
    return path;
}

std::vector<std::string> Lines(TIniStore &ini, const std::string &section)
{
    std::vector<std::string> lines;
    ini.ReadSectionLines(section, lines);
    return lines;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(IniStore, RewriteDropsBlankLinesAndClosesEachSectionWithOneEmptyLine)
{
    TempHome home;
    const std::string path = CopyFixture(home, "main_crlf.ini");
    {
        TIniStoreEx ini(path);
        EXPECT_EQ("1", ini.ReadString("main", "a", "x"));
        ini.WriteString("Main", "C", "3");
        EXPECT_TRUE(ini.Modified());
    }
    EXPECT_EQ("[Main]\r\nA=1\r\nB=2\r\nC=3\r\n\r\n", ReadFileBytes(path));
}

TEST(IniStore, TextBeforeTheFirstHeaderIsLostCommentsInsideSectionsSurvive)
{
    TempHome home;
    const std::string path = CopyFixture(home, "before_header.ini");
    TIniStoreEx ini(path);
    // "[Next] " has a trailing blank, so it is an entry of [Main], not a header.
    EXPECT_EQ((Strings{"; comment", "A=1", "[Next] "}), Lines(ini, "Main"));
    Strings keys{"kept"};
    ini.ReadSectionKeys("MAIN", keys);
    EXPECT_EQ((Strings{"kept", "", "A", ""}), keys);
    Strings names{"replaced"};
    ini.ReadSectionNames(names);
    EXPECT_EQ((Strings{"Main", "Other"}), names);

    ini.WriteString("Other", "x", "1");
    ini.Flush();
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ("[Main]\r\n; comment\r\nA=1\r\n[Next] \r\n\r\n[Other]\r\nx=1\r\n\r\n", ReadFileBytes(path));
    Strings all;
    ini.ReadAllLines(all);
    EXPECT_EQ((Strings{"[Main]", "; comment", "A=1", "[Next] ", "", "[Other]", "x=1", ""}), all);
}

TEST(IniStore, HeaderWithTrailingBlankBeforeAnySectionIsDropped)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"), "[Main] \r\nA=1\r\n[Main]\r\nB=2\r\n");
    TIniStoreEx ini(home.File("a.ini"));
    EXPECT_EQ((Strings{"B=2"}), Lines(ini, "Main"));
}

TEST(IniStore, MissingFileSectionOrKeyGivesTheDefaultAndCreatesNothing)
{
    TempHome home;
    const std::string path = home.File("none.ini");
    {
        TIniStoreEx ini(path);
        EXPECT_EQ("d", ini.ReadString("Main", "A", "d"));
        EXPECT_EQ(7, ini.ReadInteger("Main", "A", 7));
        ini.DeleteKey("Main", "A"); // creates an empty section that is never written
        EXPECT_FALSE(ini.Modified());
        ini.EraseSection("Nothing");
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_FALSE(FileExists(path));

    const std::string existing = CopyFixture(home, "main_crlf.ini");
    TIniStoreEx ini(existing);
    EXPECT_EQ("d", ini.ReadString("Other", "A", "d"));
    EXPECT_EQ("d", ini.ReadString("Main", "Z", "d"));
    Strings untouched{"x"};
    ini.ReadSectionLines("Other", untouched);
    ini.ReadSectionKeys("Other", untouched);
    EXPECT_EQ((Strings{"x"}), untouched);
}

TEST(IniStore, EmptyValueIsNotTheDefault)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"), "[Main]\r\nA=\r\nB=x=y\r\n");
    TIniStoreEx ini(home.File("a.ini"));
    EXPECT_EQ("", ini.ReadString("Main", "A", "d"));
    EXPECT_EQ("x=y", ini.ReadString("Main", "B", "d"));
}

TEST(IniStore, WritingTheStoredValueChangesNothing)
{
    TempHome home;
    const std::string path = CopyFixture(home, "main_crlf.ini");
    {
        TIniStoreEx ini(path);
        ini.WriteString("MAIN", "B", "2");
        EXPECT_FALSE(ini.Modified());
    }
    // The blank line would be gone after a rewrite.
    EXPECT_EQ(Fixture("main_crlf.ini"), ReadFileBytes(path));
}

TEST(IniStore, ReplacingAValueKeepsItsPlaceAndTakesTheCallersKeyCase)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"), "[Main]\r\nUseIndex=2\r\nX=1\r\n");
    {
        TIniStoreEx ini(home.File("a.ini"));
        ini.WriteString("main", "useindex", "3");
        ini.WriteString("main", "x", "1"); // same bytes but the key's case: replaced too
    }
    EXPECT_EQ("[Main]\r\nuseindex=3\r\nx=1\r\n\r\n", ReadFileBytes(home.File("a.ini")));
}

TEST(IniStore, DuplicateSectionsKeepTheFirstUntilARewrite)
{
    TempHome home;
    const std::string path = CopyFixture(home, "dup_sections.ini");
    {
        TIniStoreEx ini(path);
        EXPECT_EQ("1", ini.ReadString("a", "k", ""));
        EXPECT_EQ("", ini.ReadString("A", "j", ""));
        Strings names;
        ini.ReadSectionNames(names);
        EXPECT_EQ((Strings{"A", "B"}), names);
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_EQ(Fixture("dup_sections.ini"), ReadFileBytes(path));
    {
        TIniStoreEx ini(path);
        ini.WriteString("B", "k", "5");
    }
    EXPECT_EQ("[A]\r\nk=1\r\n\r\n[B]\r\nk=5\r\n\r\n", ReadFileBytes(path));
}

TEST(IniStore, DuplicateSectionHandlerMaySwapTheSurvivor)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"), "[S]\r\nk=1\r\n[T]\r\nk=t\r\n[s]\r\nk=2\r\n[S]\r\nk=3\r\n");
    TIniStoreEx ini("");
    Strings calls;
    // Prefer the later section each time: the last of three wins, in the first one's place.
    ini.OnDuplicateSection = [&](const std::string &name, const TEntryList &stay, const TEntryList &go) {
        calls.push_back(name + ":" + std::string(stay[0]) + ">" + std::string(go[0]));
        return false;
    };
    ini.Open(home.File("a.ini"));
    EXPECT_EQ((Strings{"S:k=1>k=2", "s:k=2>k=3"}), calls);
    Strings names;
    ini.ReadSectionNames(names);
    EXPECT_EQ((Strings{"T", "S"}), names);
    EXPECT_EQ("3", ini.ReadString("S", "k", ""));
}

TEST(IniStore, LongLinesAndWritesAreCutTo255Bytes)
{
    TempHome home;
    const std::string longValue(300, 'v');
    WriteFileBytes(home.File("a.ini"), "[Main]\r\nA=" + longValue + "\r\nB=1\r\n");
    TIniStoreEx ini(home.File("a.ini"));
    EXPECT_EQ(std::string(253, 'v'), ini.ReadString("Main", "A", ""));
    EXPECT_EQ("1", ini.ReadString("Main", "B", ""));
    ini.WriteString("Main", "Key", longValue);
    EXPECT_EQ(std::string(251, 'v'), ini.ReadString("Main", "Key", ""));
    EXPECT_EQ("Key=" + std::string(251, 'v'), Lines(ini, "Main").back());
}

TEST(IniStore, ReadIntegerAcceptsHexAfter0xOrDollarAndFallsBackOnAnythingElse)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"),
                   "[Main]\r\nH=0x1F\r\nU=0X1f\r\nD=$10\r\nS= 7\r\nN=-12\r\nBad=12a\r\nE=\r\nT=7 \r\nW=2147483648\r\n"
                   "SpaceHex= 0x1F\r\nZ=0\r\n");
    TIniStoreEx ini(home.File("a.ini"));
    EXPECT_EQ(31, ini.ReadInteger("Main", "H", -1));
    EXPECT_EQ(31, ini.ReadInteger("Main", "U", -1));
    EXPECT_EQ(16, ini.ReadInteger("Main", "D", -1));
    EXPECT_EQ(7, ini.ReadInteger("Main", "S", -1));
    EXPECT_EQ(-12, ini.ReadInteger("Main", "N", -1));
    for (const char *key : {"Bad", "E", "T", "W", "SpaceHex", "Missing"})
        EXPECT_EQ(-1, ini.ReadInteger("Main", key, -1)) << key;
    EXPECT_FALSE(ini.ReadBool("Main", "Z", true));
    EXPECT_TRUE(ini.ReadBool("Main", "N", false));
    EXPECT_TRUE(ini.ReadBool("Main", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("Main", "Bad", false));

    ini.WriteInteger("Main", "I", -42);
    ini.WriteBool("Main", "Y", true);
    ini.WriteBool("Main", "No", false);
    EXPECT_EQ("-42", ini.ReadString("Main", "I", ""));
    EXPECT_EQ("1", ini.ReadString("Main", "Y", ""));
    EXPECT_EQ("0", ini.ReadString("Main", "No", ""));
}

TEST(IniStore, EmptyKeyErasesTheSectionOrFlushes)
{
    TempHome home;
    const std::string path = CopyFixture(home, "before_header.ini");
    TIniStoreEx ini(path);
    ini.WriteString("main", "", "ignored");
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ("d", ini.ReadString("Main", "A", "d"));
    EXPECT_EQ(Fixture("before_header.ini"), ReadFileBytes(path));

    ini.WriteString("", "", "");
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ("", ReadFileBytes(path)); // the remaining section [Other] is empty
}

TEST(IniStore, LfOnlyFileIsOneLineOfItsFirst255Bytes)
{
    TempHome home;
    const std::string path = CopyFixture(home, "lf_only.ini");
    TIniStoreEx ini(path);
    Strings names;
    ini.ReadSectionNames(names);
    EXPECT_TRUE(names.empty());
    // The single line starts with "[Main]\n..." and does not end in ']': no header, no section.
    ini.WriteString("Main", "A", "1");
    ini.Flush();
    EXPECT_EQ("[Main]\r\nA=1\r\n\r\n", ReadFileBytes(path));

    // Inside a section, the whole cut line is one entry, LF bytes included.
    WriteFileBytes(path, "[S]\r\n" + Fixture("lf_only.ini"));
    ini.Open(path);
    ASSERT_EQ(1u, Lines(ini, "S").size());
    EXPECT_EQ(Fixture("lf_only.ini").substr(0, 255), Lines(ini, "S")[0]);
}

TEST(IniStore, CtrlZEndsTheFileAndLoneCrEndsALine)
{
    TempHome home;
    TIniStoreEx ini(CopyFixture(home, "ctrl_z.ini"));
    EXPECT_EQ((Strings{"A=1", "B=2"}), Lines(ini, "Main"));
    EXPECT_EQ("", ini.ReadString("X", "D", ""));

    ini.Open(CopyFixture(home, "cr_only.ini"));
    EXPECT_EQ((Strings{"A=1", "B=2"}), Lines(ini, "Main"));
}

TEST(IniStore, EmptySectionNameRoundTrips)
{
    TempHome home;
    const std::string path = home.File("a.ini");
    {
        TIniStoreEx ini(path);
        ini.WriteString("", "k", "v");
    }
    EXPECT_EQ("[]\r\nk=v\r\n\r\n", ReadFileBytes(path));
    TIniStoreEx ini(path);
    EXPECT_EQ("v", ini.ReadString("", "K", ""));
}

TEST(IniStore, NamesIgnoreLetterCaseOfAsciiAndFullWidthLettersButNothingElse)
{
    // ＡＢ / ａｂ, ΑА / αа (Greek and Cyrillic capitals), Ё / ё and О / о across the gap at 0x847F.
    EXPECT_TRUE(IniNamesEqual("\x82\x60\x82\x61", "\x82\x81\x82\x82"));
    EXPECT_TRUE(IniNamesEqual("\x83\x9F\x84\x40", "\x83\xBF\x84\x70"));
    EXPECT_TRUE(IniNamesEqual("\x84\x46\x84\x4F", "\x84\x76\x84\x80"));
    EXPECT_TRUE(IniNamesEqual("MaIn", "mAiN"));
    EXPECT_FALSE(IniNamesEqual(" Main", "Main"));
    EXPECT_FALSE(IniNamesEqual("Main ", "Main"));
    EXPECT_FALSE(IniNamesEqual("A", "\x82\x60"));        // width is not ignored
    EXPECT_FALSE(IniNamesEqual("\x83\x41", "\x83\x61")); // ア / ャ: trail bytes are not letters
    EXPECT_TRUE(IniNamesEqual("\x82\x60\x41", "\x82\x60\x61"));
    EXPECT_FALSE(IniNamesEqual("\x84\x4F", "\x84\x7F"));

    TempHome home;
    TIniStoreEx ini(CopyFixture(home, "sjis.ini"));
    const std::string section = "\x90\xDD\x92\xE8"; // 設定
    EXPECT_EQ("\x92\x6C", ini.ReadString(section, "\x82\x81\x82\x82", ""));
    EXPECT_EQ("\x95\x5C", ini.ReadString(section, "\x83\xBF\x84\x70", ""));
}

TEST(IniStore, SectionSearchStartsAtTheSectionUsedLast)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"), "[A]\r\nk=a\r\n[B]\r\nk=b\r\n[C]\r\nk=c\r\n");
    TIniStoreEx ini(home.File("a.ini"));
    EXPECT_EQ(0, ini.CurrentSection());
    EXPECT_EQ("c", ini.ReadString("C", "k", ""));
    EXPECT_EQ(2, ini.CurrentSection());
    EXPECT_EQ("b", ini.ReadString("b", "k", "")); // wraps around through A
    EXPECT_EQ(1, ini.CurrentSection());
    EXPECT_EQ("", ini.ReadString("Z", "k", ""));
    EXPECT_EQ(0, ini.CurrentSection()); // a failed search stops just before its start

    ini.WriteString("New", "k", "n");
    EXPECT_EQ(3, ini.CurrentSection());
    ini.EraseSection("New");
    EXPECT_EQ(0, ini.CurrentSection());

    TSectionList &sections = ini.Sections();
    EXPECT_EQ(2, sections.IndexOf("c"));
    EXPECT_EQ(2, sections.LastFoundIndex);
    EXPECT_EQ(0, sections.IndexOf("A"));
    EXPECT_EQ(-1, sections.IndexOf("Q"));
    EXPECT_EQ(0, sections.LastFoundIndex);
    sections.IndexOf("C");
    ini.EraseSection("B");
    EXPECT_EQ(0, sections.LastFoundIndex);
}

TEST(IniStore, DeleteKeyRemovesTheFirstMatchOnly)
{
    TempHome home;
    const std::string path = home.File("a.ini");
    WriteFileBytes(path, "[Main]\r\nA=1\r\nnote\r\na=2\r\n[Gone]\r\nX=1\r\n");
    {
        TIniStoreEx ini(path);
        ini.DeleteKey("Main", "A");
        EXPECT_TRUE(ini.Modified());
        EXPECT_EQ("2", ini.ReadString("Main", "A", ""));
        ini.DeleteKey("Gone", "x");
    }
    EXPECT_EQ("[Main]\r\nnote\r\na=2\r\n\r\n", ReadFileBytes(path));
}

TEST(IniStore, OpenFlushesTheOldFileFirst)
{
    TempHome home;
    TIniStoreEx ini(home.File("one.ini"));
    ini.WriteString("S", "k", "1");
    ini.Open(home.File("two.ini"));
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ("[S]\r\nk=1\r\n\r\n", ReadFileBytes(home.File("one.ini")));
    EXPECT_EQ("d", ini.ReadString("S", "k", "d"));
}

TEST(IniStore, ParseFlagsRewriteLinesAtLoad)
{
    TempHome home;
    WriteFileBytes(home.File("a.ini"),
                   "[S]\r\n;c\r\nplain\r\nk \t= \tv\r\nq=\"quoted\"\r\nr='x\"\r\nt=v \t\r\n=  x\r\n[H] \r\n");
    TIniStoreEx ini("");
    ini.DropSemicolonLines = true;
    ini.SqueezeBlanksAroundEquals = true;
    ini.UnquoteValues = true;
    ini.TrimLineEnds = true;
    ini.Open(home.File("a.ini"));
    EXPECT_EQ((Strings{"plain", "k=v", "q=quoted", "r='x\"", "t=v", "=  x", "[H]"}), Lines(ini, "S"));

    ini.DropLinesWithoutEquals = true;
    ini.Open(home.File("a.ini"));
    EXPECT_EQ((Strings{"k=v", "q=quoted", "r='x\"", "t=v", "=  x"}), Lines(ini, "S"));
}

TEST(IniStore, FailedFlushRaisesKeepsTheOldFileAndStaysModified)
{
    TempHome home;
    const std::string path = CopyFixture(home, "main_crlf.ini");
    TIniStoreEx ini(path);
    ini.WriteString("Main", "Big", std::string(200, 'x'));

    // A file-size limit makes the write fail the way a full disk does, even for root.
    struct rlimit old {};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &old));
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
    EXPECT_THROW(ini.Flush(), EInOutError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(Fixture("main_crlf.ini"), ReadFileBytes(path));
    ini.Flush();
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ("[Main]\r\nA=1\r\nB=2\r\nBig=" + std::string(200, 'x') + "\r\n\r\n", ReadFileBytes(path));
}

TEST(IniStore, FolderInPlaceOfTheFileReadsEmptyAndFailsToFlush)
{
    TempHome home;
    TIniStoreEx ini(home.Path() + "sub");
    std::filesystem::create_directory(home.Path() + "sub");
    ini.WriteString("S", "k", "v");
    EXPECT_THROW(ini.Flush(), EInOutError);
    EXPECT_TRUE(ini.Modified());
}
