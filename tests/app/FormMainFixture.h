#pragma once

#include "app/FormMain.h"
#include "app/SpinEdit.h"
#include "listedit/WallPaperList.h"
#include "platform/Registry.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/session/Autostart.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"
#include "schedule/Settings.h"
#include "shell/TrayIcon.h"
#include "shell/TrayShell.h"

#include "FakeAutostart.h"
#include "FakeDialogs.h"
#include "FakeTrayShell.h"
#include "MemoryRegistry.h"
#include "RecordingDesktop.h"
#include "TempHome.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Lets the changes asked for be made on the change thread, and then the reports they leave be shown.
inline void Settle(TFormMain &f)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (f.ChangeInProgress() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // every change ends with an event
    }
    EXPECT_FALSE(f.ChangeInProgress()) << "a change did not end";
    QCoreApplication::processEvents();
}

// Next or back as the bus asks for it: waits for the answer, returns the pictures passed over and
// raises the change's error (a refusal at once).
inline std::string Answered(TFormMain &f, void (TFormMain::*command)(ChangeAnswer))
{
    std::optional<std::pair<std::string, std::exception_ptr>> answer;
    (f.*command)(
        [&answer](const std::string &skipped, const std::exception_ptr &error) { answer.emplace(skipped, error); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!answer && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // every change ends with an event
    }
    if (!answer)
        throw Exception("no answer came");
    if (answer->second)
        std::rethrow_exception(answer->second);
    return answer->first;
}
inline std::string ControlNextAnswer(TFormMain &f)
{
    return Answered(f, &TFormMain::ControlNext);
}
inline std::string ControlBackAnswer(TFormMain &f)
{
    return Answered(f, &TFormMain::ControlBack);
}

// A main window in a fresh home folder with every platform service faked. Pictures "p<k>.bmp"
// are k + 1 pixels wide, so the output bitmap's width tells which entry was shown.
class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform.desktop = &desktop;
        platform.registry = &registry;
        platform.screen = &screen;
        platform.dialogs = &dialogs;
        platform.browser = &browser;
        platform.autostart = &autostart;
        platform.makeTrayShell = [this] {
            auto shell = std::make_unique<FakeTrayShell>();
            shell->refuseAdd = noNotificationArea;
            tray = shell.get();
            return std::unique_ptr<TrayShell>(std::move(shell));
        };
    }

    TFormMain &Create()
    {
        form = std::make_unique<TFormMain>(platform, windows, sessionDesktop);
        return *form;
    }

    // A group of `count` pictures, entry k being a (k + 1) x 2 bitmap shown without correction.
    void MakeGroup(const std::string &name, int count)
    {
        WallPaperList list;
        for (int k = 0; k < count; ++k) {
            const std::string picture = home.File("p" + std::to_string(k) + ".bmp");
            QImage image(k + 1, 2, QImage::Format_RGB888);
            image.fill(Qt::blue);
            image.save(QString::fromStdString(picture), "BMP");
            list.push_back({picture, std::string(kPositionTile), ""});
        }
        WriteWallPaperList(home.File(name), list);
    }

    // A window running the schedule on a group "g.dat" of `entries` pictures every ten seconds,
    // started as the run button starts it.
    TFormMain &CreateRunning(int entries)
    {
        MakeGroup("g.dat", entries);
        TFormMain &f = Create();
        f.ComboBox1->setEditText(QStringLiteral("g.dat"));
        f.SpinEdit1->SetText(QStringLiteral("0"));
        f.SpinEdit2->SetText(QStringLiteral("0"));
        f.SpinEdit3->SetText(QStringLiteral("10"));
        f.JikkoClick();
        return f;
    }

    void WriteSettings(const std::string &text) { WriteFileBytes(home.File("Tapisto.ini"), text); }

    // The entry number of the picture in the output bitmap, or -1 when there is none.
    int ShownEntry() const
    {
        QImage output(QString::fromStdString(form->WallPaperPath));
        return output.isNull() ? -1 : output.width() - 1;
    }

    std::string Tip() const { return Cp932ToUtf8(form->TrayIcon1->TipHelp()); }
    QString LastMessage() const { return dialogs.messages.empty() ? QString() : dialogs.messages.back().text; }

    TempHome home;
    RecordingDesktop desktop;
    MemoryRegistry registry;
    FixedScreenMetrics screen{1024, 768};
    FakeDialogs dialogs;
    FakeBrowser browser;
    FakeAutostart autostart;
    FakeTrayShell *tray = nullptr;
    Platform platform;
    FormMainWindows windows;
    DesktopKind sessionDesktop = DesktopKind::None;
    bool noNotificationArea = false; // the tray shell refuses every icon
    std::unique_ptr<TFormMain> form;
};
