#pragma once

#include "control/ControlTarget.h"
#include "listedit/ListEditorHost.h"
#include "platform/desktop/DesktopDetect.h"
#include "platform/session/Platform.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/WallPaperChanger.h"

#include <QIcon>
#include <QMainWindow>

#include <cstdint>
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
class TFormMain : public QMainWindow, public ListEditorHost, public ControlTarget {
    // First, as the rest is built on them: the services, and the one change object that the
    // schedule and ApplyWallPaper both go through.
    Platform platform_;
    FormMainWindows windows_;
    WallPaperChanger changer_;
    ChangeSchedule schedule_;

public:
    // Builds the window hidden and runs FormCreate, which decides between the window and the tray.
    // The session's desktop chooses the advice given when it has no notification area.
    TFormMain(Platform platform, FormMainWindows windows, DesktopKind sessionDesktop = DesktopKind::None);
    ~TFormMain() override;

    // ListEditorHost
    void ApplyWallPaper(const std::string &picturePath, int32_t tileValue, int32_t correction) override;
    void RefreshGroups() override;
    void ShowMainWindow() override;
    bool PluginsEnabled() const override;

    // ControlTarget (FormMainControl.cpp): the tray commands for the session bus.
    std::string ControlNext() override;
    std::string ControlBack() override;
    void ControlPause() override;
    void ControlResume() override;
    void ControlShow() override;
    ControlStatus ControlStatusNow() const override;

    // The schedule's operations (their failures leave as exceptions).
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
    // Next and back: the timer is off during the change; afterwards, failed or not, it runs again
    // (a fresh interval) exactly when it ran before, so a pause holds.
    void ManualChange(const std::function<void()> &change);
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
    // Runs one change of the schedule (returning whether one was made) and keeps what the control
    // interface reports: the last error (or the pictures passed over), and the listener told of the
    // change.
    void RecordChange(const std::function<bool()> &change);
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
    std::shared_ptr<void> control_;     // the outside commands' way in; last, so it goes first
};

// The program's icon, drawn from its vector image.
QIcon ProgramIcon();
