#include "FakeTrayShell.h"
#include "TestApp.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "shell/QtTrayShell.h"
#include "shell/TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QStyleHints>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <new>

namespace {

using Op = FakeTrayShell::Op;

QIcon Square(Qt::GlobalColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

struct MouseRecord {
    TMouseButton button;
    TShiftState shift;
};

class TrayIconTest : public ::testing::Test {
protected:
    TrayIconTest()
    {
        EnsureApplication();
        // A short double-click time keeps the single-click wait short.
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(10);
        form = std::make_unique<QWidget>();
        icon = std::make_unique<TTrayIcon>(form.get(), shell);
        icon->OnMouseDown = [this](QObject *, TMouseButton b, TShiftState s, int, int) { downs.push_back({b, s}); };
        icon->OnClick = [this](QObject *sender) {
            EXPECT_EQ(sender, icon.get());
            ++clicks;
        };
        icon->OnDblClick = [this](QObject *) { ++doubleClicks; };
    }

    void ShowIcon()
    {
        icon->SetIcon(Square(Qt::red));
        icon->SetVisible(true);
        shell.calls.clear();
    }

    // Lets the single-click wait (double-click time + 50 ms) run out.
    void WaitOutClick() { QTest::qWait(150); }

    FakeTrayShell shell;
    std::unique_ptr<QWidget> form;
    std::unique_ptr<TTrayIcon> icon;
    std::vector<MouseRecord> downs;
    int clicks = 0;
    int doubleClicks = 0;
};

TEST_F(TrayIconTest, IdentifiersFollowTheLastIconAndStopAtAHundred)
{
    auto second = std::make_unique<TTrayIcon>(form.get(), shell);
    auto third = std::make_unique<TTrayIcon>(form.get(), shell);
    EXPECT_EQ(second->IconId(), icon->IconId() + 1);
    second.reset();
    // Not reused while a later icon exists.
    TTrayIcon fourth(form.get(), shell);
    EXPECT_EQ(fourth.IconId(), third->IconId() + 1);
    third.reset();

    std::vector<std::unique_ptr<TTrayIcon>> more;
    while (IconRegistry::Count() < IconRegistry::MaxIcons)
        more.push_back(std::make_unique<TTrayIcon>(form.get(), shell));
    try {
        TTrayIcon tooMany(form.get(), shell);
        FAIL() << "the 101st icon was created";
    } catch (const EOutOfMemory &error) {
        EXPECT_EQ(error.Message(), "タスクトレイにアイコンを登録できません。");
    }
    EXPECT_EQ(IconRegistry::Count(), IconRegistry::MaxIcons);
    more.pop_back();
    EXPECT_NO_THROW(TTrayIcon(form.get(), shell));
}

TEST_F(TrayIconTest, VisibleNeedsAnIconAndAddsAndDeletes)
{
    EXPECT_EQ(icon->TipHelp(), "TipHelp");
    icon->SetVisible(true);
    EXPECT_FALSE(icon->Visible());
    EXPECT_TRUE(shell.calls.empty());

    icon->SetIcon(Square(Qt::red));
    icon->SetVisible(true);
    ASSERT_EQ(shell.calls.size(), 1u);
    const NotifyRecord &added = shell.calls[0].record;
    EXPECT_EQ(shell.calls[0].op, Op::Add);
    EXPECT_EQ(added.IconId, icon->IconId());
    EXPECT_EQ(added.CallbackMessage, 1224u);
    EXPECT_EQ(added.Flags, 7u);
    EXPECT_EQ(added.Tip, "TipHelp");
    EXPECT_NE(added.Window, nullptr);
    EXPECT_TRUE(icon->Registered());

    icon->SetVisible(false);
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1].op, Op::Delete);
    EXPECT_FALSE(icon->Registered());
}

TEST_F(TrayIconTest, TipIsCutTo62BytesAndSentOnlyWhenChanged)
{
    ShowIcon();
    icon->SetTipHelp(std::string(70, 'a'));
    EXPECT_EQ(icon->TipHelp(), std::string(62, 'a'));
    ASSERT_EQ(shell.Count(Op::Modify), 1u);
    EXPECT_EQ(shell.calls.back().record.Tip, std::string(62, 'a'));
    icon->SetTipHelp(std::string(70, 'a'));
    EXPECT_EQ(shell.Count(Op::Modify), 1u);

    // 61 single bytes and a double-byte character: the cut falls inside it.
    const std::string kanji = Utf8ToCp932("壁");
    icon->SetTipHelp(std::string(61, 'b') + kanji);
    EXPECT_EQ(icon->TipHelp(), std::string(61, 'b') + kanji[0]);

    icon->SetTipHelp("");
    EXPECT_EQ(shell.calls.back().record.Flags, 3u);
}

TEST_F(TrayIconTest, ChangesWhileHiddenReachNoShell)
{
    icon->SetTipHelp(Utf8ToCp932("壁紙変更中"));
    icon->SetIcon(Square(Qt::blue));
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(TrayIconTest, RefusedAddLeavesTheIconHiddenSoTheNextShowTriesAgain)
{
    icon->SetIcon(Square(Qt::red));
    shell.refuseAdd = true;
    try {
        icon->SetVisible(true);
        FAIL() << "no error";
    } catch (const EOutOfMemory &error) {
        EXPECT_EQ(error.Message(), "タスクトレイにアイコンを登録できません。");
    }
    // No icon in the notification area, so none is claimed.
    EXPECT_FALSE(icon->Visible());
    EXPECT_FALSE(icon->Registered());
    EXPECT_THROW(icon->SetVisible(true), EOutOfMemory); // asked again, refused again
    EXPECT_EQ(shell.Count(Op::Add), 2u);
    icon->SetVisible(false);
    EXPECT_EQ(shell.Count(Op::Delete), 0u);
    shell.refuseAdd = false; // a tray host has appeared meanwhile
    icon->SetVisible(true);
    EXPECT_TRUE(icon->Visible());
    EXPECT_TRUE(icon->Registered());
}

TEST_F(TrayIconTest, RefusedModifyRaises)
{
    ShowIcon();
    shell.refuseModify = true;
    EXPECT_THROW(icon->SetTipHelp("new"), EOutOfMemory);
    EXPECT_THROW(icon->SetIcon(Square(Qt::blue)), EOutOfMemory);
}

TEST_F(TrayIconTest, IconChangesModifyAndAnEmptyIconHides)
{
    ShowIcon();
    icon->SetIcon(icon->Icon());
    EXPECT_TRUE(shell.calls.empty());
    icon->SetIcon(Square(Qt::blue));
    ASSERT_EQ(shell.Count(Op::Modify), 1u);
    EXPECT_EQ(shell.calls.back().record.Icon.pixmap(16).toImage().pixelColor(0, 0), QColor(Qt::blue));

    shell.calls.clear();
    icon->SetIcon(QIcon());
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, Op::Delete);
    EXPECT_FALSE(icon->Visible());
    EXPECT_TRUE(icon->Icon().isNull());
}

TEST_F(TrayIconTest, DestroyingAVisibleIconDeletesItAndForgetsItsId)
{
    ShowIcon();
    const uint32_t id = icon->IconId();
    icon.reset();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].op, Op::Delete);
    EXPECT_EQ(shell.calls[0].record.IconId, id);
    EXPECT_EQ(IconRegistry::Find(id), nullptr);
    shell.Inject(id, TrayMessage::LButtonDown); // ignored, no crash
}

TEST_F(TrayIconTest, LoadingDefersTheAddUntilLoaded)
{
    icon->BeginLoading();
    icon->SetIcon(Square(Qt::red));
    icon->SetVisible(true);
    EXPECT_TRUE(shell.calls.empty());
    icon->Loaded();
    EXPECT_EQ(shell.Count(Op::Add), 1u);
    icon->Loaded();
    EXPECT_EQ(shell.Count(Op::Add), 1u);
}

TEST_F(TrayIconTest, PlainProperties)
{
    icon->SetAnimateRate(20);
    EXPECT_EQ(icon->AnimateRate(), 100);
    icon->SetAnimateRate(250);
    EXPECT_EQ(icon->AnimateRate(), 250);

    auto frames = std::make_unique<TrayIconFrames>();
    auto menu = std::make_unique<QMenu>();
    icon->SetAnimateIcons(frames.get());
    icon->SetLBPopupMenu(menu.get());
    icon->SetRBPopupMenu(menu.get());
    frames.reset();
    menu.reset();
    EXPECT_EQ(icon->AnimateIcons(), nullptr);
    EXPECT_EQ(icon->LBPopupMenu(), nullptr);
    EXPECT_EQ(icon->RBPopupMenu(), nullptr);
}

TEST_F(TrayIconTest, RightPressOpensTheMenuAtTheCursorInsteadOfMouseDown)
{
    ShowIcon();
    QMenu menu;
    menu.addAction(QStringLiteral("設定"));
    icon->SetRBPopupMenu(&menu);
    std::vector<MouseRecord> ups;
    icon->OnMouseUp = [&](QObject *, TMouseButton b, TShiftState s, int, int) { ups.push_back({b, s}); };

    shell.Inject(icon->IconId(), TrayMessage::RButtonDown);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(menu.geometry().contains(QCursor::pos()) || menu.pos() == QCursor::pos());
    EXPECT_TRUE(downs.empty());
    shell.Inject(icon->IconId(), TrayMessage::RButtonUp);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].button, TMouseButton::mbRight);
    EXPECT_EQ(ups[0].shift, Shift::Right);
    menu.hide();

    icon->SetAutoPopup(false);
    shell.Inject(icon->IconId(), TrayMessage::RButtonDown);
    EXPECT_FALSE(menu.isVisible());
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].button, TMouseButton::mbRight);
}

TEST_F(TrayIconTest, TheRightMenuIsHandedToTheShellOnlyWhileItWouldPopUp)
{
    ShowIcon();
    QMenu menu;
    icon->SetRBPopupMenu(&menu);
    ASSERT_EQ(shell.Count(Op::Modify), 1u);
    EXPECT_EQ(shell.calls.back().record.ContextMenu, &menu);
    icon->SetEnabled(false);
    EXPECT_EQ(shell.calls.back().record.ContextMenu, nullptr);
    icon->SetEnabled(true);
    icon->SetAutoPopup(false);
    EXPECT_EQ(shell.calls.back().record.ContextMenu, nullptr);
    EXPECT_EQ(shell.Count(Op::Modify), 4u);
}

TEST_F(TrayIconTest, MiddleAndMoveAndUnknownMessages)
{
    ShowIcon();
    QMenu menu;
    icon->SetLBPopupMenu(&menu);
    icon->SetRBPopupMenu(&menu);
    int moves = 0;
    icon->OnMouseMove = [&](QObject *, TShiftState shift, int, int) {
        EXPECT_EQ(shift, 0);
        ++moves;
    };
    shell.Inject(icon->IconId(), TrayMessage::MouseMove);
    shell.Inject(icon->IconId(), TrayMessage::MButtonDown);
    shell.Inject(icon->IconId(), TrayMessage::RButtonDblClk);
    shell.Inject(icon->IconId(), 0x0400);
    shell.Inject(icon->IconId() + 50, TrayMessage::MButtonDown);
    EXPECT_EQ(moves, 1);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].button, TMouseButton::mbMiddle);
    EXPECT_EQ(downs[0].shift, Shift::Middle);
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(TrayIconTest, SingleClickComesAfterTheWaitAndDoubleClickAlone)
{
    ShowIcon();
    shell.Click(icon->IconId());
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(icon->ClickPending());
    WaitOutClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(icon->ClickPending());
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].button, TMouseButton::mbLeft);

    shell.DoubleClick(icon->IconId());
    WaitOutClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(TrayIconTest, WithoutOnClickNothingWaits)
{
    ShowIcon();
    icon->OnClick = nullptr;
    shell.Click(icon->IconId());
    EXPECT_FALSE(icon->ClickPending());
    shell.DoubleClick(icon->IconId());
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(icon->ClickPending());
}

TEST_F(TrayIconTest, OnMouseUpSuppressesClicks)
{
    ShowIcon();
    int ups = 0;
    icon->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) { ++ups; };
    shell.Click(icon->IconId());
    WaitOutClick();
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(clicks, 0);
}

TEST_F(TrayIconTest, DisabledIgnoresEverythingAndCancelsAWaitingClick)
{
    ShowIcon();
    QMenu menu;
    icon->SetRBPopupMenu(&menu);
    shell.Click(icon->IconId());
    icon->SetEnabled(false);
    EXPECT_FALSE(icon->ClickPending());
    shell.DoubleClick(icon->IconId());
    shell.Inject(icon->IconId(), TrayMessage::RButtonDown);
    shell.Inject(icon->IconId(), TrayMessage::MButtonDown);
    WaitOutClick();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(doubleClicks, 0);
    EXPECT_EQ(downs.size(), 1u); // the left press before disabling
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(TrayIconTest, AnotherIconInBetweenDoesNotTakeTheClick)
{
    ShowIcon();
    TTrayIcon other(form.get(), shell);
    int otherClicks = 0;
    other.OnClick = [&](QObject *) { ++otherClicks; };
    shell.Click(icon->IconId());
    shell.Inject(other.IconId(), TrayMessage::MouseMove);
    EXPECT_EQ(CallbackWindow::Instance(nullptr)->CurrentIcon(), &other);
    WaitOutClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(otherClicks, 0);
    EXPECT_FALSE(icon->ClickPending());
}

TEST_F(TrayIconTest, AnErrorInTheDelayedClickIsReported)
{
    ShowIcon();
    icon->OnClick = [](QObject *) { throw EInOutError("disk full"); };
    shell.Click(icon->IconId());
    WaitOutClick();
    ASSERT_EQ(shell.errors.size(), 1u);
    EXPECT_EQ(shell.errors[0], "disk full");
    EXPECT_FALSE(icon->ClickPending());
}

TEST_F(TrayIconTest, ErrorsOfEveryKindInTheDelayedClickAreReportedInJapanese)
{
    ShowIcon();
    icon->OnClick = [](QObject *) { throw 42; }; // not even a std::exception
    shell.Click(icon->IconId());
    WaitOutClick();
    icon->OnClick = [](QObject *) { throw std::bad_alloc(); };
    shell.Click(icon->IconId());
    WaitOutClick();
    ASSERT_EQ(shell.errors.size(), 2u);
    EXPECT_EQ(shell.errors[0], "不明なエラーが発生しました。");
    EXPECT_EQ(shell.errors[1], "メモリが不足しています。");
}

TEST(QtTrayShellTest, WithoutANotificationAreaTheIconIsRefused)
{
    EnsureApplication();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // the offscreen platform has none
    QtTrayShell shell;
    QWidget form;
    TTrayIcon icon(&form, shell);
    icon.SetIcon(Square(Qt::red));
    EXPECT_THROW(icon.SetVisible(true), EOutOfMemory);
    EXPECT_FALSE(icon.Registered());
}

} // namespace
