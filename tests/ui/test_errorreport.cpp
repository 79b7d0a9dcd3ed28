#include "platform/Exceptions.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ErrorReport.h"

#include "FakeDialogs.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

QString TextOf(const std::function<void()> &raise)
{
    try {
        raise();
    } catch (...) {
        return ErrorText(std::current_exception());
    }
    return {};
}

} // namespace

TEST(ErrorReport, EveryKindOfErrorHasAText)
{
    EXPECT_EQ(QStringLiteral("'x' は整数ではありません"), TextOf([] { throw EConvertError::NotAnInteger("x"); }));
    EXPECT_EQ(QStringLiteral("メモリが不足しています。"), TextOf([] { throw std::bad_alloc(); }));
    EXPECT_EQ(QStringLiteral("vector"), TextOf([] { throw std::length_error("vector"); }));
    EXPECT_EQ(QStringLiteral("不明なエラーが発生しました。"), TextOf([] { throw 42; }));
}

TEST(ErrorReport, TheGuardReportsOnceAndNothingEscapes)
{
    FakeDialogs dialogs;
    EXPECT_TRUE(RunGuarded(dialogs, nullptr, [] {}));
    EXPECT_FALSE(RunGuarded(dialogs, nullptr, [] { throw EAbort(); }));
    EXPECT_TRUE(dialogs.messages.empty()); // EAbort is silent
    EXPECT_FALSE(RunGuarded(dialogs, nullptr, [] { throw "text"; }));
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages[0].title);
    EXPECT_EQ(Dialogs::Icon::Error, dialogs.messages[0].icon);
    EXPECT_EQ(QStringLiteral("不明なエラーが発生しました。"), dialogs.messages[0].text);

    // A report that fails, or none at all, still keeps the error from escaping.
    EXPECT_FALSE(RunGuarded([](const QString &) { throw std::bad_alloc(); }, [] { throw 1; }));
    EXPECT_FALSE(RunGuarded(ErrorReportFunction(), [] { throw EInOutError("lost"); }));
}
