#include "schedule/RunCheck.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kGroups = {"a.dat", "B.DAT"};

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
    EXPECT_EQ(RunRefusal::NoGroup, CheckRun(std::string(), kGroups, fields.Reader()).refusal);
    EXPECT_EQ(RunRefusal::GroupNotListed, CheckRun(std::nullopt, kGroups, fields.Reader()).refusal);
    // Byte for byte: letter case counts.
    EXPECT_EQ(RunRefusal::GroupNotListed, CheckRun(std::string("b.dat"), kGroups, fields.Reader()).refusal);
    const RunCheck refused = CheckRun(std::string("A.dat"), kGroups, fields.Reader());
    EXPECT_EQ(RunRefusal::GroupNotListed, refused.refusal);
    EXPECT_FALSE(refused.texts);
    EXPECT_EQ(0, fields.reads);

    const RunCheck accepted = CheckRun(std::string("B.DAT"), kGroups, fields.Reader());
    EXPECT_EQ(RunRefusal::None, accepted.refusal);
    EXPECT_EQ(30000, accepted.interval);
    ASSERT_TRUE(accepted.texts);
    EXPECT_EQ("30", accepted.texts->ss);
    EXPECT_EQ(1, fields.reads);
}

TEST(RunCheck, AnIntervalUnderTenSecondsIsRefusedButStillMeasured)
{
    Fields fields{{"0", "0", "9"}};
    RunCheck check = CheckRun(std::string("a.dat"), kGroups, fields.Reader());
    EXPECT_EQ(RunRefusal::IntervalTooShort, check.refusal);
    EXPECT_EQ(9000, check.interval); // the timer takes it all the same
    fields.texts = {"0", "0", "10"};
    EXPECT_EQ(RunRefusal::None, CheckRun(std::string("a.dat"), kGroups, fields.Reader()).refusal);
    // A negative part is refused even when the sum is long enough.
    fields.texts = {"1", "-1", "0"};
    EXPECT_EQ(RunRefusal::IntervalTooShort, CheckRun(std::string("a.dat"), kGroups, fields.Reader()).refusal);
    fields.texts = {"x", "0", "0"};
    EXPECT_THROW(CheckRun(std::string("a.dat"), kGroups, fields.Reader()), EConvertError);
}

TEST(RunCheck, EachRefusalHasItsWarning)
{
    EXPECT_STREQ("壁紙グループを選択してください。", RunRefusalMessage(RunRefusal::NoGroup));
    EXPECT_STREQ("グループリストに無いものが入力されています。", RunRefusalMessage(RunRefusal::GroupNotListed));
    EXPECT_STREQ("変更間隔は１０秒以上にしてね。", RunRefusalMessage(RunRefusal::IntervalTooShort));
}
