// The control object and its client over a private bus daemon of their own, with a fake program.
#include "control/ControlAdaptor.h"
#include "control/ControlClient.h"
#include "control/ControlNames.h"
#include "control/ControlService.h"

#include "ChangeListener.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// The running program, as far as the bus sees it.
class FakeProgram : public ControlTarget {
public:
    std::string ControlNext() override
    {
        Run("Next");
        return skipped;
    }
    std::string ControlBack() override
    {
        Run("Back");
        return {};
    }
    void ControlPause() override { Run("Pause"); }
    void ControlResume() override { Run("Resume"); }
    void ControlShow() override { Run("Show"); }
    ControlStatus ControlStatusNow() const override { return status; }

    std::vector<std::string> calls;
    std::string refuse;         // the command refused, with refusal's text
    std::string fail;           // the command that fails
    std::exception_ptr failure; // what it fails with; a write error when null
    std::string reason = "一時停止中ではありません";
    std::string skipped; // what Next passed over
    ControlStatus status;

private:
    void Run(const std::string &name)
    {
        if (name == refuse)
            throw ECommandRefused(reason);
        if (name == fail && failure)
            std::rethrow_exception(failure);
        if (name == fail)
            throw EInOutError("壁紙を書き込めません");
        calls.push_back(name);
    }
};

// One bus daemon per test, so that names never leak from one test to the next.
class ControlBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (scripts/deps.sh installs it)";
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForStarted(5000));
        while (!daemon_.canReadLine())
            ASSERT_TRUE(daemon_.waitForReadyRead(5000)) << "the bus daemon gave no address";
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        static int serial = 0;
        const QString tag = QString::number(++serial);
        programBus =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("program") + tag));
        clientBus =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("client") + tag));
        ASSERT_TRUE(programBus->isConnected());
        ASSERT_TRUE(clientBus->isConnected());
    }

    void TearDown() override
    {
        if (programBus)
            QDBusConnection::disconnectFromBus(programBus->name());
        if (clientBus)
            QDBusConnection::disconnectFromBus(clientBus->name());
        daemon_.kill();
        daemon_.waitForFinished();
    }

    // A second connection to the same bus, as another process would have.
    QDBusConnection OtherConnection(const QString &name) { return QDBusConnection::connectToBus(address_, name); }

    // The client blocks on its call while this thread's loop lets the program answer.
    template <typename F> auto Answered(F call)
    {
        auto result = std::async(std::launch::async, call);
        while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return result.get();
    }

    ControlReply Call(const char *method)
    {
        return Answered([this, method] { return CallControl(QString::fromLatin1(method), *clientBus); });
    }

    std::unique_ptr<QDBusConnection> programBus, clientBus;
    FakeProgram program;

private:
    QProcess daemon_;
    QString address_;
};

} // namespace

TEST_F(ControlBusTest, EveryCommandReachesTheProgram)
{
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start()) << service.Error().toStdString();
    for (const char *method : {"Next", "Back", "Pause", "Resume", "Show"})
        EXPECT_EQ(ControlReply::Done, Call(method).result) << method;
    EXPECT_EQ((std::vector<std::string>{"Next", "Back", "Pause", "Resume", "Show"}), program.calls);
    // A method the object does not have is no command.
    const ControlReply unknown = Call("Quit");
    EXPECT_EQ(ControlReply::Failed, unknown.result);
    EXPECT_EQ(QStringLiteral("起動中の Tapisto は「Quit」に対応していません（別の版が動いています）"), unknown.error);
    // Next answers with the pictures it passed over, if any.
    EXPECT_EQ(QString(), Call("Next").text);
    program.skipped = "ファイル /p/gone.jpg は開けません";
    const ControlReply skipped = Call("Next");
    EXPECT_EQ(ControlReply::Done, skipped.result);
    EXPECT_EQ(QStringLiteral("ファイル /p/gone.jpg は開けません"), skipped.text);
}

TEST_F(ControlBusTest, AProgramThatDoesNotAnswerIsSaidSoInJapanese)
{
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start());
    // The program's loop is not run while the client waits: it hangs, as far as the client sees.
    const ControlReply reply = CallControl(QStringLiteral("Next"), *clientBus, 300);
    EXPECT_EQ(ControlReply::Failed, reply.result);
    EXPECT_EQ(QStringLiteral("起動中の Tapisto が 1 秒以内に応答しませんでした（処理中か、止まっています）"),
              reply.error);
}

TEST_F(ControlBusTest, ARefusalAndAFailureAnswerWithTheirReasons)
{
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start());
    program.refuse = "Resume";
    program.fail = "Next";
    const ControlReply refused = Call("Resume");
    EXPECT_EQ(ControlReply::Failed, refused.result);
    EXPECT_EQ(QStringLiteral("一時停止中ではありません"), refused.error);
    const ControlReply failed = Call("Next");
    EXPECT_EQ(ControlReply::Failed, failed.result);
    EXPECT_EQ(QStringLiteral("壁紙を書き込めません"), failed.error);
    EXPECT_TRUE(program.calls.empty());

    // The two are told apart by the error's name.
    const QDBusMessage raw = Answered([this] {
        return clientBus->call(
            QDBusMessage::createMethodCall(QLatin1String(kControlService), QLatin1String(kControlPath),
                                           QLatin1String(kControlInterface), QStringLiteral("Resume")));
    });
    EXPECT_EQ(QLatin1String(kControlErrorRefused), raw.errorName());
}

TEST_F(ControlBusTest, AnyFailureAnswersWithTheTextTheWindowWouldShow)
{
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start());
    program.fail = "Next";
    program.failure = std::make_exception_ptr(std::bad_alloc());
    EXPECT_EQ("メモリが不足しています。", Call("Next").error.toStdString());
    program.failure = std::make_exception_ptr(42);
    EXPECT_EQ("不明なエラーが発生しました。", Call("Next").error.toStdString());
}

TEST(ControlStatus, TheMapHasExactlyTheListedKeys)
{
    QStringList listed;
    for (const char *key : kControlStatusKeys)
        listed << QLatin1String(key);
    listed.sort();
    EXPECT_EQ(listed, StatusToMap(ControlStatus()).keys()); // QVariantMap's keys come sorted
}

TEST_F(ControlBusTest, StatusCarriesEveryFieldInUtf8)
{
    program.status.group = "風景.dat";
    program.status.state = ControlState::Paused;
    program.status.nextEntry = 2;
    program.status.picture = "/home/ユーザー/壁紙 1.jpg";
    program.status.secondsToNext = -1;
    program.status.desktop = "x11";
    program.status.readBack = "_XROOTPMAP_ID=0x1";
    program.status.lastError = "一行目\n二行目";
    program.status.monitors = "DP-1=1920x1080+0+0,DP-2=1280x1024+1920+0";
    program.status.pictures = "/a.jpg\n/b.jpg";
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start());
    const ControlReply reply = Call("Status");
    ASSERT_EQ(ControlReply::Done, reply.result);
    EXPECT_EQ("group: 風景.dat\n"
              "state: paused\n"
              "order: sequential\n"
              "next_entry: 2\n"
              "picture: /home/ユーザー/壁紙 1.jpg\n"
              "seconds_to_next: -1\n"
              "desktop: x11\n"
              "read_back: _XROOTPMAP_ID=0x1\n"
              "last_error: 一行目 二行目\n"
              "monitors: DP-1=1920x1080+0+0,DP-2=1280x1024+1920+0\n"
              "pictures: /a.jpg /b.jpg\n"
              "monitor_fallback: \n",
              FormatStatusLines(reply.status));

    const std::string json = FormatStatusJson(reply.status);
    EXPECT_EQ(1, std::count(json.begin(), json.end(), '\n')); // one line
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    EXPECT_EQ(QStringLiteral("風景.dat"), object.value(QStringLiteral("group")).toString());
    EXPECT_EQ(2, object.value(QStringLiteral("next_entry")).toInt());
    EXPECT_EQ(-1, object.value(QStringLiteral("seconds_to_next")).toInt());
    EXPECT_EQ(QStringLiteral("一行目\n二行目"), object.value(QStringLiteral("last_error")).toString());
    EXPECT_EQ(QStringLiteral("/a.jpg\n/b.jpg"), object.value(QStringLiteral("pictures")).toString());
}

TEST_F(ControlBusTest, NobodyAnswersWithoutTheProgram)
{
    EXPECT_EQ(ControlReply::NotRunning, Call("Status").result);
    EXPECT_EQ(ControlReply::NotRunning,
              CallControl(QStringLiteral("Next"), QDBusConnection(QStringLiteral("none"))).result);
    {
        ControlService service(program, *programBus);
        ASSERT_TRUE(service.Start());
        EXPECT_EQ(ControlReply::Done, Call("Status").result);
    }
    // Gone with the service: a later start may take it again.
    EXPECT_EQ(ControlReply::NotRunning, Call("Status").result);
    ControlService again(program, *programBus);
    EXPECT_TRUE(again.Start());
}

TEST_F(ControlBusTest, TheNameIsHeldByOneProgramOnly)
{
    ControlService first(program, *programBus);
    ASSERT_TRUE(first.Start());
    FakeProgram other;
    QDBusConnection otherBus = OtherConnection(QStringLiteral("other"));
    {
        ControlService second(other, otherBus);
        EXPECT_FALSE(second.Start());
        EXPECT_TRUE(second.Error().contains(QLatin1String(kControlService))) << second.Error().toStdString();
    }
    EXPECT_EQ(ControlReply::Done, Call("Next").result);
    EXPECT_EQ(1u, program.calls.size());
    EXPECT_TRUE(other.calls.empty());
    QDBusConnection::disconnectFromBus(otherBus.name());
}

TEST_F(ControlBusTest, ListenersHearOfEveryChange)
{
    ControlService service(program, *programBus);
    ASSERT_TRUE(service.Start());
    ChangeListener listener;
    ASSERT_TRUE(clientBus->connect(QLatin1String(kControlService), QLatin1String(kControlPath),
                                   QLatin1String(kControlInterface), QStringLiteral("Changed"), &listener,
                                   SLOT(Changed(QString, int))));
    // The match rule reaches the daemon before the signal is sent.
    EXPECT_EQ(ControlReply::Done, Call("Status").result);
    ASSERT_TRUE(program.OnChanged);
    program.OnChanged("/home/ユーザー/壁紙.bmp", 3);
    program.OnChanged("/p.bmp", 0);
    // processEvents returns at once when nothing is pending: wait by the clock, not by a count of
    // passes, so a loaded machine still gets the signals through.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (listener.heard.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(2u, listener.heard.size());
    EXPECT_EQ(QStringLiteral("/home/ユーザー/壁紙.bmp"), listener.heard[0].first);
    EXPECT_EQ(3, listener.heard[0].second);
    EXPECT_EQ(0, listener.heard[1].second);
}

TEST_F(ControlBusTest, TheProgramOutlivesItsService)
{
    {
        ControlService service(program, *programBus);
        EXPECT_TRUE(program.OnChanged);
    }
    // Nothing is left to call into the object that has gone.
    EXPECT_FALSE(program.OnChanged);
}
