#include "platform/ui/Dialogs.h"

#include <gtest/gtest.h>

TEST(Dialogs, FilterTextBecomesQtFilters)
{
    EXPECT_EQ(QStringList{QStringLiteral("壁紙リスト (*.dat)")}, ConvertFilterText(QStringLiteral("壁紙リスト|*.dat")));
    const QStringList two =
        ConvertFilterText(QStringLiteral("すべて (*.jpg;*.bmp)|*.jpg;*.bmp|ビットマップ (*.bmp)|*.bmp"));
    ASSERT_EQ(2, two.size());
    EXPECT_EQ(QStringLiteral("すべて (*.jpg;*.bmp) (*.jpg *.bmp)"), two[0]);
    EXPECT_TRUE(ConvertFilterText(QString()).isEmpty());
}

TEST(Dialogs, FakeAnswersInOrderAndRecords)
{
    FakeDialogs d;
    d.SetNextAnswer(Dialogs::Button::No);
    EXPECT_FALSE(d.Confirm(nullptr, QStringLiteral("x")));
    EXPECT_TRUE(d.Confirm(nullptr, QStringLiteral("y"))); // no queued answer: the default button
    ASSERT_EQ(2u, d.messages.size());
    EXPECT_EQ(QStringLiteral("確認"), d.messages[0].title);
    EXPECT_EQ(Dialogs::Icon::Question, d.messages[0].icon);
    d.SetNextFileNames({QStringLiteral("/a"), QStringLiteral("/b")});
    EXPECT_EQ(2, d.GetFileNames(nullptr, {}).size());
    EXPECT_TRUE(d.GetFileNames(nullptr, {}).isEmpty());
}
