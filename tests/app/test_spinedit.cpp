#include "app/SpinEdit.h"
#include "app/Timer.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <new>

TEST(SpinEdit, KeepsTypedTextAndStepsWithinItsRange)
{
    TSpinEdit spin(0, 23);
    EXPECT_EQ(QStringLiteral("0"), spin.Text());
    spin.stepBy(-1);
    EXPECT_EQ(QStringLiteral("0"), spin.Text());
    spin.SetText(QStringLiteral("22"));
    spin.stepBy(1);
    spin.stepBy(1);
    EXPECT_EQ(QStringLiteral("23"), spin.Text());

    spin.SetText(QString());
    QTest::keyClicks(&spin, QStringLiteral("1.5"));
    EXPECT_EQ(QStringLiteral("1.5"), spin.Text());
    QTest::keyClick(&spin, Qt::Key_Tab); // leaving the field corrects nothing
    EXPECT_EQ(QStringLiteral("1.5"), spin.Text());
    spin.SetText(QStringLiteral("99"));
    EXPECT_EQ(QStringLiteral("99"), spin.Text());
    spin.stepBy(1); // beyond the range the arrows bring it back in
    EXPECT_EQ(QStringLiteral("23"), spin.Text());
    spin.SetText(QStringLiteral("abc"));
    spin.stepBy(1); // no integer: the arrows start from the minimum
    EXPECT_EQ(QStringLiteral("1"), spin.Text());
}

TEST(SpinEdit, AnIntegerOutOfRangeIsBroughtInWhenTheFieldLosesTheFocus)
{
    QWidget window;
    auto *minutes = new TSpinEdit(0, 59, &window);
    auto *other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QApplication::setActiveWindow(&window);
    const auto typeAndLeave = [&](const QString &keys) {
        minutes->setFocus();
        minutes->SetText(QString());
        QTest::keyClicks(minutes, keys);
        other->setFocus();
        return minutes->Text();
    };
    EXPECT_EQ(QStringLiteral("59"), typeAndLeave(QStringLiteral("99")));
    EXPECT_EQ(QStringLiteral("59"), typeAndLeave(QStringLiteral("75")));
    EXPECT_EQ(QStringLiteral("0"), typeAndLeave(QStringLiteral("-3")));
    // Beyond 32 bits it is no integer to the program: it stays and fails at 実　行.
    EXPECT_EQ(QStringLiteral("99999999999"), typeAndLeave(QStringLiteral("99999999999")));
    EXPECT_EQ(QStringLiteral("07"), typeAndLeave(QStringLiteral("07")));   // in range: as typed
    EXPECT_EQ(QStringLiteral("1.5"), typeAndLeave(QStringLiteral("1.5"))); // fails at 実　行
    EXPECT_EQ(QStringLiteral("x"), typeAndLeave(QStringLiteral("x")));
}

TEST(SpinEdit, FullWidthDigitsFromAnInputMethodAreTheAsciiOnes)
{
    TSpinEdit spin(0, 59);
    QLineEdit *field = spin.findChild<QLineEdit *>();
    spin.SetText(QString());
    for (const QChar c : QStringLiteral("１０")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &key);
    }
    EXPECT_EQ(QStringLiteral("10"), field->text());
    // An input method commits its text at once, not key by key.
    spin.SetText(QString());
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("－３"));
    QCoreApplication::sendEvent(field, &commit);
    EXPECT_EQ(QStringLiteral("-3"), spin.Text());
    spin.ClampToRange();
    EXPECT_EQ(QStringLiteral("0"), spin.Text());
    // Whatever reached the field, the text it gives is ASCII.
    spin.SetText(QStringLiteral("２５"));
    EXPECT_EQ(QStringLiteral("25"), spin.Text());
}

TEST(Timer, ZeroIntervalNeverTicksAndEnablingRestarts)
{
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    QTest::qWait(30);
    EXPECT_EQ(0, ticks);
    timer.SetInterval(10);
    EXPECT_TRUE(timer.Running());
    QTRY_VERIFY_WITH_TIMEOUT(ticks > 0, 2000);
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
    timer.SetInterval(-5);
    EXPECT_EQ(0, timer.Interval());
    timer.SetInterval(int64_t(1) << 40); // beyond the platform timer: its longest interval
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
}

TEST(Timer, AnErrorInATickIsReportedNotThrownIntoQt)
{
    TTimer timer;
    QStringList reported;
    timer.ErrorReport = [&](const QString &text) { reported << text; };
    timer.OnTimer = [&] {
        if (reported.isEmpty())
            throw 7; // no std::exception
        throw std::bad_alloc();
    };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(reported.size() >= 2, 2000);
    timer.SetEnabled(false);
    EXPECT_EQ(QStringLiteral("不明なエラーが発生しました。"), reported[0]);
    EXPECT_EQ(QStringLiteral("メモリが不足しています。"), reported[1]);
}
