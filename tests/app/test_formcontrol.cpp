// The main window as the session bus drives it: the tray commands, refused exactly when the menu
// would show them disabled, and the status they leave.
#include "FormMainFixture.h"

#include "app/SpinEdit.h"
#include "app/Timer.h"
#include "control/ControlTarget.h"

#include <QComboBox>
#include <QCoreApplication>

#include <cstdio>

namespace {

// The reason of a refused command, or "" when it was not refused.
std::string RefusalOf(const std::function<void()> &command)
{
    try {
        command();
    } catch (const ECommandRefused &e) {
        return e.Message();
    }
    return {};
}

class FormControlTest : public FormMainTest {
protected:
    // A group of three entries started from the window with a one-minute interval.
    TFormMain &StartRunning(bool randomOrder = false)
    {
        MakeGroup("g.dat", 3);
        if (randomOrder)
            WriteSettings("[Main]\r\nOp3Checked=1\r\n");
        TFormMain &f = Create();
        f.ComboBox1->setEditText(QStringLiteral("g.dat"));
        f.SpinEdit1->SetText(QStringLiteral("0"));
        f.SpinEdit2->SetText(QStringLiteral("1"));
        f.JikkoClick();
        f.OnChanged = [this](const std::string &picture, int32_t entry) { changes.push_back({picture, entry}); };
        return f;
    }

    struct Change {
        std::string picture;
        int32_t entry;
    };
    std::vector<Change> changes;
};

} // namespace

TEST_F(FormControlTest, StoppedRefusesTheScheduleCommandsButShows)
{
    MakeGroup("g.dat", 3);
    TFormMain &f = Create(); // no tray start: the Window state
    const std::string notStarted = "壁紙の変更は開始されていません（メイン画面の「実　行」で開始します）";
    EXPECT_EQ(notStarted, RefusalOf([&] { ControlNextAnswer(f); }));
    EXPECT_EQ(notStarted, RefusalOf([&] { ControlBackAnswer(f); }));
    EXPECT_EQ(notStarted, RefusalOf([&] { f.ControlPause(); }));
    EXPECT_EQ(notStarted, RefusalOf([&] { f.ControlResume(); }));
    EXPECT_EQ(-1, ShownEntry());
    EXPECT_FALSE(f.Timer1->Enabled());
    const ControlStatus status = f.ControlStatusNow();
    EXPECT_EQ(ControlState::Stopped, status.state);
    EXPECT_EQ(-1, status.secondsToNext);
    EXPECT_EQ("recording", status.desktop);
    f.hide();
    f.ControlShow();
    EXPECT_TRUE(f.isVisible());
}

TEST_F(FormControlTest, NextKeepsOnePositionWithTheSchedule)
{
    TFormMain &f = StartRunning();
    ControlNextAnswer(f);
    EXPECT_EQ(0, ShownEntry());
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    ControlNextAnswer(f);
    EXPECT_EQ(1, ShownEntry());
    f.Timer1->OnTimer(); // the program's own change goes on from there
    Settle(f);
    EXPECT_EQ(2, ShownEntry());
    ControlBackAnswer(f);
    EXPECT_EQ(1, ShownEntry());

    ASSERT_EQ(4u, changes.size());
    EXPECT_EQ(home.File("p0.bmp"), changes[0].picture);
    EXPECT_EQ(0, changes[0].entry);
    EXPECT_EQ(2, changes[2].entry);
    EXPECT_EQ(1, changes[3].entry);

    const ControlStatus status = f.ControlStatusNow();
    EXPECT_EQ("g.dat", status.group);
    EXPECT_EQ(ControlState::Running, status.state);
    EXPECT_EQ(2, status.nextEntry);
    EXPECT_EQ(home.File("p1.bmp"), status.picture);
    EXPECT_GT(status.secondsToNext, 0);
    EXPECT_LE(status.secondsToNext, 60);
    EXPECT_EQ("", status.lastError);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FormControlTest, PauseAndResumeFollowTheMenuStates)
{
    TFormMain &f = StartRunning();
    EXPECT_EQ("一時停止中ではありません", RefusalOf([&] { f.ControlResume(); }));
    EXPECT_TRUE(f.Timer1->Running()); // the refusal changed nothing
    f.ControlPause();
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_EQ("壁紙変更停止中", Tip());
    EXPECT_EQ(ControlState::Paused, f.ControlStatusNow().state);
    EXPECT_EQ(-1, f.ControlStatusNow().secondsToNext);
    EXPECT_EQ("すでに一時停止中です", RefusalOf([&] { f.ControlPause(); }));
    f.ControlResume();
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ("壁紙変更中", Tip());
    EXPECT_EQ(ControlState::Running, f.ControlStatusNow().state);
}

TEST_F(FormControlTest, BackIsRefusedInRandomOrder)
{
    TFormMain &f = StartRunning(true);
    EXPECT_EQ("ランダムで壁紙を変更しているため「戻る」は使えません", RefusalOf([&] { ControlBackAnswer(f); }));
    EXPECT_EQ(-1, ShownEntry());
    EXPECT_TRUE(f.ControlStatusNow().randomOrder);
    // The listeners hear of the entry drawn, not of the position before or after it.
    for (size_t k = 0; k < 6; ++k) {
        ControlNextAnswer(f);
        ASSERT_EQ(k + 1, changes.size());
        EXPECT_EQ(ShownEntry(), changes[k].entry);
    }
}

TEST_F(FormControlTest, AFailedChangeIsTheCallersErrorAndReportedAfterwards)
{
    TFormMain &f = StartRunning();
    const auto moveAll = [&](const char *from, const char *to) {
        for (int k = 0; k < 3; ++k) {
            const std::string picture = home.File("p" + std::to_string(k) + ".bmp");
            std::rename((picture + from).c_str(), (picture + to).c_str());
        }
    };
    moveAll("", ".away");
    bool failed = false;
    try {
        ControlNextAnswer(f);
    } catch (const ECommandRefused &) {
        ADD_FAILURE() << "a failed change is not a refusal";
    } catch (const Exception &) {
        failed = true;
    }
    EXPECT_TRUE(failed);
    // The box comes only once the call has returned.
    EXPECT_TRUE(dialogs.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages[0].title);
    EXPECT_NE("", f.ControlStatusNow().lastError);
    EXPECT_TRUE(changes.empty());
    // The schedule goes on as it was.
    EXPECT_EQ(ControlState::Running, f.ControlStatusNow().state);
    EXPECT_GT(f.ControlStatusNow().secondsToNext, 0);

    moveAll(".away", "");
    EXPECT_EQ("", ControlNextAnswer(f));
    EXPECT_EQ("", f.ControlStatusNow().lastError);
    EXPECT_EQ(1u, changes.size());
}

TEST_F(FormControlTest, AStreamOfFailingCallsOpensOneBox)
{
    TFormMain &f = StartRunning();
    for (int k = 0; k < 3; ++k)
        std::remove(home.File("p" + std::to_string(k) + ".bmp").c_str());
    const auto failingCalls = [&](int count) {
        for (int i = 0; i < count; ++i)
            EXPECT_THROW(ControlNextAnswer(f), Exception);
    };
    failingCalls(1);
    // More calls come while the first report's box is open; each caller has its error all the same.
    dialogs.whileOpen = [&] {
        failingCalls(2999);
        QCoreApplication::processEvents();
    };
    QCoreApplication::processEvents();
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("さらに 2999 件")))
        << dialogs.messages[0].text.toStdString();
}

TEST_F(FormControlTest, NextNamesThePicturesItPassedOver)
{
    TFormMain &f = StartRunning();
    const std::string picture = home.File("p0.bmp");
    std::remove(picture.c_str());
    EXPECT_EQ("ファイル " + picture + " は開けません", ControlNextAnswer(f));
    EXPECT_EQ(1, ShownEntry());
    ASSERT_EQ(1u, changes.size());
    EXPECT_EQ(1, changes[0].entry);
    EXPECT_EQ("表示できない画像を飛ばしました。\nファイル " + picture + " は開けません",
              f.ControlStatusNow().lastError);
}

TEST_F(FormControlTest, AFailingTickIsTheLastError)
{
    TFormMain &f = StartRunning();
    std::remove(home.File("g.dat").c_str());
    f.Timer1->OnTimer();
    Settle(f);
    EXPECT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(dialogs.messages[0].text.toStdString(), f.ControlStatusNow().lastError);
}

TEST_F(FormControlTest, ShowLeavesTheTrayAsADoubleClickDoes)
{
    TFormMain &f = StartRunning();
    ASSERT_FALSE(f.isVisible());
    f.ControlShow();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(tray->shown);
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_EQ(ControlState::Stopped, f.ControlStatusNow().state);
    EXPECT_FALSE(RefusalOf([&] { ControlNextAnswer(f); }).empty());
}

TEST_F(FormControlTest, WithoutANotificationAreaTheBusStillStepsAndPauses)
{
    noNotificationArea = true;
    TFormMain &f = StartRunning();
    ASSERT_TRUE(f.isMinimized()); // the schedule runs with the window as the way in
    EXPECT_EQ(ControlState::Running, f.ControlStatusNow().state);
    ControlNextAnswer(f);
    EXPECT_EQ(0, ShownEntry());
    f.ControlPause();
    EXPECT_EQ(ControlState::Paused, f.ControlStatusNow().state);
    f.ControlShow();
    EXPECT_FALSE(f.isMinimized());
    EXPECT_EQ(ControlState::Stopped, f.ControlStatusNow().state);
}

TEST_F(FormControlTest, CommandsAreOfferedBeforeTheStartAndWithdrawnFirst)
{
    // A tray start on a desktop without a notification area tells the user in a box: the bus must
    // already answer while it is up.
    MakeGroup("g.dat", 1);
    WriteSettings("[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=0\r\nIntervalSS=30\r\n");
    noNotificationArea = true;
    bool offeredBeforeTheBox = false;
    std::weak_ptr<int> held;
    platform.offerControl = [&](ControlTarget &) {
        offeredBeforeTheBox = dialogs.messages.empty();
        auto token = std::make_shared<int>(0);
        held = token;
        return std::shared_ptr<void>(token);
    };
    TFormMain &f = Create();
    EXPECT_TRUE(offeredBeforeTheBox);
    EXPECT_EQ(1u, dialogs.messages.size()); // the notice came after the offer
    EXPECT_FALSE(held.expired());
    EXPECT_EQ(ControlState::Running, f.ControlStatusNow().state);
    form.reset();
    EXPECT_TRUE(held.expired());
}
