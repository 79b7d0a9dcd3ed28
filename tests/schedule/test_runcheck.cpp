#include "schedule/RunCheck.h"

#include "platform/Exceptions.h"

#include "TempHome.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kGroups = {"a.dat", "B.DAT"};

bool HasPictures(const std::string &)
{
    return true;
}

// The interval texts, counting how often they were asked for.
struct Fields {
    IntervalTexts texts;
    int reads = 0;
    std::function<IntervalTexts()> Reader()
    {
        return [this] {
            ++reads;
            return texts;
        };
    }
};

} // namespace

TEST(RunCheck, TheGroupIsCheckedBeforeTheIntervalIsRead)
{
    Fields fields{{"0", "0", "30"}};
    EXPECT_EQ(RunRefusal::NoGroup, CheckRun(std::string(), kGroups, fields.Reader(), HasPictures).refusal);
    EXPECT_EQ(RunRefusal::GroupNotListed, CheckRun(std::nullopt, kGroups, fields.Reader(), HasPictures).refusal);
    // Byte for byte: letter case counts.
    EXPECT_EQ(RunRefusal::GroupNotListed,
              CheckRun(std::string("b.dat"), kGroups, fields.Reader(), HasPictures).refusal);
    const RunCheck refused = CheckRun(std::string("A.dat"), kGroups, fields.Reader(), HasPictures);
    EXPECT_EQ(RunRefusal::GroupNotListed, refused.refusal);
    EXPECT_FALSE(refused.texts);
    EXPECT_EQ(0, fields.reads);

    const RunCheck accepted = CheckRun(std::string("B.DAT"), kGroups, fields.Reader(), HasPictures);
    EXPECT_EQ(RunRefusal::None, accepted.refusal);
    EXPECT_EQ(30000, accepted.interval);
    ASSERT_TRUE(accepted.texts);
    EXPECT_EQ("30", accepted.texts->ss);
    EXPECT_EQ(1, fields.reads);
}

TEST(RunCheck, AnIntervalUnderTenSecondsIsRefusedButStillMeasured)
{
    Fields fields{{"0", "0", "9"}};
    RunCheck check = CheckRun(std::string("a.dat"), kGroups, fields.Reader(), HasPictures);
    EXPECT_EQ(RunRefusal::IntervalTooShort, check.refusal);
    EXPECT_EQ(9000, check.interval); // the timer takes it all the same
    fields.texts = {"0", "0", "10"};
    EXPECT_EQ(RunRefusal::None, CheckRun(std::string("a.dat"), kGroups, fields.Reader(), HasPictures).refusal);
    // A negative part is refused even when the sum is long enough.
    fields.texts = {"1", "-1", "0"};
    EXPECT_EQ(RunRefusal::IntervalTooShort,
              CheckRun(std::string("a.dat"), kGroups, fields.Reader(), HasPictures).refusal);
    fields.texts = {"x", "0", "0"};
    EXPECT_THROW(CheckRun(std::string("a.dat"), kGroups, fields.Reader(), HasPictures), EConvertError);
}

TEST(RunCheck, EachRefusalHasItsWarning)
{
    EXPECT_STREQ("壁紙グループを選択してください。", RunRefusalMessage(RunRefusal::NoGroup));
    EXPECT_STREQ("グループリストに無いものが入力されています。", RunRefusalMessage(RunRefusal::GroupNotListed));
    EXPECT_STREQ("変更間隔は１０秒以上にしてね。", RunRefusalMessage(RunRefusal::IntervalTooShort));
    EXPECT_STREQ("選択した壁紙グループには画像がありません。「壁紙の設定」で画像を追加してください。",
                 RunRefusalMessage(RunRefusal::GroupWithoutPictures));
}

TEST(RunCheck, AGroupWithoutPicturesIsRefusedLast)
{
    TempHome home;
    Fields fields{{"0", "0", "30"}};
    std::vector<std::string> asked;
    const auto none = [&](const std::string &group) {
        asked.push_back(group);
        return false;
    };
    EXPECT_EQ(RunRefusal::GroupWithoutPictures, CheckRun(std::string("a.dat"), kGroups, fields.Reader(), none).refusal);
    fields.texts = {"0", "0", "5"}; // the other warnings come first
    EXPECT_EQ(RunRefusal::IntervalTooShort, CheckRun(std::string("a.dat"), kGroups, fields.Reader(), none).refusal);
    EXPECT_EQ((std::vector<std::string>{"a.dat"}), asked);

    // On disk: a 0-byte file, a count without entries, entries without pictures have none.
    for (const char *bytes : {"", "[Main]\r\nIdx=0\r\n", "[Main]\r\nIdx=1\r\nfile0=,,,\r\nfile1=\r\n",
                              "[Main]\r\nIdx=x\r\nfile0=/p/a.jpg,,,\r\n", "[Main]\r\nfile0=/p/a.jpg,,,\r\n",
                              // A second line of a number is not read, nor an entry beyond the count.
                              "[Main]\r\nIdx=1\r\nfile1=,,,\r\nfile0=\r\nfile1=/p/a.jpg,,,\r\nfile2=/p/b.jpg,,,\r\n"}) {
        WriteFileBytes(home.File("g.dat"), bytes);
        EXPECT_FALSE(GroupHasPictures("g.dat")) << bytes;
    }
    EXPECT_FALSE(GroupHasPictures("missing.dat"));
    // An LF-only file written on Linux has its pictures.
    WriteFileBytes(home.File("g.dat"), "[Main]\nIdx=1\nfile0=,,,\nfile1=/p/a.jpg,,,\n");
    EXPECT_TRUE(GroupHasPictures("g.dat"));
}
