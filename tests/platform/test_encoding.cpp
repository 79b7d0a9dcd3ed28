#include "platform/AsciiText.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

TEST(Encoding, RoundTripsJapaneseAndKeepsBackslashTrailBytes)
{
    // 表 and ソ end in the byte 0x5C; the yen sign must not appear.
    const std::string utf8 = "C:\\表示\\ソフト①～.jpg";
    const std::string cp932 = Utf8ToCp932(utf8);
    EXPECT_EQ(std::string("\x95\x5C", 2), cp932.substr(3, 2));
    EXPECT_EQ(utf8, Cp932ToUtf8(cp932));
}

TEST(Encoding, UnrepresentableCharacterNamesCharacterAndPosition)
{
    try {
        Utf8ToCp932("ab😀c");
        FAIL() << "no error";
    } catch (const EEncodingError &e) {
        EXPECT_NE(std::string::npos, e.Message().find("😀"));
        EXPECT_NE(std::string::npos, e.Message().find("3 文字目"));
    }
    EXPECT_THROW(Utf8ToCp932("\xFF"), EEncodingError);
}

TEST(Encoding, InvalidCp932IsAnErrorOrReplacedForMessages)
{
    EXPECT_THROW(Cp932ToUtf8("a\x81"), EEncodingError);
    EXPECT_EQ("a\xEF\xBF\xBD"
              "b",
              Cp932ToUtf8Lossy("a\x81\x7F"
                               "b")
                      .substr(0, 4) +
                  "b");
    EXPECT_EQ("plain", Cp932ToUtf8Lossy("plain"));
}

TEST(Exceptions, ConvertErrorNamesText)
{
    EXPECT_EQ("'12a' は整数ではありません", EConvertError::NotAnInteger("12a").Message());
    EXPECT_EQ("x1y2z", FormatMessage("x%sy%sz", {"1", "2"}));
}

TEST(AsciiText, LetterCaseTouchesSingleByteCharactersOnly)
{
    // "ア" is 0x83 0x41 and "ヂ" 0x83 0x61: their trail bytes look like 'A' and 'a'.
    const std::string a = Utf8ToCp932("ア.SPI");
    const std::string di = Utf8ToCp932("ヂ.spi");
    EXPECT_EQ(Utf8ToCp932("ア.spi"), LowerAsciiText(a));
    EXPECT_FALSE(SameTextAscii(a, di));
    EXPECT_TRUE(SameTextAscii(a, Utf8ToCp932("ア.spi")));
    EXPECT_TRUE(SameTextAscii("Toy.SPI", "toy.spi"));
    EXPECT_FALSE(SameTextAscii("toy.spi", "toy.sp"));
    // A lone lead byte at the end is a byte of its own.
    EXPECT_EQ("a\x83", LowerAsciiText("A\x83"));
}
