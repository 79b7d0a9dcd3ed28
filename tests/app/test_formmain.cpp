#include "FormMainFixture.h"
#include "SmallDisk.h"

#include "app/GroupNameEdit.h"
#include "app/SpinEdit.h"
#include "app/Timer.h"
#include "picture/PictureFormats.h"
#include "platform/Exceptions.h"
#include "shell/TrayIcon.h"
#include "spi/SPIs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

QStringList ItemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

void SetInterval(TFormMain &f, const char *hh, const char *mm, const char *ss)
{
    f.SpinEdit1->SetText(QString::fromUtf8(hh));
    f.SpinEdit2->SetText(QString::fromUtf8(mm));
    f.SpinEdit3->SetText(QString::fromUtf8(ss));
}

void Tick(TFormMain &f)
{
    f.Timer1->OnTimer();
    Settle(f);
} // as the timer delivers it, inside the error report

// Starts the schedule on a group every ten seconds, as the run button does.
// `item` is a check item reading `text`, off at first, that stores "1" and then "0" under `key` as it
// is triggered twice.
void ExpectStoredCheckItem(QAction *item, const QString &text, std::string_view key)
{
    EXPECT_EQ(text, item->text());
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ("1", Settings::ReadValue(key));
    item->trigger();
    EXPECT_EQ("0", Settings::ReadValue(key));
}

void StartRunning(TFormMain &f, const char *group = "g.dat")
{
    f.ComboBox1->setEditText(QString::fromUtf8(group));
    SetInterval(f, "0", "0", "10");
    f.JikkoClick();
}

} // namespace

TEST_F(FormMainTest, FirstStartShowsTheWindowWithDefaults)
{
    MakeGroup("b.dat", 1);
    MakeGroup("A.DAT", 1);
    TFormMain &f = Create();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.TrayIcon1->Visible());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_EQ((QStringList{QStringLiteral("A.DAT"), QStringLiteral("b.dat")}), ItemTexts(f.ComboBox1));
    EXPECT_EQ(QString(), f.ComboBox1->currentText());
    // No interval stored: an hour, which runs as it stands.
    EXPECT_EQ(QStringLiteral("1"), f.SpinEdit1->Text());
    EXPECT_EQ(QStringLiteral("0"), f.SpinEdit2->Text());
    EXPECT_EQ(QStringLiteral("0"), f.SpinEdit3->Text());
    for (QAction *item : {f.op1, f.op2, f.op3})
        EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(f.OpSusie->isChecked());                   // the bundled plug-ins are on at first
    EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty()); // there are groups to choose from
    EXPECT_EQ(Settings::DefaultWallPaperPath(), f.WallPaperPath);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(f.Edit1->isVisibleTo(&f));
    EXPECT_EQ(QStringLiteral("Tapisto"), f.windowTitle());
    EXPECT_EQ(QSize(231, 140), f.centralWidget()->size());
    EXPECT_EQ(12, f.font().pixelSize());
    // The tray menu's initial states.
    EXPECT_TRUE(f.N5->isEnabled());
    EXPECT_FALSE(f.N6->isEnabled());
    EXPECT_EQ("壁紙変更中", Tip());
}

TEST_F(FormMainTest, FirstStartWithoutGroupsSaysWhatToDoFirst)
{
    TFormMain &f = Create();
    EXPECT_EQ(0, f.ComboBox1->count());
    EXPECT_EQ(QStringLiteral("「壁紙の設定」でグループを作ります"), f.StatusBar1->currentMessage());
    EXPECT_TRUE(dialogs.messages.empty()); // said in the window, not in a box
    f.RefreshGroups();                     // back from the editor with nothing saved
    EXPECT_EQ(QStringLiteral("「壁紙の設定」でグループを作ります"), f.StatusBar1->currentMessage());
    MakeGroup("g.dat", 1);
    f.RefreshGroups(); // back from the editor with a group saved
    EXPECT_TRUE(f.StatusBar1->currentMessage().isEmpty());
    // A start with the interval as it was offered runs every hour.
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    f.JikkoClick();
    EXPECT_TRUE(f.Timer1->Enabled());
    EXPECT_EQ(3600 * 1000, f.Timer1->Interval());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kIntervalHH));
}

TEST_F(FormMainTest, ALongGroupNameShowsItsStartAndEndAndWholeAsATooltip)
{
    const QString longName = QStringLiteral("とても長い名前の壁紙グループ、旅行の写真とその他いろいろ.dat");
    MakeGroup(Utf8ToCp932(longName.toStdString()), 1); // a CP932 path, as the program names files
    MakeGroup("g.dat", 1);
    WriteSettings("[Main]\r\nUseSection=" + Utf8ToCp932(longName.toStdString()) + "\r\n");
    TFormMain &f = Create();
    ASSERT_EQ(longName, f.ComboBox1->currentText());
    auto *edit = dynamic_cast<GroupNameEdit *>(f.ComboBox1->lineEdit());
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(longName, edit->toolTip());
    const QString shown = edit->ShownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("とても"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".dat"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(shown), edit->width());
    // The list shows every name whole as the item's tooltip.
    for (int i = 0; i < f.ComboBox1->count(); ++i)
        EXPECT_EQ(f.ComboBox1->itemText(i), f.ComboBox1->itemData(i, Qt::ToolTipRole).toString());
    // A short name is shown as it is, with no tooltip.
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    EXPECT_EQ(QStringLiteral("g.dat"), edit->ShownText());
    EXPECT_TRUE(edit->toolTip().isEmpty());
    // The field has the focus when the window opens; it shows the text itself once the user types.
    f.show();
    f.activateWindow();
    edit->setText(longName);
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); }, 2000));
    EXPECT_NE(longName, edit->ShownText());
    QTest::keyClick(edit, Qt::Key_Home);
    EXPECT_EQ(longName, edit->ShownText());
    EXPECT_EQ(longName, f.ComboBox1->currentText()); // the run command reads the whole name
    f.Button1->setFocus();                           // left: cut again
    ASSERT_TRUE(QTest::qWaitFor([edit] { return !edit->hasFocus(); }, 2000));
    EXPECT_NE(longName, edit->ShownText());
}

TEST_F(FormMainTest, TrayStartRunsFromTheStoredIndex)
{
    MakeGroup("g.dat", 3);
    WriteSettings("[Main]\r\nop1checked=1\r\nUseSection=g.dat\r\nUseIndex=2\r\n"
                  "IntervalHH=0\r\nIntervalMM=0\r\nIntervalSS=30\r\n");
    TFormMain &f = Create();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.TrayIcon1->Visible());
    EXPECT_TRUE(tray->shown);
    EXPECT_TRUE(f.Timer1->Enabled());
    EXPECT_EQ(30000, f.Timer1->Interval());
    EXPECT_TRUE(f.op1->isChecked());
    Tick(f);
    EXPECT_EQ(2, ShownEntry());
    EXPECT_EQ("0", Settings::ReadUseIndexText());
    ASSERT_EQ(1u, desktop.calls.size());
    EXPECT_EQ(1, desktop.calls[0].tileValue);
    EXPECT_EQ(registry.ReadString("Control Panel\\desktop", "TileWallpaper"), std::optional<std::string>("1"));
    EXPECT_EQ(Cp932ToQString(f.WallPaperPath), f.Edit1->text());
}

TEST_F(FormMainTest, TrayStartWithAZeroIntervalSitsStill)
{
    MakeGroup("g.dat", 1);
    WriteSettings(
        "[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=0\r\nIntervalHH=0\r\nIntervalMM=0\r\nIntervalSS=0\r\n");
    TFormMain &f = Create();
    EXPECT_TRUE(f.Timer1->Enabled());
    EXPECT_EQ(0, f.Timer1->Interval());
    EXPECT_FALSE(f.Timer1->Running());
    EXPECT_FALSE(f.isVisible());
}

TEST_F(FormMainTest, TrayStartBeforeAnyChangeStartsAtEntryZero)
{
    // 実　行, then the tray option, then the end before the first change: no UseIndex yet.
    MakeGroup("g.dat", 2);
    WriteSettings("[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nIntervalSS=30\r\n");
    TFormMain &f = Create();
    EXPECT_TRUE(dialogs.messages.empty()) << LastMessage().toStdString();
    EXPECT_TRUE(f.Timer1->Running());
    Tick(f);
    EXPECT_EQ(0, ShownEntry());
}

TEST_F(FormMainTest, TrayStartOnAGroupWithoutPicturesShowsTheWindowInsteadOfFailingAtEveryInterval)
{
    WriteFileBytes(home.File("empty.dat"), "");
    WriteSettings("[Main]\r\nOp1Checked=1\r\nUseSection=empty.dat\r\nUseIndex=0\r\nIntervalSS=10\r\n");
    TFormMain &f = Create();
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("警告"), dialogs.messages[0].title);
    EXPECT_EQ(QStringLiteral("選択した壁紙グループには画像がありません。「壁紙の設定」で画像を追加してください。"),
              dialogs.messages[0].text);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_FALSE(f.TrayIcon1->Visible());
}

TEST_F(FormMainTest, AFailedTrayStartIsReportedAndLeavesTheWindowReachable)
{
    MakeGroup("g.dat", 1);
    WriteSettings("[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=x\r\nIntervalSS=30\r\n");
    TFormMain &f = Create();
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages[0].title);
    EXPECT_EQ(QStringLiteral("'x' は整数ではありません"), dialogs.messages[0].text);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_FALSE(f.TrayIcon1->Visible());
}

TEST_F(FormMainTest, JikkoRefusesWhatItCannotRun)
{
    MakeGroup("B.DAT", 1);
    TFormMain &f = Create();
    const auto clickJikko = [&] { QTest::mouseClick(f.Jikko, Qt::LeftButton); };

    clickJikko();
    EXPECT_EQ(QStringLiteral("壁紙グループを選択してください。"), LastMessage());
    EXPECT_EQ(QStringLiteral("警告"), dialogs.messages.back().title);
    EXPECT_EQ(Dialogs::Icon::Warning, dialogs.messages.back().icon);

    f.ComboBox1->setEditText(QStringLiteral("b.dat")); // the rules are CheckRun's; the window warns
    clickJikko();
    EXPECT_EQ(QStringLiteral("グループリストに無いものが入力されています。"), LastMessage());

    f.ComboBox1->setEditText(QStringLiteral("B.DAT"));
    SetInterval(f, "0", "0", "9");
    clickJikko();
    EXPECT_EQ(QStringLiteral("変更間隔は１０秒以上にしてね。"), LastMessage());
    SetInterval(f, "0", "0", "1.5");
    clickJikko();
    EXPECT_EQ(QStringLiteral("'1.5' は整数ではありません"), LastMessage());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages.back().title);

    EXPECT_EQ(4u, dialogs.messages.size());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ("", Settings::ReadValue(Settings::kUseSection));
}

TEST_F(FormMainTest, JikkoHoldsTheIntervalFieldsToTheirRanges)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    SetInterval(f, "30", "99", "75"); // typed, and run from the menu without leaving the fields
    f.R1->trigger();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QStringLiteral("23"), f.SpinEdit1->Text());
    EXPECT_EQ(QStringLiteral("59"), f.SpinEdit2->Text());
    EXPECT_EQ(QStringLiteral("59"), f.SpinEdit3->Text());
    EXPECT_EQ((23 * 3600 + 59 * 60 + 59) * 1000, f.Timer1->Interval());
    EXPECT_EQ("59", Settings::ReadValue(Settings::kIntervalSS));

    f.N8->trigger();
    SetInterval(f, "0", "-1", "70"); // would add up to 10 s; held in range it is 0:00:59
    f.R1->trigger();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(59000, f.Timer1->Interval());
}

TEST_F(FormMainTest, JikkoTakesFullWidthDigits)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    SetInterval(f, "０", "１", "１０"); // as an input method types them
    f.R1->trigger();
    EXPECT_TRUE(dialogs.messages.empty()) << LastMessage().toStdString();
    EXPECT_EQ(70000, f.Timer1->Interval());
    EXPECT_EQ("10", Settings::ReadValue(Settings::kIntervalSS));
}

TEST_F(FormMainTest, JikkoRefusesAGroupWithoutPictures)
{
    WriteFileBytes(home.File("empty.dat"), "");
    WriteFileBytes(home.File("blank.dat"), "[Main]\r\nIdx=0\r\nfile0=,,,\r\n");
    TFormMain &f = Create();
    for (const char *group : {"empty.dat", "blank.dat"}) {
        f.ComboBox1->setEditText(QString::fromLatin1(group));
        SetInterval(f, "0", "0", "10");
        f.R1->trigger();
        EXPECT_EQ(QStringLiteral("警告"), dialogs.messages.back().title);
        EXPECT_EQ(QStringLiteral("選択した壁紙グループには画像がありません。「壁紙の設定」で画像を追加してください。"),
                  LastMessage());
        EXPECT_FALSE(f.Timer1->Enabled());
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ("", Settings::ReadValue(Settings::kUseSection));
    }
    EXPECT_EQ(2u, dialogs.messages.size());
}

TEST_F(FormMainTest, JikkoAcceptsTenSecondsAndRunsTheGroupInOrder)
{
    MakeGroup("g.dat", 3);
    TFormMain &f = Create();
    f.ComboBox1->setEditText(QStringLiteral("g.dat"));
    SetInterval(f, "0", "00", "10");
    f.R1->trigger();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(f.Timer1->Enabled());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ(10000, f.Timer1->Interval());
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.TrayIcon1->Visible());
    EXPECT_EQ("00", Settings::ReadValue(Settings::kIntervalMM)); // the texts as they stood
    EXPECT_EQ("g.dat", Settings::ReadValue(Settings::kUseSection));
    EXPECT_EQ("", Settings::ReadUseIndexText()); // nothing changes before the first tick

    // The ticks go through the schedule (its order and wrapping are the schedule's own tests).
    Tick(f);
    EXPECT_EQ(0, ShownEntry());
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    Tick(f);
    EXPECT_EQ(1, ShownEntry());
}

TEST_F(FormMainTest, BackAndNextFromTheTrayMenu)
{
    TFormMain &f = CreateRunning(3);
    Tick(f);
    Tick(f);
    Tick(f); // entry 2 on screen
    f.N10->trigger();
    Settle(f);
    EXPECT_EQ(1, ShownEntry());
    EXPECT_TRUE(f.Timer1->Running());
    f.N11->trigger();
    Settle(f);
    EXPECT_EQ(2, ShownEntry());
    f.N11->trigger();
    Settle(f);
    EXPECT_EQ(0, ShownEntry());
    f.N10->trigger();
    Settle(f);
    EXPECT_EQ(2, ShownEntry());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FormMainTest, AMissingPictureIsPassedOverAndToldOnceARun)
{
    TFormMain &f = CreateRunning(3);
    Tick(f); // entry 0
    const std::string picture = home.File("p1.bmp");
    std::rename(picture.c_str(), (picture + ".away").c_str());
    Tick(f);
    EXPECT_EQ(2, ShownEntry());
    EXPECT_EQ("0", Settings::ReadUseIndexText());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ("壁紙変更中\n表示できない画像: p1.bmp", Tip());
    EXPECT_NE(std::string::npos, f.ControlStatusNow().lastError.find(picture)) << f.ControlStatusNow().lastError;
    // The notice comes after the change, in one box.
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages[0].title);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromStdString(picture))) << LastMessage().toStdString();
    // The next round passes over it again, without telling it again.
    Tick(f);
    Tick(f);
    QCoreApplication::processEvents();
    EXPECT_EQ(2, ShownEntry());
    EXPECT_EQ(1u, dialogs.messages.size());
    // Back again: the tip and the status forget it at the next change that passes over nothing.
    std::rename((picture + ".away").c_str(), picture.c_str());
    Tick(f);
    EXPECT_EQ(0, ShownEntry());
    EXPECT_EQ("壁紙変更中", Tip());
    EXPECT_EQ("", f.ControlStatusNow().lastError);

    // No picture at all: one error, the position stays, the timer runs on.
    for (int k = 0; k < 3; ++k)
        std::rename(home.File("p" + std::to_string(k) + ".bmp").c_str(), home.File("gone" + std::to_string(k)).c_str());
    Tick(f);
    ASSERT_EQ(2u, dialogs.messages.size());
    EXPECT_TRUE(
        dialogs.messages[1].text.startsWith(QStringLiteral("壁紙グループ g.dat の画像はどれも表示できません。")))
        << dialogs.messages[1].text.toStdString();
    EXPECT_EQ(1, f.CurrentIndex());
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    EXPECT_TRUE(f.Timer1->Running());
}

TEST_F(FormMainTest, AFailedNextOrBackLeavesTheTimerAsItWas)
{
    TFormMain &f = CreateRunning(2);
    Tick(f);
    desktop.fail = true; // not a picture's fault: nothing to pass over
    f.N11->trigger();
    Settle(f);
    EXPECT_EQ(1u, dialogs.messages.size());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_GT(f.Timer1->RemainingMilliseconds(), 5000); // a fresh interval after the manual change
    f.N10->trigger();
    Settle(f);
    EXPECT_EQ(2u, dialogs.messages.size());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ(ControlState::Running, f.ControlStatusNow().state);
    EXPECT_GT(f.ControlStatusNow().secondsToNext, 0);
}

TEST_F(FormMainTest, APauseHoldsThroughNextAndBack)
{
    TFormMain &f = CreateRunning(3);
    Tick(f);
    f.N5->trigger();
    const auto stillPaused = [&](const char *after) {
        EXPECT_FALSE(f.Timer1->Enabled()) << after;
        EXPECT_FALSE(f.Timer1->Running()) << after;
        EXPECT_EQ("壁紙変更停止中", Tip()) << after;
        EXPECT_FALSE(f.N5->isEnabled()) << after;
        EXPECT_TRUE(f.N6->isEnabled()) << after;
        EXPECT_EQ(ControlState::Paused, f.ControlStatusNow().state) << after;
        EXPECT_EQ(-1, f.ControlStatusNow().secondsToNext) << after;
    };
    f.N11->trigger();
    Settle(f);
    EXPECT_EQ(1, ShownEntry());
    stillPaused("next");
    f.N10->trigger();
    Settle(f);
    EXPECT_EQ(0, ShownEntry());
    stillPaused("back");
    desktop.fail = true;
    f.N11->trigger(); // a failure changes nothing of the pause either
    Settle(f);
    stillPaused("a failed next");
    f.N6->trigger();
    EXPECT_TRUE(f.Timer1->Running());
}

TEST_F(FormMainTest, ErrorsWhileABoxIsOpenAreCountedIntoIt)
{
    TFormMain &f = CreateRunning(1);
    std::rename(home.File("p0.bmp").c_str(), home.File("gone").c_str());
    // Ticks that come while the first box is open, as its own event loop delivers them.
    dialogs.whileOpen = [&] {
        for (int i = 0; i < 3000; ++i)
            Tick(f);
    };
    Tick(f);
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("さらに 3000 件"))) << LastMessage().toStdString();
    // Closed, the next failure opens a box of its own again.
    Tick(f);
    EXPECT_EQ(2u, dialogs.messages.size());
    EXPECT_FALSE(dialogs.messages[1].text.contains(QStringLiteral("さらに")));
}

TEST_F(FormMainTest, AReadOnlySettingsFileIsReportedAndTheScheduleMovesOn)
{
    SmallDisk disk(256);
    REQUIRE_SMALL_DISK(disk);
    MakeGroup("g.dat", 3);
    // Settings and group on the small disk; pictures and the output bitmap stay writable.
    ::setenv("TAPISTO_HOME", disk.Path().c_str(), 1);
    WriteFileBytes(disk.Path() + "g.dat", ReadFileBytes(home.File("g.dat")));
    WriteFileBytes(disk.Path() + "Tapisto.ini", "[Main]\r\nWindows=" + home.File("out.bmp") + "\r\n");
    TFormMain &f = Create();
    StartRunning(f);
    ASSERT_TRUE(disk.MakeReadOnly());

    Tick(f);
    EXPECT_EQ(0, ShownEntry());
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages[0].title);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("UseIndex")))
        << dialogs.messages[0].text.toStdString();
    Tick(f);
    EXPECT_EQ(1, ShownEntry());
    f.N11->trigger(); // the wallpaper changed, so the schedule goes on after the report
    Settle(f);
    EXPECT_EQ(2, ShownEntry());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ(3u, dialogs.messages.size());
    EXPECT_EQ("", Settings::ReadUseIndexText());
    ::setenv("TAPISTO_HOME", home.Path().c_str(), 1);
}

TEST_F(FormMainTest, ScrSuspendsTimedChangesOnly)
{
    TFormMain &f = CreateRunning(2);
    Settings::WriteValue(Settings::kScr, "1");
    Tick(f);
    EXPECT_EQ(-1, ShownEntry());
    EXPECT_TRUE(dialogs.messages.empty());
    f.N11Click();
    Settle(f);
    EXPECT_EQ(0, ShownEntry());
}

TEST_F(FormMainTest, PauseResumeAndBackToTheWindow)
{
    TFormMain &f = CreateRunning(2);
    Tick(f);
    f.N5->trigger();
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_FALSE(f.N5->isEnabled());
    EXPECT_TRUE(f.N6->isEnabled());
    EXPECT_EQ("壁紙変更停止中", Tip());
    EXPECT_EQ("壁紙変更停止中", Cp932ToUtf8(tray->tip));
    f.N6->trigger();
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ("壁紙変更中", Tip());

    f.N5->trigger();
    f.TrayIcon1->OnDblClick(f.TrayIcon1); // double click while paused
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.TrayIcon1->Visible());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_FALSE(f.N5->isEnabled()); // the menu stays as it was left
    f.Jikko->click();
    EXPECT_EQ(0, f.CurrentIndex());
    EXPECT_TRUE(f.N5->isEnabled());
    EXPECT_FALSE(f.N6->isEnabled());
    EXPECT_TRUE(f.Timer1->Running());
    f.N8->trigger();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.Timer1->Enabled());
}

TEST_F(FormMainTest, RandomOrderDisablesBackOnlyAtStart)
{
    TFormMain &f = CreateRunning(1);
    EXPECT_TRUE(f.N10->isEnabled());
    f.op3->trigger();
    EXPECT_TRUE(f.op3->isChecked());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kOp3Checked));
    EXPECT_TRUE(f.N10->isEnabled());
    Tick(f);
    Tick(f);
    EXPECT_EQ(0, ShownEntry());
    EXPECT_EQ("0", Settings::ReadUseIndexText());
    f.N8Click();
    f.JikkoClick();
    EXPECT_FALSE(f.N10->isEnabled());
    f.op3->trigger();
    EXPECT_FALSE(f.op3->isChecked());
    EXPECT_EQ("0", Settings::ReadValue(Settings::kOp3Checked));
}

TEST_F(FormMainTest, GroupsAndMarksAreRestoredFromTheSettings)
{
    MakeGroup("B.DAT", 1);
    std::filesystem::create_directory(home.File("x.dat"));
    WriteSettings("[Main]\r\nUseSection=b.dat\r\nIntervalHH=1\r\nIntervalMM=abc\r\n"
                  "Op2Checked=1\r\nOp3Checked=yes\r\n");
    TFormMain &f = Create();
    EXPECT_EQ(QStringList{QStringLiteral("B.DAT")}, ItemTexts(f.ComboBox1));
    EXPECT_EQ(QString(), f.ComboBox1->currentText()); // case-sensitive match fails
    EXPECT_EQ(QStringLiteral("1"), f.SpinEdit1->Text());
    EXPECT_EQ(QStringLiteral("abc"), f.SpinEdit2->Text()); // shown as it is
    EXPECT_EQ(QStringLiteral("0"), f.SpinEdit3->Text());
    EXPECT_TRUE(f.op2->isChecked());
    EXPECT_FALSE(f.op3->isChecked());
    EXPECT_TRUE(f.N10->isEnabled());

    f.op1->trigger();
    Settings::WriteValue(Settings::kOp1Checked, "0"); // edited from outside
    f.RefreshGroups();
    EXPECT_TRUE(f.op1->isChecked()); // marks are only ever set
    Settings::WriteValue(Settings::kUseSection, "B.DAT");
    f.RefreshGroups();
    EXPECT_EQ(QStringLiteral("B.DAT"), f.ComboBox1->currentText());
}

TEST_F(FormMainTest, NoRepeatAndPerMonitorAreCheckItemsAfterTheExistingOptions)
{
    WriteSettings("[Main]\r\nOpNoRepeat=yes\r\nOp3Checked=1\r\n");
    TFormMain &f = Create();
    QMenu *tools = nullptr;
    for (QAction *menu : f.menuBar()->actions())
        if (menu->text() == QStringLiteral("ツール(&T)"))
            tools = menu->menu();
    ASSERT_NE(nullptr, tools);
    QStringList names;
    for (QAction *item : tools->actions())
        names << item->objectName();
    EXPECT_EQ((QStringList{QStringLiteral("N3"), QStringLiteral("N4"), QStringLiteral("op1"), QStringLiteral("op2"),
                           QStringLiteral("op3"), QStringLiteral("OpSusie"), QStringLiteral("N12"),
                           QStringLiteral("Windows1"), QStringLiteral("N13"), QStringLiteral("OpNoRepeat"),
                           QStringLiteral("OpPerMonitor")}),
              names);
    // Off at first although the file says "yes": only "1" is on.
    ExpectStoredCheckItem(f.OpNoRepeat, QStringLiteral("ランダムで同じ壁紙を繰り返さない"), Settings::kOpNoRepeat);
    EXPECT_FALSE(f.OpNoRepeat->isChecked());
    Settings::WriteValue(Settings::kOpNoRepeat, "1");
    f.RefreshGroups();
    EXPECT_TRUE(f.OpNoRepeat->isChecked());

    ExpectStoredCheckItem(f.OpPerMonitor, QStringLiteral("モニターごとに別の壁紙"), Settings::kOpPerMonitor);
}

// Without random order "no repeats" does nothing: it is greyed out, its mark kept for later.
TEST_F(FormMainTest, NoRepeatIsOnlyOfferedWithRandomOrder)
{
    TFormMain &f = Create();
    EXPECT_FALSE(f.op3->isChecked());
    EXPECT_FALSE(f.OpNoRepeat->isEnabled());
    f.OpNoRepeat->trigger();
    EXPECT_FALSE(f.OpNoRepeat->isChecked());
    EXPECT_EQ("", Settings::ReadValue(Settings::kOpNoRepeat));
    f.op3->trigger();
    EXPECT_TRUE(f.OpNoRepeat->isEnabled());
    f.OpNoRepeat->trigger();
    EXPECT_TRUE(f.OpNoRepeat->isChecked());
    f.op3->trigger();
    EXPECT_FALSE(f.OpNoRepeat->isEnabled());
    EXPECT_TRUE(f.OpNoRepeat->isChecked());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kOpNoRepeat));

    Settings::WriteValue(Settings::kOp3Checked, "1"); // as a start with random order finds it
    f.RefreshGroups();
    EXPECT_TRUE(f.OpNoRepeat->isEnabled());
}

TEST_F(FormMainTest, StartupRegistrationFollowsTheMark)
{
    TFormMain &f = Create();
    f.op2->trigger();
    f.op2->trigger();
    f.op2->trigger();
    ASSERT_EQ(3u, autostart.calls.size());
    EXPECT_TRUE(autostart.calls[0].create);
    EXPECT_FALSE(autostart.calls[1].create);
    EXPECT_TRUE(autostart.calls[2].create);
    EXPECT_EQ("Tapisto", autostart.calls[0].name);
    const std::string program = autostart.calls[0].programPath;
    EXPECT_EQ(program.substr(0, program.rfind('/') + 1), autostart.calls[0].workingFolder);
    EXPECT_TRUE(f.op2->isChecked());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kOp2Checked));
}

TEST_F(FormMainTest, FailedStartupRegistrationKeepsMarkAndKey)
{
    class BrokenAutostart : public Autostart {
    public:
        void Set(bool, const std::string &, const std::string &, const std::string &) override
        {
            throw EInOutError("no autostart folder");
        }
    } broken;
    platform.autostart = &broken;
    TFormMain &f = Create();
    f.op2->trigger();
    EXPECT_FALSE(f.op2->isChecked());
    EXPECT_EQ("", Settings::ReadValue(Settings::kOp2Checked));
    EXPECT_EQ(QStringLiteral("no autostart folder"), LastMessage());
}

TEST_F(FormMainTest, OutputBitmapChoice)
{
    TFormMain &f = Create();
    const std::string before = f.WallPaperPath;
    dialogs.SetNextAnswer(Dialogs::Button::No);
    f.Windows1->trigger();
    EXPECT_EQ(QStringLiteral("確認"), dialogs.messages.back().title);
    // It says where the bitmap is written now, and nothing of a Windows folder.
    EXPECT_TRUE(LastMessage().contains(QString::fromStdString(home.File("Tapisto_WallPaper.bmp"))))
        << LastMessage().toStdString();
    EXPECT_FALSE(LastMessage().contains(QStringLiteral("C:Windows")));
    EXPECT_TRUE(dialogs.fileRequests.empty());
    f.Windows1->trigger(); // yes, then cancelled
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_EQ(QStringLiteral("壁紙のビットマップファイルの書き出し先"), dialogs.fileRequests[0].title);
    EXPECT_EQ(QString::fromStdString(home.Path()).chopped(1), dialogs.fileRequests[0].initialFolder);
    EXPECT_EQ(QStringLiteral("bmp"), dialogs.fileRequests[0].defaultExtension);
    EXPECT_EQ(QStringLiteral("Tapisto_WallPaper.bmp"), dialogs.fileRequests[0].fileName);
    EXPECT_FALSE(dialogs.fileRequests[0].mustExist);
    EXPECT_EQ(before, f.WallPaperPath);
    EXPECT_EQ("", Settings::ReadValue(Settings::kWindows));

    const std::string chosen = home.File("new/out.bmp"); // need not exist yet
    dialogs.SetNextFileName(QString::fromStdString(chosen));
    f.Windows1->trigger();
    EXPECT_EQ(chosen, f.WallPaperPath);
    EXPECT_EQ(chosen, Settings::ReadValue(Settings::kWindows));
    // The next choice starts where the bitmap is now.
    f.Windows1->trigger();
    EXPECT_TRUE(LastMessage().contains(QString::fromStdString(chosen)));
    EXPECT_EQ(QString::fromStdString(home.File("new")), dialogs.fileRequests.back().initialFolder);
    EXPECT_EQ(QStringLiteral("out.bmp"), dialogs.fileRequests.back().fileName);
}

TEST_F(FormMainTest, PluginRegistrationRefusesJpeg)
{
    TFormMain &f = Create();
    int dummy = 0;
    const auto *offered = reinterpret_cast<const TGraphicClass *>(&dummy); // never dereferenced
    for (const char *ext : {"jpg", "Jpeg", "JPG", "jpeg"}) {
        const TGraphicClass *proposed = offered;
        f.SPIs1PictureRegister(nullptr, ext, "", proposed);
        EXPECT_EQ(nullptr, proposed) << ext;
    }
    for (const char *ext : {"jpe", "png", "jpgx"}) {
        const TGraphicClass *proposed = offered;
        f.SPIs1PictureRegister(nullptr, ext, "", proposed);
        EXPECT_EQ(offered, proposed) << ext;
    }
}

TEST_F(FormMainTest, ExitCommandsAndTheCloseBoxEndTheProgram)
{
    TFormMain &f = Create();
    EXPECT_FALSE(f.Terminated());
    f.close();
    EXPECT_TRUE(f.Terminated());
    form.reset();
    TFormMain &g = Create();
    g.Exit2->trigger();
    EXPECT_TRUE(g.Terminated());
}

TEST_F(FormMainTest, EditorAndAboutRunModallyFromTheMenus)
{
    int editors = 0, abouts = 0;
    windows.RunListEditor = [&](TFormMain &owner) {
        ++editors;
        EXPECT_FALSE(owner.isVisible()); // the main window hides while the editor runs
        owner.ShowMainWindow();
    };
    windows.RunAboutBox = [&](TFormMain &) { ++abouts; };
    TFormMain &f = Create();
    f.Button1->click();
    f.N3->trigger();
    f.N1->trigger();
    EXPECT_EQ(2, editors);
    EXPECT_EQ(1, abouts);
    EXPECT_TRUE(f.isVisible());
}

TEST_F(FormMainTest, PluginOptionLoadsAndUnloadsThePlugins)
{
    // The Susie folder of the registry holds two test readers; one of them also announces jpg.
    const std::string folder = home.File("susie");
    std::filesystem::create_directory(folder);
    const char *pluginDir = std::getenv("TAPISTO_TEST_PLUGIN_DIR");
    const std::string plugins = pluginDir ? pluginDir : "build/testplugins";
    for (const char *name : {"toy.spi", "jpe.spi"})
        std::filesystem::copy_file(plugins + "/" + name, folder + "/" + name);
    registry.WriteString(kSusiePluginKey, kSusiePluginValue, folder);
    const TGraphicClass *builtInJpeg = FindPictureClass("jpg");

    WriteSettings("[Main]\r\nOpSusie=0\r\n"); // switched off before
    TFormMain &f = Create();
    EXPECT_FALSE(f.OpSusie->isChecked());
    EXPECT_EQ(0, f.SPIs1->Count());
    f.OpSusie->trigger();
    EXPECT_TRUE(f.OpSusie->isChecked());
    EXPECT_TRUE(f.PluginsEnabled());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kOpSusie));
    EXPECT_EQ(2, f.SPIs1->Count());
    EXPECT_NE(nullptr, FindPictureClass("toy"));
    EXPECT_NE(builtInJpeg, FindPictureClass("jpe"));
    EXPECT_EQ(builtInJpeg, FindPictureClass("jpg")); // refused: stays with the built-in reader
    f.RefreshGroups();
    f.RefreshGroups();
    EXPECT_EQ(2, f.SPIs1->Count()); // each plug-in loads once
    f.OpSusie->trigger();
    EXPECT_EQ(0, f.SPIs1->Count());
    EXPECT_FALSE(f.PluginsEnabled());
    EXPECT_EQ("0", Settings::ReadValue(Settings::kOpSusie));
    EXPECT_TRUE(dialogs.messages.empty());
}
