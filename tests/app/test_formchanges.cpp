// The main window while a change of wallpaper is being made: the window, the tray and the bus go on
// being served, the changes asked for meanwhile come one after the other, and ticks, a pause and the
// exit commands keep their meaning.
#include "FormMainFixture.h"

#include "app/ChangeWorker.h"
#include "app/Timer.h"
#include "platform/ui/ErrorReport.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool OnWindowThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Holds each wallpaper it is told to show, while `hold` is set, until the test lets it go: a hanging
// plug-in or a slow desktop holds a change so. It gives up by itself after a while, so that a change
// made on the window thread, which the test cannot let go, fails the test instead of hanging it.
class HeldDesktop : public RecordingDesktop {
public:
    void setWallpaper(const std::string &path, TileMode tile) override
    {
        {
            std::unique_lock lock(mutex_);
            onWindowThread = onWindowThread || OnWindowThread();
            if (hold) {
                ++held_;
                changed_.notify_all();
                if (changed_.wait_for(lock, 3s, [this] { return releases_ > 0; }))
                    --releases_;
                else
                    gaveUp = true;
                --held_;
            }
        }
        RecordingDesktop::setWallpaper(path, tile);
    }
    // Whether a change is held here now.
    bool Holding()
    {
        const std::lock_guard lock(mutex_);
        return held_ > 0 && releases_ == 0;
    }
    // Lets `count` held changes (now or to come) go on.
    void Release(int count = 1)
    {
        const std::lock_guard lock(mutex_);
        releases_ += count;
        changed_.notify_all();
    }

    std::atomic<bool> hold = false;
    bool gaveUp = false;         // a change was held for good: the window thread was the one waiting
    bool onWindowThread = false; // a change reached the desktop on the window thread

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int held_ = 0;
    int releases_ = 0;
};

// A screen whose size the test changes, and that notes being asked from another thread than the
// window's (where Qt's screens may not be read).
class WatchedScreen : public ScreenMetrics {
public:
    int ScreenWidth() override { return Asked(), width; }
    int ScreenHeight() override { return Asked(), height; }
    MonitorLayout Monitors() override { return Asked(), MonitorLayout{Monitor{{}, 0, 0, width, height}}; }

    int width = 1024;
    int height = 768;
    std::atomic<bool> askedOffTheWindowThread = false;

private:
    void Asked()
    {
        if (!OnWindowThread())
            askedOffTheWindowThread = true;
    }
};

// Counts a widget's paint events.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Serves the window thread's events, without waiting for any, until `ready` holds or 5 s have passed.
bool ServeUntil(const std::function<bool()> &ready)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!ready() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return ready();
}

class FormChangesTest : public FormMainTest {
protected:
    void SetUp() override
    {
        FormMainTest::SetUp();
        platform.desktop = &held;
        platform.screen = &watchedScreen;
    }
    void TearDown() override
    {
        held.hold = false;
        held.Release(100); // nothing stays held for the window's end
        form.reset();
        EXPECT_FALSE(held.gaveUp) << "a change was made on the window thread";
        EXPECT_FALSE(held.onWindowThread);
        EXPECT_FALSE(watchedScreen.askedOffTheWindowThread);
    }
    // The output bitmap of a change held at the desktop is written already: the desktop's calls tell
    // which changes went through.
    size_t Changes() const { return held.calls.size(); }

    HeldDesktop held;
    WatchedScreen watchedScreen;
};

// An answer to next or back from the bus, once it comes.
struct BusAnswer {
    bool came = false;
    std::string skipped;
    std::exception_ptr error;
    ChangeAnswer Callback()
    {
        return [this](const std::string &passedOver, const std::exception_ptr &failure) {
            came = true;
            skipped = passedOver;
            error = failure;
        };
    }
};

} // namespace

TEST_F(FormChangesTest, WhileAChangeIsMadeTheWindowRepaintsAndTheStatusAnswers)
{
    TFormMain &f = CreateRunning(3);
    f.Timer1->OnTimer(); // entry 0
    Settle(f);
    held.hold = true;
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));

    f.show();
    PaintCounter counter;
    f.centralWidget()->installEventFilter(&counter);
    bool served = false;
    QMetaObject::invokeMethod(
        &f, [&served] { served = true; }, Qt::QueuedConnection);
    f.centralWidget()->update();
    EXPECT_TRUE(ServeUntil([&] { return served && counter.paints > 0; }));

    ControlStatus status = f.ControlStatusNow();
    EXPECT_TRUE(status.changing);
    EXPECT_EQ(ControlState::Running, status.state);
    EXPECT_EQ(home.File("p0.bmp"), status.picture); // the change under way is not there yet
    EXPECT_EQ(1, status.nextEntry);

    held.Release();
    Settle(f);
    status = f.ControlStatusNow();
    EXPECT_FALSE(status.changing);
    EXPECT_EQ(home.File("p1.bmp"), status.picture);
    EXPECT_EQ(2, status.nextEntry);
    EXPECT_EQ(2u, Changes());
}

TEST_F(FormChangesTest, TwoNextsMakeTwoChangesInOrderEachAnsweredAtItsEnd)
{
    TFormMain &f = CreateRunning(3);
    std::vector<int32_t> entries;
    f.OnChanged = [&entries](const std::string &, int32_t entry) { entries.push_back(entry); };
    held.hold = true;
    f.N11->trigger(); // 次へ from the menu
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    BusAnswer second, third;
    f.ControlNext(second.Callback()); // and twice from a key binding
    f.ControlNext(third.Callback());
    EXPECT_TRUE(f.ChangeInProgress());
    EXPECT_FALSE(second.came);

    held.Release();
    ASSERT_TRUE(ServeUntil([&] { return entries.size() == 1; }));
    // The second change is under way; its caller waits on.
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    EXPECT_FALSE(second.came);
    held.Release();
    ASSERT_TRUE(ServeUntil([&] { return second.came; }));
    EXPECT_FALSE(second.error);
    EXPECT_EQ("", second.skipped);
    EXPECT_FALSE(third.came);
    held.Release();
    Settle(f);
    ASSERT_TRUE(third.came);
    EXPECT_FALSE(third.error);

    EXPECT_EQ((std::vector<int32_t>{0, 1, 2}), entries);
    EXPECT_EQ(2, ShownEntry());
    EXPECT_EQ("0", Settings::ReadUseIndexText());
    EXPECT_EQ(3u, Changes());
}

TEST_F(FormChangesTest, ATickDuringAChangeMakesNoSecondOne)
{
    TFormMain &f = CreateRunning(3);
    held.hold = true;
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    f.Timer1->OnTimer();
    f.Timer1->OnTimer();
    held.Release(3);
    Settle(f);
    EXPECT_EQ(1u, Changes());
    EXPECT_EQ(0, ShownEntry());
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    // The next timed change comes a full interval after the manual one.
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_GT(f.Timer1->RemainingMilliseconds(), 5000);
}

TEST_F(FormChangesTest, APauseDuringAChangeHoldsAfterItAndAResumeRuns)
{
    TFormMain &f = CreateRunning(3);
    held.hold = true;
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    f.ControlPause();
    EXPECT_TRUE(f.ControlStatusNow().changing);
    held.Release();
    Settle(f);
    EXPECT_EQ(0, ShownEntry());
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_EQ("壁紙変更停止中", Tip());
    EXPECT_EQ(ControlState::Paused, f.ControlStatusNow().state);
    EXPECT_EQ(-1, f.ControlStatusNow().secondsToNext);

    // Paused, next changes; a resume during it brings the timed changes back.
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    f.N6->trigger();
    held.Release();
    Settle(f);
    EXPECT_EQ(1, ShownEntry());
    EXPECT_TRUE(f.Timer1->Running());
    EXPECT_EQ("壁紙変更中", Tip());
}

TEST_F(FormChangesTest, ExitDuringAChangeLetsItEndAndRefusesTheOnesWaiting)
{
    TFormMain &f = CreateRunning(3);
    held.hold = true;
    BusAnswer running, waiting, late;
    f.ControlNext(running.Callback());
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    f.ControlNext(waiting.Callback());

    f.Exit2->trigger();
    EXPECT_TRUE(f.Terminated());
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(tray->shown); // gone from the screen while the program waits for the change
    ASSERT_TRUE(waiting.came);
    ASSERT_TRUE(waiting.error);
    EXPECT_EQ("Tapisto を終了するため、壁紙は変更しませんでした", ErrorText(waiting.error).toStdString());
    f.ControlNext(late.Callback());
    EXPECT_TRUE(late.came);
    f.Timer1->OnTimer();
    EXPECT_FALSE(running.came);

    // The program's end waits for the change under way, which ends whole and is answered.
    std::thread letGo([this] {
        std::this_thread::sleep_for(100ms);
        held.Release();
    });
    form.reset();
    letGo.join();
    EXPECT_TRUE(running.came);
    EXPECT_FALSE(running.error);
    EXPECT_EQ(1u, Changes());
    EXPECT_EQ("1", Settings::ReadUseIndexText());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FormChangesTest, TheEditorsChangeWaitsServingTheWindowWithABusyCursor)
{
    MakeGroup("g.dat", 1);
    TFormMain &f = Create();
    held.hold = true;
    bool busyCursor = false, changing = false;
    // A timer's event, as the bus's, is served while the editor waits; the user's clicks are not.
    QTimer::singleShot(50, &f, [&] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        busyCursor = cursor != nullptr && cursor->shape() == Qt::BusyCursor;
        changing = f.ControlStatusNow().changing;
        held.Release();
    });
    f.ApplyWallPaper(home.File("p0.bmp"), TileMode::Tile, -1);
    EXPECT_TRUE(busyCursor);
    EXPECT_TRUE(changing);
    EXPECT_EQ(nullptr, QGuiApplication::overrideCursor());
    EXPECT_EQ(0, ShownEntry());
    ASSERT_EQ(1u, Changes());
    EXPECT_EQ(1, held.calls[0].tileValue);

    // Its failure comes back to the editor.
    held.hold = false;
    held.fail = true;
    EXPECT_THROW(f.ApplyWallPaper(home.File("p0.bmp"), TileMode::Centre, -1), Exception);
    EXPECT_FALSE(f.ChangeInProgress());
}

TEST_F(FormChangesTest, OptionsChosenDuringAChangeWaitForItsEnd)
{
    TFormMain &f = CreateRunning(2);
    held.hold = true;
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    QTimer::singleShot(50, &f, [this] { held.Release(); });
    f.op1->trigger(); // the change holds the settings file's lock: the mark waits for its end
    EXPECT_FALSE(f.ChangeInProgress());
    EXPECT_EQ(1u, Changes());
    EXPECT_TRUE(f.op1->isChecked());
    EXPECT_EQ("1", Settings::ReadValue(Settings::kOp1Checked));
    EXPECT_EQ("1", Settings::ReadUseIndexText());
}

TEST_F(FormChangesTest, NewMonitorsDuringAChangeAreRenderedForOnceAfterIt)
{
    TFormMain &f = CreateRunning(2);
    held.hold = true;
    f.N11->trigger();
    ASSERT_TRUE(ServeUntil([this] { return held.Holding(); }));
    watchedScreen.width = 800;
    watchedScreen.height = 600;
    f.MonitorsChanged();
    f.MonitorsChanged();
    held.hold = false;
    held.Release();
    Settle(f);
    // The change made for the screen it began with, then once again for the new one.
    ASSERT_EQ(2u, Changes());
    EXPECT_EQ("800x600+0+0", f.ControlStatusNow().monitors);
    EXPECT_EQ(home.File("p0.bmp"), f.ControlStatusNow().picture);
    EXPECT_EQ("1", Settings::ReadUseIndexText());
}

TEST(ChangeWorkerTest, TheEndWaitsForAJobWithinItsPatienceAndCutsOffOneThatHangs)
{
    ChangeWorker worker;
    // A job that ends by itself within the patience is not cut off.
    std::atomic<bool> cut = false;
    std::exception_ptr failure;
    bool done = false;
    worker.Start([] { std::this_thread::sleep_for(50ms); },
                 [&](const std::exception_ptr &error) {
                     done = true;
                     failure = error;
                 });
    worker.FinishNow(5s, [&cut] { cut = true; });
    EXPECT_TRUE(done);
    EXPECT_FALSE(failure);
    EXPECT_FALSE(cut);
    EXPECT_FALSE(worker.Busy());

    // One that hangs until it is cut off ends with the error the cut-off causes, and its Done comes.
    done = false;
    std::atomic<bool> began = false;
    worker.Start(
        [&] {
            began = true;
            while (!cut)
                std::this_thread::sleep_for(1ms);
            throw Exception("切断されました");
        },
        [&](const std::exception_ptr &error) {
            done = true;
            failure = error;
        });
    while (!began)
        std::this_thread::sleep_for(1ms);
    worker.FinishNow(100ms, [&cut] { cut = true; });
    EXPECT_TRUE(cut);
    ASSERT_TRUE(done);
    ASSERT_TRUE(failure);
    EXPECT_EQ("切断されました", ErrorText(failure).toStdString());
    EXPECT_FALSE(worker.Busy());
}
