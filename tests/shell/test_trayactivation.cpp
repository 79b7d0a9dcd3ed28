#include "platform/Encoding.h"
#include "shell/QtTrayShell.h"
#include "shell/TrayActivation.h"
#include "shell/TrayShell.h"

#include <gtest/gtest.h>

namespace {

using Messages = std::vector<uint32_t>;
const Messages Click{TrayMessage::LButtonDown, TrayMessage::LButtonUp};
const Messages Double{TrayMessage::LButtonDblClk, TrayMessage::LButtonUp};
constexpr int DoubleClickTime = 400;

TEST(TrayActivationTest, EachReasonIsAPressAndARelease)
{
    TrayActivation activation;
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 0, DoubleClickTime), Click);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Context, 1000, DoubleClickTime),
              (Messages{TrayMessage::RButtonDown, TrayMessage::RButtonUp}));
    EXPECT_EQ(activation.Map(QSystemTrayIcon::MiddleClick, 2000, DoubleClickTime),
              (Messages{TrayMessage::MButtonDown, TrayMessage::MButtonUp}));
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Unknown, 3000, DoubleClickTime), Messages{});
}

TEST(TrayActivationTest, QtsOwnDoubleClickAndTheClickAfterIt)
{
    TrayActivation activation;
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 0, DoubleClickTime), Click);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::DoubleClick, 90, DoubleClickTime), Double);
    // A third press is a click of its own.
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 180, DoubleClickTime), Click);
}

TEST(TrayActivationTest, TwoActivationsWithinTheDoubleClickTimeMakeADoubleClick)
{
    TrayActivation activation;
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 1000, DoubleClickTime), Click);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 1400, DoubleClickTime), Double);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 1500, DoubleClickTime), Click);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 1901, DoubleClickTime), Click);
    // Another button in between breaks the pair.
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Context, 1950, DoubleClickTime).front(), TrayMessage::RButtonDown);
    EXPECT_EQ(activation.Map(QSystemTrayIcon::Trigger, 2000, DoubleClickTime), Click);
}

TEST(TrayTipTextTest, ALeadByteLeftByTheCutIsDropped)
{
    const std::string tip = Utf8ToCp932("壁紙変更中");
    EXPECT_EQ(TrayTipText(tip), QStringLiteral("壁紙変更中"));
    EXPECT_EQ(TrayTipText(tip.substr(0, 5)), QStringLiteral("壁紙"));
    // "ソ" ends in 0x5C; it must stay whole.
    EXPECT_EQ(TrayTipText(Utf8ToCp932("ソa")), QStringLiteral("ソa"));
    EXPECT_EQ(TrayTipText(""), QString());
}

} // namespace

// Every click on the icon used to print "tapisto.tray: message 1 516" on standard error.
TEST(TrayTraceTest, QuietUnlessTurnedOn)
{
    EXPECT_FALSE(lcTapistoTray().isDebugEnabled());
    EXPECT_TRUE(lcTapistoTray().isInfoEnabled());
    QLoggingCategory::setFilterRules(QStringLiteral("tapisto.tray.debug=true"));
    EXPECT_TRUE(lcTapistoTray().isDebugEnabled());
    QLoggingCategory::setFilterRules(QString());
    EXPECT_FALSE(lcTapistoTray().isDebugEnabled());
}
