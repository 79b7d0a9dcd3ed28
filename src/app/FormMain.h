#pragma once

#include "app/ScreenAtChange.h"
#include "control/ControlTarget.h"
#include "listedit/ListEditorHost.h"
#include "platform/desktop/DesktopDetect.h"
#include "platform/session/Platform.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/WallPaperChanger.h"

#include <QIcon>
#include <QMainWindow>

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class ChangeWorker;
class TAnimateWindow;
class TReportBox;
class TFormMain;
struct TGraphicClass;
class TSPIs;
class TInSPI;
class TSpinEdit;
class TTimer;
class TTrayIcon;
class TrayShell;

// The windows that the main window opens modally; main supplies them, tests may replace them.
struct FormMainWindows {
    // The list editor: runs modally and returns when it is closed.
    std::function<void(TFormMain &owner)> RunListEditor;
    // The About box: runs modally.
    std::function<void(TFormMain &owner)> RunAboutBox;
};

// The main window and controller: group and interval selection, the change schedule with its tray
// menu, the options, and the rendering of one picture as the wallpaper. Settings are read from
// Tapisto.ini at every use; nothing is cached.
//
// Every change of wallpaper is made on the change thread (ChangeWorker), one at a time, in the order
// asked for; the window thread starts it and takes its result, and serves its windows, the tray and
// the bus meanwhile. changer_ and schedule_ belong to the change thread while a change runs, and to
// the window thread otherwise.
class TFormMain : public QMainWindow, public ListEditorHost, public ControlTarget {
    // First, as the rest is built on them: the services, and the one change object that the
    // schedule and ApplyWallPaper both go through.
    Platform platform_;
    FormMainWindows windows_;
    ScreenAtChange screenAtChange_; // the screen the running change renders for
    WallPaperChanger changer_;
    ChangeSchedule schedule_;

public:
    // Builds the window hidden and runs FormCreate, which decides between the window and the tray.
    // The session's desktop chooses the advice given when it has no notification area.
    TFormMain(Platform platform, FormMainWindows windows, DesktopKind sessionDesktop = DesktopKind::None);
    ~TFormMain() override;

    // ListEditorHost. ApplyWallPaper returns once the change has been made, serving the window
    // thread's events, but not user input, meanwhile.
    void ApplyWallPaper(const std::string &picturePath, TileMode tileValue, int32_t correction) override;
    void RefreshGroups() override;
    void ShowMainWindow() override;
    bool PluginsEnabled() const override;

    // ControlTarget (FormMainControl.cpp): the tray commands for the session bus.
    void ControlNext(ChangeAnswer answer) override;
    void ControlBack(ChangeAnswer answer) override;
    void ControlPause() override;
    void ControlResume() override;
    void ControlShow() override;
    ControlStatus ControlStatusNow() const override;

    // The schedule's operations (their failures leave as exceptions). NextWallPaper runs on the change
    // thread.
    void NextWallPaper();
    void SetStartupLink(const std::string &folder, const std::string &programPath, bool create, int32_t folderId,
                        const std::string &linkName);

    // Event handlers; each runs inside the general error report when a user or the timer triggers it.
    void FormCreate();
    void Button1Click();
    void ButtonTermClick();
    void Exit1Click();
    void Exit2Click();
    void N8Click();
    void TrayIcon1DblClick();
    void N1Click();
    void JikkoClick();
    void Timer1Timer();
    void N5Click();
    void N6Click();
    void N10Click();
    void N11Click();
    void op1Click();
    void op2Click();
    void op3Click();
    void OpSusieClick();
    void Windows1Click();
    void OpNoRepeatClick();
    void OpPerMonitorClick();
    // The session's monitors changed: the pictures on screen are rendered again for them.
    void MonitorsChanged();
    // Refuses JPEG extensions so that those files stay with the built-in decoder.
    void SPIs1PictureRegister(TInSPI *plugin, const std::string &extension, const std::string &description,
                              const TGraphicClass *&graphicClass);

    int32_t CurrentIndex() const { return schedule_.CurrentIndex; }
    void SetCurrentIndex(int32_t index) { schedule_.CurrentIndex = index; }
    std::string &WallPaperPath = changer_.OutputPath; // CP932
    // Whether an exit command asked the program to end.
    bool Terminated() const { return terminated_; }
    // Whether a change of wallpaper is being made or waits for its turn.
    bool ChangeInProgress() const;
    // The group names of ComboBox1's items, as found on disk (CP932).
    const std::vector<std::string> &GroupNames() const { return groupNames_; }
    const Platform &GetPlatform() const { return platform_; }

    // Controls and components, named as the layout names them.
    QLabel *Label1, *Label2, *Label4, *Label5, *Label6;
    QComboBox *ComboBox1;
    QPushButton *Button1, *Jikko, *ButtonTerm;
    TSpinEdit *SpinEdit1, *SpinEdit2, *SpinEdit3;
    QStatusBar *StatusBar1;
    QLineEdit *Edit1;
    QAction *R1, *Exit1, *N3, *op1, *op2, *op3, *OpSusie, *Windows1, *N1;
    QAction *OpNoRepeat;   // random order without repeats
    QAction *OpPerMonitor; // each monitor its own picture
    QMenu *PopupMenu1;
    QAction *N8, *Exit2, *N6, *N5, *N10, *N11;
    TTrayIcon *TrayIcon1 = nullptr;
    TTimer *Timer1;
    std::unique_ptr<TSPIs> SPIs1;
    TAnimateWindow *AnimateWindow1 = nullptr;
    QTimer *TrayAreaWatch; // runs while the schedule runs without a notification area

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildComponents();
    // Runs a handler inside the general error report; returns whether it ran to its end.
    bool Guard(void (TFormMain::*handler)());
    // Connects a check item so that the handler sees the mark as it was before the click.
    void ConnectCheckItem(QAction *item, void (TFormMain::*handler)());
    // Back to the Window state after a start that failed half-way.
    void EnterWindowState();
    // Shows the tray icon and hides the window. Without a notification area the window is
    // minimized instead, as the only way back in, and the user is told why (once per run).
    void EnterRunningState();
    // Adds the tray icon once a notification area has turned up, and puts the window away if it
    // stood in minimized. Returns whether there is nothing more to wait for.
    bool TrayAreaAppeared();
    // With no group at all, the status bar says what to do first.
    void ShowFirstStep();
    // What a change does on the change thread.
    enum class ChangeKind {
        Timed,    // a tick's: unless Scr says not to
        Next,     // 次へ
        Back,     // 戻る
        Monitors, // the pictures on screen again, for the monitors as they are now
    };
    struct QueuedChange {
        ChangeKind kind = ChangeKind::Next;
        ChangeAnswer answer; // the bus caller waiting for it, if any
    };
    // Adds a change to the ones waiting for their turn and starts it when none runs. After 終了 there
    // is none: a bus caller is told so.
    void QueueChange(QueuedChange change);
    // Starts the change whose turn it is, unless one runs.
    void StartNextChange();
    // Starts `job` on the change thread for the screen as it is now; `done` follows on the window
    // thread, and then the next change waiting.
    void BeginChange(std::function<void()> job, std::function<void(const std::exception_ptr &)> done);
    // The end of a queued change: what the control interface and the tip keep, the bus caller's answer,
    // the report of a failure. After next and back, failed or not, the timer starts a fresh interval
    // when it runs; a pause during the change holds.
    void ChangeEnded(const QueuedChange &change, bool changed, const std::exception_ptr &error);
    // Bus callers whose changes have not begun are told that the program ends.
    void RefuseQueuedChanges();
    // At the program's end: the change under way is let end, within a bound, and the ones waiting
    // do not begin.
    void EndChanges();
    // Waits, serving events, for the running change to end: before the window thread touches what a
    // change uses (the position, the output path, the plug-ins, the settings file's lock).
    void WaitForChangeToEnd();
    // The tray tip: the state ("壁紙変更中", or "壁紙変更停止中" while paused), and under it the
    // pictures the last change passed over.
    void UpdateTip();
    // After a change that went through: its listeners, the pictures it passed over in the tip, and
    // one notice for each picture not told of before in this run.
    void AfterChange();
    void Terminate();
    // Flips the mark of an option item and stores it under `key`.
    void ToggleOption(QAction *item, std::string_view key);
    std::string ProgramPath() const;
    // Replays the outcome of a change (returning whether one was made) and keeps what the control
    // interface reports: the last error (or the pictures passed over), and the listener told of the
    // change.
    void RecordChange(const std::function<bool()> &change);
    // What the status tells of the last change and the position (UTF-8).
    struct ChangeFacts {
        int32_t nextEntry = 0;
        std::string picture, readBack, monitors, pictures, fallback;
    };
    // Read from changer_ and schedule_: only while no change runs.
    ChangeFacts FactsNow() const;
    // Raises ECommandRefused with `reason` unless the schedule runs and the menu item is enabled.
    void RequireCommand(const QAction *item, const char *reason) const;

    // Every report of the window, one box at a time.
    std::unique_ptr<TReportBox> reports_;
    std::unique_ptr<TrayShell> trayShell_;
    std::vector<std::string> groupNames_;
    DesktopKind sessionDesktop_;
    bool noTrayNoticeShown_ = false;
    bool monitorFallbackShown_ = false; // the desktop's refusal of one picture per monitor, once a run
    bool terminated_ = false;
    // Running or Paused (the tray or the minimized window stands in for the main window).
    bool scheduleActive_ = false;
    std::string lastError_;             // UTF-8
    std::string skipNote_;              // CP932: the tip's line about the pictures passed over
    std::set<std::string> toldSkipped_; // pictures (CP932) the user was told of in this run
    std::unique_ptr<ChangeWorker> changes_;
    std::deque<QueuedChange> queued_; // waiting for their turn, oldest first
    ChangeFacts factsBeforeChange_;   // the status's facts while a change runs
    std::shared_ptr<void> control_;   // the outside commands' way in; last, so it goes first
};

// The program's icon, drawn from its vector image.
QIcon ProgramIcon();
