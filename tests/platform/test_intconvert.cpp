#include "platform/Exceptions.h"
#include "platform/IntConvert.h"

#include <gtest/gtest.h>

TEST(IntConvert, AcceptsThePlatformGrammar)
{
    struct Case {
        const char *text;
        int32_t value;
    } cases[] = {{"0", 0},
                 {"  7", 7},
                 {"-12", -12},
                 {"+5", 5},
                 {"007", 7},
                 {"$1F", 31},
                 {"$ff", 255},
                 {"-$10", -16},
                 {"2147483647", INT32_MAX},
                 {"-2147483648", INT32_MIN},
                 {"$FFFFFFFF", -1},
                 {"\t3", 3}};
    for (const Case &c : cases) {
        int32_t v = 123;
        EXPECT_TRUE(TryStrToInt(c.text, v)) << c.text;
        EXPECT_EQ(c.value, v) << c.text;
    }
}

TEST(IntConvert, RejectsEverythingElse)
{
    for (const char *text :
         {"", " ", "12a", "7 ", "1.5", "0x1F", "$", "-", "2147483648", "-2147483649", "$100000000", "1e3", "--1"}) {
        int32_t v = 99;
        EXPECT_FALSE(TryStrToInt(text, v)) << text;
        EXPECT_EQ(99, v) << text;
    }
    EXPECT_THROW(StrToInt("abc"), EConvertError);
}
