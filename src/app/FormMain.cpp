#include "app/FormMain.h"

#include "app/ChangeWorker.h"
#include "app/GroupNameEdit.h"
#include "app/MonitorWatch.h"
#include "app/NoTrayNotice.h"
#include "app/ReportBox.h"
#include "app/SpinEdit.h"
#include "app/Timer.h"
#include "listedit/ScreenFit.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/IntConvert.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/session/Autostart.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/QtText.h"
#include "schedule/ChangeFactory.h"
#include "schedule/GroupList.h"
#include "schedule/RunCheck.h"
#include "schedule/Settings.h"
#include "shell/AnimWnd.h"
#include "shell/TrayIcon.h"
#include "shell/TrayShell.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QTimer>

namespace {

// The window's client area and place on the screen.
constexpr int kClientWidth = 231;
constexpr int kClientHeight = 140;
constexpr int kLeft = 395;
constexpr int kTop = 145;

const QString kTipRunning = QStringLiteral("壁紙変更中");
const QString kTipPaused = QStringLiteral("壁紙変更停止中");
const QString kRunningWithoutTray = QStringLiteral("壁紙変更中（通知領域なし）");
// Shown while there is no group at all, as on a first start: what to do first.
const QString kFirstStep = QStringLiteral("「壁紙の設定」でグループを作ります");
// How often a notification area is looked for while the program runs without one.
constexpr int kTrayAreaPollMs = 2000;

std::string Cp932(const QString &text)
{
    return QStringToCp932(text);
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, int x, int y)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    return button;
}

TSpinEdit *MakeSpinEdit(QWidget *parent, const char *name, int maxValue, QRect place)
{
    auto *spin = new TSpinEdit(0, maxValue, parent);
    spin->setObjectName(QLatin1String(name));
    spin->setGeometry(place);
    return spin;
}

QAction *MakeItem(QMenu *menu, const char *name, const QString &caption, bool checkable = false)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setCheckable(checkable);
    return item;
}

void MakeSeparator(QMenu *menu, const char *name)
{
    menu->addSeparator()->setObjectName(QLatin1String(name));
}

} // namespace

QIcon ProgramIcon()
{
    // The image lives in a static library; this reference keeps it linked in.
    Q_INIT_RESOURCE(tapisto);
    QSvgRenderer renderer(QStringLiteral(":/tapisto/tapisto.svg"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TFormMain::TFormMain(Platform platform, FormMainWindows windows, DesktopKind sessionDesktop)
    : platform_(std::move(platform)), windows_(std::move(windows)), screenAtChange_(*platform_.screen),
      changer_(std::string(), screenAtChange_, *platform_.registry, *platform_.desktop), schedule_(changer_),
      reports_(std::make_unique<TReportBox>(*platform_.dialogs, this)), sessionDesktop_(sessionDesktop),
      changes_(std::make_unique<ChangeWorker>())
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tapisto"));
    // Single fixed border with system menu and minimise box; the close box ends the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setWindowIcon(ProgramIcon());

    BuildControls();
    BuildMenus();
    BuildComponents();
    move(kLeft, kTop);
    FitToScreen(this);

    if (platform_.offerControl)
        control_ = platform_.offerControl(*this);
    if (!Guard(&TFormMain::FormCreate))
        EnterWindowState();
}

TFormMain::~TFormMain()
{
    control_.reset(); // no outside command reaches a window being torn down
    EndChanges();
    // The tray icon talks to the shell until it is gone, so it goes first.
    delete TrayIcon1;
    TrayIcon1 = nullptr;
    delete AnimateWindow1;
    AnimateWindow1 = nullptr;
    SPIs1.reset();
}

void TFormMain::BuildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    Label1 = MakeLabel(client, "Label1", QStringLiteral("壁紙変更グループ"), 8, 8);
    ComboBox1 = new QComboBox(client);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    // A long name shows its start and its end, and whole as the tooltip.
    ComboBox1->setLineEdit(new GroupNameEdit(ComboBox1));
    ComboBox1->view()->setTextElideMode(Qt::ElideMiddle);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(9, 24, 129, 20);
    Button1 = MakeButton(client, "Button1", QStringLiteral("壁紙の設定"), {144, 20, 76, 25});
    Label2 = MakeLabel(client, "Label2", QStringLiteral("変更間隔"), 10, 51);
    SpinEdit1 = MakeSpinEdit(client, "SpinEdit1", 23, {13, 69, 43, 21});
    Label4 = MakeLabel(client, "Label4", QStringLiteral("時間"), 56, 76);
    SpinEdit2 = MakeSpinEdit(client, "SpinEdit2", 59, {85, 69, 43, 21});
    Label5 = MakeLabel(client, "Label5", QStringLiteral("分"), 128, 76);
    SpinEdit3 = MakeSpinEdit(client, "SpinEdit3", 59, {141, 69, 43, 21});
    Label6 = MakeLabel(client, "Label6", QStringLiteral("秒"), 187, 76);
    Jikko = MakeButton(client, "Jikko", QStringLiteral("実　行"), {116, 98, 55, 25});
    ButtonTerm = MakeButton(client, "ButtonTerm", QStringLiteral("終　了"), {170, 98, 55, 25});
    StatusBar1 = new QStatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, kClientHeight - 19, kClientWidth, 19);
    Edit1 = new QLineEdit(client);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->hide();

    QWidget::setTabOrder(ComboBox1, SpinEdit1);
    QWidget::setTabOrder(SpinEdit1, Button1);
    QWidget::setTabOrder(Button1, Jikko);
    QWidget::setTabOrder(Jikko, ButtonTerm);
    QWidget::setTabOrder(ButtonTerm, Edit1);
    QWidget::setTabOrder(Edit1, SpinEdit2);
    QWidget::setTabOrder(SpinEdit2, SpinEdit3);

    connect(Button1, &QPushButton::clicked, this, [this] { Guard(&TFormMain::Button1Click); });
    connect(Jikko, &QPushButton::clicked, this, [this] { Guard(&TFormMain::JikkoClick); });
    connect(ButtonTerm, &QPushButton::clicked, this, [this] { Guard(&TFormMain::ButtonTermClick); });
}

void TFormMain::BuildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    R1 = MakeItem(file, "R1", QStringLiteral("実行(&R)"));
    Exit1 = MakeItem(file, "Exit1", QStringLiteral("終了(&X)"));
    QMenu *tools = bar->addMenu(QStringLiteral("ツール(&T)"));
    N3 = MakeItem(tools, "N3", QStringLiteral("壁紙の設定"));
    MakeSeparator(tools, "N4");
    op1 = MakeItem(tools, "op1", QStringLiteral("起動と同時にタスクトレイで実行"), true);
    op2 = MakeItem(tools, "op2", QStringLiteral("スタートアップに登録"), true);
    op3 = MakeItem(tools, "op3", QStringLiteral("ランダムで壁紙を変更"), true);
    OpSusie = MakeItem(tools, "OpSusie", QStringLiteral("Susieプラグインを使用"), true);
    MakeSeparator(tools, "N12");
    Windows1 = MakeItem(tools, "Windows1", QStringLiteral("Windowsのフォルダー指定"));
    // Options added later follow the existing items, whose places stay as they were.
    MakeSeparator(tools, "N13");
    OpNoRepeat = MakeItem(tools, "OpNoRepeat", QStringLiteral("ランダムで同じ壁紙を繰り返さない"), true);
    OpPerMonitor = MakeItem(tools, "OpPerMonitor", QStringLiteral("モニターごとに別の壁紙"), true);
    QMenu *help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    N1 = MakeItem(help, "N1", QStringLiteral("バージョン(&A)"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N8 = MakeItem(PopupMenu1, "N8", QStringLiteral("設定"));
    Exit2 = MakeItem(PopupMenu1, "Exit2", QStringLiteral("終了"));
    MakeSeparator(PopupMenu1, "N7");
    N6 = MakeItem(PopupMenu1, "N6", QStringLiteral("再開"));
    N6->setEnabled(false);
    N5 = MakeItem(PopupMenu1, "N5", QStringLiteral("一時停止"));
    MakeSeparator(PopupMenu1, "N9");
    N10 = MakeItem(PopupMenu1, "N10", QStringLiteral("戻る"));
    N11 = MakeItem(PopupMenu1, "N11", QStringLiteral("次へ"));

    const std::pair<QAction *, void (TFormMain::*)()> commands[] = {
        {R1, &TFormMain::JikkoClick},          {Exit1, &TFormMain::Exit1Click}, {N3, &TFormMain::Button1Click},
        {Windows1, &TFormMain::Windows1Click}, {N1, &TFormMain::N1Click},       {N8, &TFormMain::N8Click},
        {Exit2, &TFormMain::Exit2Click},       {N6, &TFormMain::N6Click},       {N5, &TFormMain::N5Click},
        {N10, &TFormMain::N10Click},           {N11, &TFormMain::N11Click}};
    for (const auto &[item, handler] : commands)
        connect(item, &QAction::triggered, this, [this, handler = handler] { Guard(handler); });
    ConnectCheckItem(op1, &TFormMain::op1Click);
    ConnectCheckItem(op2, &TFormMain::op2Click);
    ConnectCheckItem(op3, &TFormMain::op3Click);
    ConnectCheckItem(OpSusie, &TFormMain::OpSusieClick);
    ConnectCheckItem(OpNoRepeat, &TFormMain::OpNoRepeatClick);
    ConnectCheckItem(OpPerMonitor, &TFormMain::OpPerMonitorClick);
}

void TFormMain::ConnectCheckItem(QAction *item, void (TFormMain::*handler)())
{
    connect(item, &QAction::triggered, this, [this, item, handler] {
        // Qt has already flipped the mark; the handler decides it from the state before the click.
        item->setChecked(!item->isChecked());
        Guard(handler);
    });
}

void TFormMain::BuildComponents()
{
    // Edit1 holds the path that the desktop is told to show; the change tells it from its own thread.
    changer_.OnChange = [this](const std::string &outputPath) {
        QMetaObject::invokeMethod(
            Edit1, [edit = Edit1, text = Cp932ToQString(outputPath)] { edit->setText(text); }, Qt::QueuedConnection);
    };

    Timer1 = new TTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->OnTimer = [this] { Guard(&TFormMain::Timer1Timer); };
    // Within two seconds of a new arrangement of monitors, the pictures on screen fit it again.
    new MonitorWatch([this] { Guard(&TFormMain::MonitorsChanged); }, 1000, this);

    trayShell_ = platform_.makeTrayShell();
    trayShell_->SetErrorReport(reports_->AsErrorReport());
    TrayIcon1 = new TTrayIcon(this, *trayShell_);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->SetIcon(windowIcon());
    TrayIcon1->SetRBPopupMenu(PopupMenu1);
    TrayIcon1->SetTipHelp(Cp932(kTipRunning));
    TrayIcon1->OnDblClick = [this](QObject *) { Guard(&TFormMain::TrayIcon1DblClick); };
    // A panel or tray started after the program still gets the icon.
    TrayAreaWatch = new QTimer(this);
    TrayAreaWatch->setObjectName(QStringLiteral("TrayAreaWatch"));
    TrayAreaWatch->setInterval(kTrayAreaPollMs);
    connect(TrayAreaWatch, &QTimer::timeout, this, [this] {
        bool done = true;
        RunGuarded(*platform_.dialogs, this, [&] { done = TrayAreaAppeared(); });
        if (done)
            TrayAreaWatch->stop();
    });

    SPIs1 = CreatePluginHost(*platform_.registry,
                             [this](TSPIs &, TInSPI &plugin, const std::string &extension,
                                    const std::string &description, const TGraphicClass *&graphicClass) {
                                 SPIs1PictureRegister(&plugin, extension, description, graphicClass);
                             });
    SPIs1->Loaded();

    AnimateWindow1 = new TAnimateWindow(this);
    AnimateWindow1->setObjectName(QStringLiteral("AnimateWindow1"));
    AnimateWindow1->ErrorReport = reports_->AsErrorReport();
}

bool TFormMain::Guard(void (TFormMain::*handler)())
{
    return RunGuarded(reports_->AsErrorReport(), [this, handler] { (this->*handler)(); });
}

void TFormMain::EnterWindowState()
{
    // Whatever the failed start had begun is undone, so the window is the way back in.
    scheduleActive_ = false;
    Timer1->SetEnabled(false);
    RunGuarded(reports_->AsErrorReport(), [this] { TrayIcon1->SetVisible(false); });
    ShowMainWindow();
}

void TFormMain::EnterRunningState()
{
    scheduleActive_ = true;
    try {
        TrayIcon1->SetVisible(true);
        StatusBar1->clearMessage();
        hide();
        return;
    } catch (const EOutOfMemory &) {
        if (TrayIcon1->Registered())
            throw;
    }
    StatusBar1->showMessage(kRunningWithoutTray);
    TrayAreaWatch->start();
    const bool tell = !noTrayNoticeShown_;
    noTrayNoticeShown_ = true;
    if (isVisible()) {
        // Told over the window, which then goes to the taskbar.
        if (tell)
            platform_.dialogs->Warning(this, NoTrayAreaMessage(sessionDesktop_));
    } else {
        // Minimized before its first showing, so that it starts out iconic; the box stands on its
        // own, as some window managers minimize a box together with its minimized owner.
        showMinimized();
        if (tell)
            platform_.dialogs->Warning(nullptr, NoTrayAreaMessage(sessionDesktop_));
    }
    // A tray that turned up while the box was open has the icon now: the window goes, as at any start.
    if (TrayIcon1->Registered())
        hide();
    // A window manager that ignored the iconic start has mapped it normally meanwhile.
    else if (!isMinimized())
        showMinimized();
}

bool TFormMain::TrayAreaAppeared()
{
    if (!scheduleActive_ || TrayIcon1->Registered())
        return true;
    if (!trayShell_->Available())
        return false;
    try {
        TrayIcon1->SetVisible(true);
    } catch (const EOutOfMemory &) {
        return false; // gone again before the icon could be added
    }
    if (StatusBar1->currentMessage() == kRunningWithoutTray)
        StatusBar1->clearMessage();
    // The minimized window stood in for the icon; one the user has opened stays open.
    if (isMinimized())
        hide();
    return true;
}

std::string TFormMain::ProgramPath() const
{
    return FromNativePath(ExecutablePath());
}

// --- start, windows and exit ---

void TFormMain::FormCreate()
{
    schedule_.Reseed();
    const Settings::StartSettings start = Settings::ReadStartSettings();
    WallPaperPath = start.wallPaperPath;
    RefreshGroups();
    if (op3->isChecked())
        N10->setEnabled(false);
    if (!start.startInTray) {
        ShowMainWindow();
        return;
    }
    // A group without pictures would fail at every interval: the window comes instead, as after 実　行.
    if (!GroupHasPictures(Settings::ReadValue(Settings::kUseSection))) {
        ShowMainWindow();
        platform_.dialogs->Warning(this, QString::fromUtf8(RunRefusalMessage(RunRefusal::GroupWithoutPictures)));
        return;
    }
    // Before the first change of a run there is no position yet: the group starts at entry 0.
    const std::string stored = Settings::ReadUseIndexText();
    schedule_.CurrentIndex = stored.empty() ? 0 : StrToInt(stored);
    const int64_t interval =
        IntervalMilliseconds(Cp932(SpinEdit1->Text()), Cp932(SpinEdit2->Text()), Cp932(SpinEdit3->Text()));
    Timer1->SetInterval(interval);
    Timer1->SetEnabled(true);
    EnterRunningState();
}

void TFormMain::Button1Click()
{
    hide();
    if (windows_.RunListEditor)
        windows_.RunListEditor(*this);
    else
        ShowMainWindow();
}

void TFormMain::N8Click()
{
    scheduleActive_ = false;
    Timer1->SetEnabled(false);
    TrayIcon1->SetVisible(false);
    StatusBar1->clearMessage();
    ShowMainWindow();
}

void TFormMain::TrayIcon1DblClick()
{
    N8Click();
}

void TFormMain::N1Click()
{
    if (windows_.RunAboutBox)
        windows_.RunAboutBox(*this);
}

void TFormMain::ButtonTermClick()
{
    Terminate();
}
void TFormMain::Exit1Click()
{
    Terminate();
}
void TFormMain::Exit2Click()
{
    Terminate();
}

void TFormMain::Terminate()
{
    terminated_ = true;
    Timer1->SetEnabled(false);
    RefuseQueuedChanges();
    // The program waits for the running change as it ends: gone from the screen meanwhile.
    if (ChangeInProgress()) {
        hide();
        RunGuarded(reports_->AsErrorReport(), [this] { TrayIcon1->SetVisible(false); });
    }
    QCoreApplication::exit(0);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Terminate();
}

void TFormMain::ShowMainWindow()
{
    // Minimized while it ran without a tray icon: brought back as it was.
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

bool TFormMain::PluginsEnabled() const
{
    return OpSusie->isChecked();
}

// --- groups ---

void TFormMain::RefreshGroups()
{
    WaitForChangeToEnd(); // the position and the plug-ins change here
    ComboBox1->clear();
    groupNames_ = ListGroupFiles(HomeFolder());
    for (const std::string &name : groupNames_) {
        const QString text = Cp932ToQString(name);
        ComboBox1->addItem(text);
        ComboBox1->setItemData(ComboBox1->count() - 1, text, Qt::ToolTipRole);
    }

    const Settings::GroupSettings stored = Settings::ReadGroupSettings();
    ComboBox1->setEditText(Cp932ToQString(stored.useSection));
    TSpinEdit *const spins[] = {SpinEdit1, SpinEdit2, SpinEdit3};
    const std::string *const texts[] = {&stored.intervalHH, &stored.intervalMM, &stored.intervalSS};
    // No interval stored at all (a first start): an hour, rather than 0:0:0, which cannot run.
    const bool noInterval = stored.intervalHH.empty() && stored.intervalMM.empty() && stored.intervalSS.empty();
    for (int i = 0; i < 3; ++i)
        spins[i]->SetText(texts[i]->empty() ? QString::number(noInterval && i == 0 ? 1 : 0)
                                            : Cp932ToQString(*texts[i]));
    schedule_.CurrentIndex = 0;
    // Marks are only ever set here; the menu handlers keep marks and keys in step.
    if (stored.op1)
        op1->setChecked(true);
    if (stored.op2)
        op2->setChecked(true);
    if (stored.op3)
        op3->setChecked(true);
    if (stored.opSusie) {
        OpSusie->setChecked(true);
        SPIs1->Search("*.spi");
    }
    if (stored.opNoRepeat)
        OpNoRepeat->setChecked(true);
    if (stored.opPerMonitor)
        OpPerMonitor->setChecked(true);
    OpNoRepeat->setEnabled(op3->isChecked());
    if (!IsListedGroup(stored.useSection, groupNames_))
        ComboBox1->setEditText(QString());
    ShowFirstStep();
}

void TFormMain::ShowFirstStep()
{
    if (groupNames_.empty()) {
        if (StatusBar1->currentMessage().isEmpty())
            StatusBar1->showMessage(kFirstStep);
    } else if (StatusBar1->currentMessage() == kFirstStep) {
        StatusBar1->clearMessage();
    }
}

// --- schedule ---

void TFormMain::JikkoClick()
{
    std::optional<std::string> group;
    try {
        group = Cp932(ComboBox1->currentText());
    } catch (const EEncodingError &) {
        // a character no group file name can hold
    }
    const RunCheck check = CheckRun(
        group, groupNames_,
        [this] {
            // Started from the menu the fields keep the focus, so they are brought into range here too.
            for (TSpinEdit *spin : {SpinEdit1, SpinEdit2, SpinEdit3})
                spin->ClampToRange();
            return IntervalTexts{Cp932(SpinEdit1->Text()), Cp932(SpinEdit2->Text()), Cp932(SpinEdit3->Text())};
        },
        GroupHasPictures);
    if (check.texts)
        Timer1->SetInterval(check.interval);
    if (check.refusal != RunRefusal::None) {
        platform_.dialogs->Warning(this, QString::fromUtf8(RunRefusalMessage(check.refusal)));
        return;
    }
    const IntervalTexts &texts = *check.texts;
    WaitForChangeToEnd(); // the position starts again
    Settings::WriteSchedule(*group, texts.hh, texts.mm, texts.ss);
    EnterRunningState();
    Timer1->SetEnabled(false); // a fresh full interval even if it was running
    Timer1->SetEnabled(true);
    schedule_.CurrentIndex = 0;
    N5->setEnabled(true);
    N6->setEnabled(false);
    UpdateTip();
    N10->setEnabled(!op3->isChecked());
}

void TFormMain::Timer1Timer()
{
    // A tick while a change is made or waits is passed over: a picture has just come, or is coming.
    if (ChangeInProgress())
        return;
    QueueChange({ChangeKind::Timed, {}});
}

void TFormMain::MonitorsChanged()
{
    // Once after the changes that wait, for the monitors as they are then.
    for (const QueuedChange &change : queued_)
        if (change.kind == ChangeKind::Monitors)
            return;
    QueueChange({ChangeKind::Monitors, {}});
}

void TFormMain::NextWallPaper()
{
    schedule_.NextWallPaper();
}

void TFormMain::N11Click()
{
    QueueChange({ChangeKind::Next, {}});
}

void TFormMain::N10Click()
{
    QueueChange({ChangeKind::Back, {}});
}

void TFormMain::N5Click()
{
    Timer1->SetEnabled(false);
    N5->setEnabled(false);
    N6->setEnabled(true);
    UpdateTip();
}

void TFormMain::N6Click()
{
    Timer1->SetEnabled(true);
    N5->setEnabled(true);
    N6->setEnabled(false);
    UpdateTip();
}

void TFormMain::UpdateTip()
{
    std::string tip = Cp932(N6->isEnabled() ? kTipPaused : kTipRunning);
    if (!skipNote_.empty())
        tip += "\n" + skipNote_;
    // Whole characters only: the shell shows no half of one.
    size_t end = 0;
    while (end < tip.size() && end + Cp932CharLength(tip, end) <= TrayTipMaxBytes)
        end += Cp932CharLength(tip, end);
    TrayIcon1->SetTipHelp(std::string_view(tip).substr(0, end));
}

void TFormMain::ApplyWallPaper(const std::string &picturePath, TileMode tileValue, int32_t correction)
{
    // The editor waits as for a modal box; the changes asked for meanwhile come after this one.
    WaitForChangeToEnd();
    bool ended = false;
    std::exception_ptr failure;
    BeginChange([this, picturePath, tileValue, correction] { changer_.Apply(picturePath, tileValue, correction); },
                [&](const std::exception_ptr &error) {
                    failure = error;
                    ended = true;
                });
    ChangeWorker::ServeEventsUntil([&] { return ended; });
    if (failure)
        std::rethrow_exception(failure);
}

// --- options ---

void TFormMain::op1Click()
{
    ToggleOption(op1, Settings::kOp1Checked);
}

void TFormMain::ToggleOption(QAction *item, std::string_view key)
{
    WaitForChangeToEnd(); // a change holds the settings file's lock
    const bool on = !item->isChecked();
    item->setChecked(on);
    Settings::WriteFlag(key, on);
}

void TFormMain::op2Click()
{
    const bool on = !op2->isChecked();
    const std::string program = ProgramPath();
    // The entry is made first: a mark and a key saying "registered" after a failed write would
    // be a failure shown as success.
    SetStartupLink(ExtractFilePath(program), program, on, 7, "Tapisto");
    WaitForChangeToEnd(); // a change holds the settings file's lock
    op2->setChecked(on);
    Settings::WriteFlag(Settings::kOp2Checked, on);
}

void TFormMain::SetStartupLink(const std::string &folder, const std::string &programPath, bool create, int32_t folderId,
                               const std::string &linkName)
{
    (void)folderId; // the autostart folder is the only one this program registers in
    platform_.autostart->Set(create, linkName, programPath, folder);
}

void TFormMain::op3Click()
{
    ToggleOption(op3, Settings::kOp3Checked);
    // Without random order there is nothing not to repeat.
    OpNoRepeat->setEnabled(op3->isChecked());
}

void TFormMain::OpNoRepeatClick()
{
    ToggleOption(OpNoRepeat, Settings::kOpNoRepeat);
}

void TFormMain::OpPerMonitorClick()
{
    ToggleOption(OpPerMonitor, Settings::kOpPerMonitor);
}

void TFormMain::OpSusieClick()
{
    WaitForChangeToEnd(); // a change reads through the plug-ins
    const bool on = !OpSusie->isChecked();
    OpSusie->setChecked(on);
    if (on)
        SPIs1->Search("*.spi");
    else
        SPIs1->Clear();
    Settings::WriteFlag(Settings::kOpSusie, on);
}

void TFormMain::SPIs1PictureRegister(TInSPI *, const std::string &extension, const std::string &,
                                     const TGraphicClass *&graphicClass)
{
    RefuseBuiltInJpeg(extension, graphicClass);
}

void TFormMain::Windows1Click()
{
    // There is no Windows folder here: the command chooses where the wallpaper's bitmap is written.
    const QFileInfo current(QString::fromStdString(ToNativePath(WallPaperPath)));
    if (!platform_.dialogs->Confirm(this, QStringLiteral("壁紙として表示するビットマップファイルは、いまは次の場所に"
                                                         "書き出しています。\n%1\n\n書き出す場所を変更しますか？"
                                                         "ふつうは変更する必要はありません。")
                                              .arg(current.absoluteFilePath())))
        return;
    Dialogs::FileRequest request;
    request.mode = Dialogs::FileMode::Open;
    request.title = QStringLiteral("壁紙のビットマップファイルの書き出し先");
    request.initialFolder = current.absolutePath();
    request.defaultExtension = QStringLiteral("bmp");
    request.fileName = current.fileName();
    request.mustExist = false;
    const QStringList chosen = platform_.dialogs->GetFileNames(this, request);
    if (chosen.isEmpty())
        return;
    WaitForChangeToEnd(); // a change writes to the path it began with
    WallPaperPath = FromNativePath(QFileInfo(chosen.front()).absoluteFilePath().toStdString());
    Settings::WriteValue(Settings::kWindows, WallPaperPath);
}
