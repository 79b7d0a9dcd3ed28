// The reader a change uses, against the engine it stands in for: for every file, section and key,
// both must give the same answers.
#include "TempHome.h"
#include "ini/IniReader.h"
#include "ini/IniStore.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace {

using Strings = std::vector<std::string>;

class IniReaderTest : public ::testing::Test {
protected:
    // Asks the engine and the reader about `bytes`: every line of each of `sections`, and the value
    // of each of `keys` in it.
    void ExpectSameAnswers(const std::string &bytes, const Strings &sections, const Strings &keys)
    {
        WriteFileBytes(path, bytes);
        TIniStoreEx store(path);
        TIniReader reader(path);
        for (const std::string &section : sections) {
            Strings stored;
            store.ReadSectionLines(section, stored);
            Strings read;
            reader.ForEachLine(section, [&](std::string_view line) {
                read.emplace_back(line);
                return true;
            });
            EXPECT_EQ(stored, read) << "section [" << section << "] of " << Shown(bytes);
            for (const std::string &key : keys)
                EXPECT_EQ(store.ReadString(section, key, "(none)"), reader.ReadString(section, key, "(none)"))
                    << "key " << key << " of [" << section << "] of " << Shown(bytes);
        }
    }

    static std::string Shown(const std::string &bytes)
    {
        std::string shown;
        for (const char c : bytes.substr(0, 200)) {
            const auto b = static_cast<unsigned char>(c);
            shown += b >= 0x20 && b < 0x7F ? std::string(1, c)
                                           : "\\x" + std::string(1, "0123456789abcdef"[b >> 4]) +
                                                 std::string(1, "0123456789abcdef"[b & 15]);
        }
        return shown + (bytes.size() > 200 ? "... (" + std::to_string(bytes.size()) + " bytes)" : "");
    }

    TempHome home;
    std::string path = home.File("g.dat");
};

const Strings kMain = {"Main", "main", "MAIN", " Main", "Other", ""};
const Strings kKeys = {"Idx", "idx", "A", "a", "B", "C", "file0", "file1", "FILE2", "", "x"};

} // namespace

TEST_F(IniReaderTest, RepeatedSectionsAndKeysAnswerWithTheFirst)
{
    ExpectSameAnswers("[Main]\r\nA=1\r\n[main]\r\nA=2\r\nB=3\r\n[MAIN]\r\nC=4\r\n[Other]\r\nA=5\r\n", kMain, kKeys);
    ExpectSameAnswers("[Main]\r\nIdx=1\r\nidx=2\r\nIDX=3\r\nA\r\n=7\r\nA==8\r\n", kMain, kKeys);
    // An empty first section still hides the later ones of its name.
    ExpectSameAnswers("[Other]\r\nA=0\r\n[main]\r\n[Main]\r\nA=1\r\n", kMain, kKeys);
    ExpectSameAnswers("A=before any section\r\n[]\r\nA=unnamed\r\n[\r\n]\r\n[]]\r\nB=2\r\n", kMain, kKeys);
}

TEST_F(IniReaderTest, DoubleByteNamesCompareAsTheEngineComparesThem)
{
    // Full-width Ａ Ｂ against ａ ｂ; ソ and 表 end in the bytes of ']' and '\'.
    const Strings sections = {"\x82\x60\x82\x61", "\x82\x81\x82\x82", "\x83\x5D", "\x95\x5C", "main"};
    const Strings keys = {"\x83\x5D", "\x82\x60", "\x82\x81", "\x95\x5C", "a"};
    ExpectSameAnswers("[\x82\x81\x82\x82]\r\n\x82\x60=1\r\n\x83\x5D=2\r\n[\x83\x5D]\r\n\x95\x5C=3\r\n"
                      "[\x82\x60\x82\x61]\r\na=4\r\n[Main\x83]\r\nA=5\r\n",
                      sections, keys);
}

TEST_F(IniReaderTest, LineEndsCtrlZAndLongLinesAreTheEnginesOwn)
{
    ExpectSameAnswers("[Main]\nA=1\rB=2\r\n\n\rC=3\n\r[Other]\rA=4", kMain, kKeys);
    ExpectSameAnswers("[Main]\r\nA=1\x1A"
                      "B=2\r\nC=3\r\n",
                      kMain, kKeys);
    ExpectSameAnswers("[Main]\r\nA=1\r\n[Ot\x1Aher]\r\nB=2\r\n", kMain, kKeys);
    ExpectSameAnswers("[Main]\r\nA=1\r\n\x1A", kMain, kKeys);
    ExpectSameAnswers("", kMain, kKeys);
    ExpectSameAnswers("\r\n\x1A[Main]\r\nA=1\r\n", kMain, kKeys);
    // A line counts with its first 255 bytes: a header whose ']' is cut off, one whose 255th byte is a
    // ']', values cut.
    const std::string longHeader = "[" + std::string(300, 'M') + "]";
    const std::string cutHeader = "[Main]" + std::string(248, ' ') + "]" + "tail";
    ExpectSameAnswers(longHeader + "\r\nA=1\r\n[Main]\r\nA=" + std::string(400, 'v') + "\r\nB=2\r\n", kMain, kKeys);
    ExpectSameAnswers(cutHeader + "\r\nA=1\r\n[Main]\r\nA=2\r\n",
                      {"Main", "Main" + std::string(248, ' '), "main" + std::string(248, ' ')}, kKeys);
    ExpectSameAnswers("[Main]\r\n" + std::string(260, 'A') + "=1\r\nA=2\r\n", kMain,
                      {"A", std::string(260, 'A'), std::string(254, 'A')});
}

TEST_F(IniReaderTest, LinesAcrossTheReadsPiecesAreWhole)
{
    // The reader takes the file 64 KiB at a time: lines, line ends and a Ctrl-Z at and across the
    // borders, and a line longer than a piece.
    for (const size_t border : {65536u, 131072u}) {
        for (int shift = -3; shift <= 3; ++shift) {
            std::string bytes = "[Main]\r\nIdx=3\r\n";
            bytes += "pad=" + std::string(border + size_t(shift) - bytes.size() - 6, 'p') + "\r\n";
            bytes += "file0=a.bmp,,,\r\nfile1=" + std::string(70000, 'x') + "\r\nfile2=c\r\n[main]\r\nfile3=d\r\n";
            ExpectSameAnswers(bytes, kMain, kKeys);
            std::string crlf = bytes;
            crlf.insert(border + size_t(shift), "\r\nA=1\r");
            ExpectSameAnswers(crlf, kMain, kKeys);
            std::string ctrlZ = bytes;
            ctrlZ[border + size_t(shift) + 20] = '\x1A';
            ExpectSameAnswers(ctrlZ, kMain, kKeys);
        }
    }
}

TEST_F(IniReaderTest, RandomFilesGiveTheEnginesAnswers)
{
    const Strings pieces = {"[Main]",
                            "[main]",
                            "[MAIN] ",
                            "[Other]",
                            "[]",
                            "[",
                            "]",
                            "Idx=1",
                            "idx=2",
                            "A=",
                            "a=x",
                            "B",
                            "=",
                            "file0=p,,,",
                            "file1=q",
                            "FILE2=r,\x83\x5D,",
                            "file01=s",
                            "\r",
                            "\n",
                            "\r\n",
                            "\r\n",
                            "\r\n",
                            "\x1A",
                            " ",
                            "\x82\x60",
                            "\x83",
                            std::string(120, 'z')};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int count = std::uniform_int_distribution<int>(0, 40)(random);
        for (int i = 0; i < count; ++i)
            bytes += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(random)];
        ExpectSameAnswers(bytes, kMain, kKeys);
        if (HasFailure())
            break;
    }
}

TEST_F(IniReaderTest, AllReadsSeeTheFileAsItWasWhenOpened)
{
    WriteFileBytes(path, "[Main]\r\nIdx=1\r\nfile0=a\r\nfile1=b\r\n");
    TIniReader reader(path);
    EXPECT_TRUE(reader.FileFound());
    EXPECT_EQ("1", reader.ReadString("Main", "idx", {}));
    const FileStamp before = reader.Stamp();
    ReplaceFileAtomically(path, "[Main]\r\nIdx=0\r\nfile0=new\r\n");
    EXPECT_EQ("b", reader.ReadString("Main", "file1", {}));
    EXPECT_EQ("a", reader.ReadString("Main", "file0", {}));
    EXPECT_EQ(before, reader.Stamp());
    // Another version of the file has another stamp, even at the same size; the same file the same one.
    TIniReader replaced(path);
    EXPECT_NE(before, replaced.Stamp());
    EXPECT_EQ(replaced.Stamp(), TIniReader(path).Stamp());
    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // past the file system's clock tick
    std::string bytes = ReadFileBytes(path);
    bytes[bytes.size() - 3] = 'X';
    WriteFileBytes(path, bytes);
    EXPECT_NE(replaced.Stamp(), TIniReader(path).Stamp());

    TIniReader missing(home.File("none.dat"));
    EXPECT_FALSE(missing.FileFound());
    EXPECT_FALSE(missing.Stamp().Known());
    EXPECT_EQ("d", missing.ReadString("Main", "idx", "d"));
}
