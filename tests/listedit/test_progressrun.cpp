#include "listedit/ProgressRun.h"

#include "platform/Exceptions.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Work that runs until it is stopped (10 s at most), telling when it has ended.
ProgressRun::Work WorkUntilStopped(const std::shared_ptr<std::atomic<bool>> &ended)
{
    return [ended](ProgressRun::Control &control) {
        control.SetText(QStringLiteral("フォルダーを調べています…"));
        for (int i = 0; i < 2000 && !control.StopRequested(); ++i)
            std::this_thread::sleep_for(5ms);
        ended->store(true);
    };
}

// A stopped run leaves its worker to end on its own; the test waits for it.
void WaitUntilEnded(const std::atomic<bool> &ended)
{
    for (int i = 0; i < 500 && !ended.load(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(ended.load());
}

} // namespace

TEST(ProgressRun, QuickWorkEndsWithoutADialogAndItsErrorsAreRaised)
{
    QWidget owner;
    ProgressRun run(&owner, QStringLiteral("画像の追加"));
    int value = 0;
    EXPECT_TRUE(run.Run([&value](ProgressRun::Control &) { value = 42; }));
    EXPECT_EQ(42, value);
    EXPECT_EQ(nullptr, run.Dialog());

    ProgressRun failing(&owner, QStringLiteral("画像の追加"));
    EXPECT_THROW(failing.Run([](ProgressRun::Control &) { throw EInOutError("読めません"); }), EInOutError);
}

TEST(ProgressRun, LongWorkShowsItsProgressAndEscapeStopsIt)
{
    QWidget owner;
    owner.show();
    ProgressRun run(&owner, QStringLiteral("画像の追加"), 0ms);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    QString label, title, cancel;
    bool modal = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QProgressDialog *dialog = run.Dialog();
        if (dialog == nullptr || !dialog->isVisible() || !title.isEmpty())
            return;
        label = dialog->labelText();
        title = dialog->windowTitle();
        modal = dialog->isModal() || dialog->windowModality() != Qt::NonModal;
        if (auto *button = dialog->findChild<QPushButton *>())
            cancel = button->text();
        QApplication::setActiveWindow(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    watch.start();
    EXPECT_FALSE(run.Run(WorkUntilStopped(ended)));
    EXPECT_EQ(QStringLiteral("画像の追加"), title);
    EXPECT_EQ(QStringLiteral("フォルダーを調べています…"), label);
    EXPECT_EQ(QStringLiteral("中止"), cancel);
    EXPECT_TRUE(modal);
    EXPECT_EQ(nullptr, run.Dialog());
    WaitUntilEnded(*ended);
}

TEST(ProgressRun, TheWindowCanStopARunBeforeItsDialogShows)
{
    QWidget owner;
    ProgressRun run(&owner, QStringLiteral("画像の追加"), 10s);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    QTimer::singleShot(0, [&run] { run.Stop(); });
    EXPECT_FALSE(run.Run(WorkUntilStopped(ended)));
    EXPECT_EQ(nullptr, run.Dialog());
    WaitUntilEnded(*ended);
}
