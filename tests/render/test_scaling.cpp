#include "platform/Exceptions.h"
#include "render/Scaling.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    int32_t pw, ph, correction, w, h;
};

void ExpectSize(const Case &c, int32_t sw = 1024, int32_t sh = 768)
{
    SCOPED_TRACE(std::to_string(c.pw) + "x" + std::to_string(c.ph) + " @" + std::to_string(c.correction));
    const TWallPaperSize size = ComputeWallPaperSize(c.pw, c.ph, c.correction, sw, sh);
    EXPECT_EQ(size.Width, c.w);
    EXPECT_EQ(size.Height, c.h);
}

} // namespace

TEST(Scaling, WorkedExamplesOnA1024x768Screen)
{
    for (const Case &c :
         {Case{640, 480, -1, 640, 480}, Case{640, 480, 0, 1024, 768}, Case{600, 800, 0, 576, 768},
          Case{101, 50, 50, 50, 25}, Case{3000, 2000, 100, 2048, 1365}, Case{1000, 4000, 100, 384, 1536}})
        ExpectSize(c);
}

TEST(Scaling, AutoDecidesByThePictureShapeAlone)
{
    ExpectSize({500, 500, 0, 1024, 1024}); // square takes the wide branch
    ExpectSize({1000, 900, 0, 1024, 922}); // taller than the screen's shape
    ExpectSize({6000, 4000, 0, 1920, 1280}, 1920, 1080);
    ExpectSize({3, 5, 0, 461, 768}); // 3 x (768 / 5) = 460.8
}

TEST(Scaling, TwiceTheScreenIsTheLimitAndOnePixelMoreFits)
{
    ExpectSize({1024, 768, 200, 2048, 1536}); // exactly twice: stays
    ExpectSize({2048, 1536, 100, 2048, 1536});
    ExpectSize({2049, 1536, 100, 2048, 1535}); // one more: fitted (1536 x 2048 / 2049 = 1535.25)
    ExpectSize({2048, 1537, 100, 2048, 1537}); // wide picture: width kept, the other side may exceed
    ExpectSize({1000, 900, 300, 2048, 1843});
    ExpectSize({1000, 4000, 300, 384, 1536});
    ExpectSize({4000, 1000, 300, 2048, 512});
}

TEST(Scaling, HalvesRoundToEven)
{
    EXPECT_EQ(RoundHalfEven(50.5L), 50);
    EXPECT_EQ(RoundHalfEven(51.5L), 52);
    EXPECT_EQ(RoundHalfEven(0.5L), 0);
    EXPECT_EQ(RoundHalfEven(1365.3333L), 1365);
    EXPECT_EQ(RoundHalfEven(-1.5L), -2);
    ExpectSize({103, 51, 50, 52, 26}); // 51.5 -> 52, 25.5 -> 26
    ExpectSize({3, 3, 50, 2, 2});      // 1.5 -> 2
    ExpectSize({5, 5, 50, 2, 2});      // 2.5 -> 2
}

TEST(Scaling, SizesThatCannotBeMadeFailClearly)
{
    EXPECT_THROW(ComputeWallPaperSize(640, 480, -5, 1024, 768), EInvalidGraphic); // negative percentage
    EXPECT_THROW(ComputeWallPaperSize(0, 480, 0, 1024, 768), EInvalidGraphic);
    EXPECT_THROW(ComputeWallPaperSize(640, 0, 0, 1024, 768), EInvalidGraphic);
    EXPECT_THROW(ComputeWallPaperSize(0, 0, -1, 1024, 768), EInvalidGraphic);
    EXPECT_THROW(ComputeWallPaperSize(1, 1, 10, 1024, 768), EInvalidGraphic); // rounds to 0 x 0
    // 32-bit products that would overflow are refused instead of wrapping around.
    EXPECT_THROW(ComputeWallPaperSize(3000000, 2000000, 0, 1920, 1080), EInvalidGraphic);
    EXPECT_THROW(ComputeWallPaperSize(30000, 20000, 2000000, 1920, 1080), EInvalidGraphic);
    try {
        ComputeWallPaperSize(640, 480, -5, 1024, 768);
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ(e.Message(), "補正 -5% は処理できません (1% 以上を指定してください)");
    }
}
