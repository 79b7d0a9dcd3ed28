// A desktop without a notification area: the schedule runs with the window minimized, and the user
// is told once how to get a tray on the desktop in use.
#include "FormMainFixture.h"

#include "app/NoTrayNotice.h"
#include "app/SpinEdit.h"
#include "app/Timer.h"

#include <QComboBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace {

const QString kNoTrayStatus = QStringLiteral("壁紙変更中（通知領域なし）");

class NoTrayTest : public FormMainTest {
protected:
    void SetUp() override
    {
        FormMainTest::SetUp();
        noNotificationArea = true;
    }
    // The schedule runs: ticking, the window minimized (not hidden), no icon claimed.
    void ExpectRunningMinimized(TFormMain &f)
    {
        EXPECT_TRUE(f.Timer1->Running());
        EXPECT_TRUE(f.isVisible());
        EXPECT_TRUE(f.isMinimized());
        EXPECT_FALSE(f.TrayIcon1->Visible());
        EXPECT_FALSE(tray->shown);
        EXPECT_EQ(kNoTrayStatus, f.StatusBar1->currentMessage());
    }
    size_t Warnings() const
    {
        size_t n = 0;
        for (const auto &m : dialogs.messages)
            n += m.title == QStringLiteral("警告");
        return n;
    }
};

} // namespace

TEST_F(NoTrayTest, JikkoRunsTheScheduleInTheMinimizedWindowAndTellsOnce)
{
    sessionDesktop = DesktopKind::Gnome;
    MakeGroup("g.dat", 3);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.SpinEdit3->SetText(QStringLiteral("10"));
    f.R1->trigger();
    ExpectRunningMinimized(f);
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("警告"), dialogs.messages[0].title);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("通知領域")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("gnome-shell-extension-appindicator")));
    f.Timer1->OnTimer();
    Settle(f);
    EXPECT_EQ(0, ShownEntry());

    // Run again from the restored window: the icon is tried again, the window stays the way in.
    f.showNormal();
    f.R1->trigger();
    ExpectRunningMinimized(f);
    EXPECT_EQ(2u, tray->Count(FakeTrayShell::Op::Add));
    EXPECT_EQ(1u, dialogs.messages.size()); // once per run
    f.Timer1->OnTimer();
    Settle(f);
    EXPECT_EQ(0, ShownEntry()); // a fresh start begins at entry 0
}

TEST_F(NoTrayTest, TrayStartRunsMinimizedFromTheStoredPosition)
{
    sessionDesktop = DesktopKind::Sway;
    MakeGroup("g.dat", 3);
    WriteSettings("[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=2\r\nIntervalSS=30\r\n");
    TFormMain &f = Create();
    ExpectRunningMinimized(f);
    EXPECT_EQ(30000, f.Timer1->Interval());
    ASSERT_EQ(1u, Warnings());
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("tray_output")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("waybar")));
    f.Timer1->OnTimer();
    Settle(f);
    EXPECT_EQ(2, ShownEntry());
}

TEST_F(NoTrayTest, ATrayThatTurnsUpLaterIsUsedAtTheNextStart)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.SpinEdit2->SetText(QStringLiteral("1"));
    f.JikkoClick();
    ExpectRunningMinimized(f);
    tray->refuseAdd = false;
    f.showNormal();
    f.JikkoClick();
    EXPECT_TRUE(f.TrayIcon1->Visible());
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty());
    EXPECT_EQ(1u, dialogs.messages.size());
}

// A panel or tray started after the program (or restarted) gets the icon without another 実行.
TEST_F(NoTrayTest, ATrayThatTurnsUpWhileRunningGetsTheIcon)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.SpinEdit1->SetText(QStringLiteral("0"));
    f.SpinEdit2->SetText(QStringLiteral("1"));
    f.JikkoClick();
    ExpectRunningMinimized(f);
    auto *watch = f.findChild<QTimer *>(QStringLiteral("TrayAreaWatch"));
    ASSERT_NE(nullptr, watch);
    EXPECT_TRUE(watch->isActive());
    watch->setInterval(1);
    const size_t adds = tray->Count(FakeTrayShell::Op::Add);
    QTest::qWait(30);
    EXPECT_EQ(adds, tray->Count(FakeTrayShell::Op::Add)); // nothing is tried while there is no area
    EXPECT_TRUE(watch->isActive());

    tray->refuseAdd = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray->shown; }, 2000));
    EXPECT_TRUE(f.TrayIcon1->Visible());
    EXPECT_EQ("壁紙変更中", Cp932ToUtf8(tray->tip));
    EXPECT_FALSE(f.isVisible()); // the minimized window that stood in for the icon is put away
    EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty());
    EXPECT_FALSE(watch->isActive());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ(1u, Warnings());
    // The icon is the way back, as after any start.
    tray->DoubleClick(f.TrayIcon1->IconId());
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.Timer1->Enabled());
}

// The user reads the notice while starting a panel: once the box is closed the icon is the way in.
TEST_F(NoTrayTest, ATrayThatTurnsUpWhileTheNoticeIsOpenTakesOver)
{
    class TrayDuringNotice : public FakeDialogs {
    public:
        Button ShowMessage(QWidget *parent, const MessageRequest &request) override
        {
            *refuseAdd = false;
            (void)QTest::qWaitFor([this] { return *shown; }, 2000);
            return FakeDialogs::ShowMessage(parent, request);
        }
        bool *refuseAdd = nullptr;
        bool *shown = nullptr;
    } notice;
    platform.dialogs = &notice;
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.findChild<QTimer *>(QStringLiteral("TrayAreaWatch"))->setInterval(1);
    notice.refuseAdd = &tray->refuseAdd;
    notice.shown = &tray->shown;
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.JikkoClick();
    ASSERT_EQ(1u, notice.messages.size());
    EXPECT_TRUE(tray->shown);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty());
}

TEST_F(NoTrayTest, TheWatchEndsWithTheScheduleAndSparesAnOpenWindow)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.JikkoClick();
    ExpectRunningMinimized(f);
    auto *watch = f.findChild<QTimer *>(QStringLiteral("TrayAreaWatch"));
    ASSERT_NE(nullptr, watch);
    watch->setInterval(1);

    // The user has the window open while it runs: the icon comes, the window stays.
    f.showNormal();
    tray->refuseAdd = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watch->isActive(); }, 2000));
    EXPECT_TRUE(tray->shown);
    EXPECT_TRUE(f.isVisible());

    // Stopped before any area turned up: the watch ends and adds nothing.
    f.N8Click();
    tray->refuseAdd = true;
    f.JikkoClick();
    ASSERT_TRUE(watch->isActive());
    f.ControlShow(); // tapistoctl show, the way back without an icon
    const size_t adds = tray->Count(FakeTrayShell::Op::Add);
    tray->refuseAdd = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watch->isActive(); }, 2000));
    EXPECT_EQ(adds, tray->Count(FakeTrayShell::Op::Add));
    EXPECT_FALSE(tray->shown);
}

TEST(NoTrayNotice, AdviceFollowsTheSessionNotAForcedBackend)
{
    DesktopEnvironment env;
    env.XdgCurrentDesktop = "ubuntu:GNOME";
    env.TapistoDesktop = "file";
    EXPECT_EQ(DesktopKind::Gnome, SessionDesktop(env));
    env.TapistoDesktop = "no-such-backend"; // refused by the backend choice, harmless here
    EXPECT_EQ(DesktopKind::Gnome, SessionDesktop(env));

    DesktopEnvironment sway;
    sway.SwaySock = "/run/user/1000/sway-ipc.sock";
    sway.WaylandDisplay = "wayland-1";
    EXPECT_EQ(DesktopKind::Sway, SessionDesktop(sway));
    EXPECT_EQ(DesktopKind::None, SessionDesktop(DesktopEnvironment{}));

    const QString kde = NoTrayAreaMessage(DesktopKind::Kde);
    EXPECT_TRUE(kde.contains(QStringLiteral("システムトレイ")));
    EXPECT_FALSE(kde.contains(QStringLiteral("gnome-shell-extension-appindicator")));
    // Every message says what happens now; an unknown desktop still gets a way to a tray.
    for (DesktopKind kind : {DesktopKind::None, DesktopKind::X11, DesktopKind::Xfce, DesktopKind::Gnome})
        EXPECT_TRUE(NoTrayAreaMessage(kind).contains(QStringLiteral("最小化"))) << DesktopKindName(kind);
    EXPECT_TRUE(NoTrayAreaMessage(DesktopKind::None).contains(QStringLiteral("trayer")));
}
