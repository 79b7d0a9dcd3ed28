#include "listedit/Form2.h"

#include "listedit/AboutBox.h"
#include "listedit/DropCollector.h"
#include "listedit/FormHosei.h"
#include "listedit/ListEditorHost.h"
#include "listedit/PreviewImage.h"
#include "listedit/ProgressRun.h"
#include "listedit/ScreenFit.h"
#include "listedit/WallPaperGrid.h"
#include "listedit/WallPaperGridModel.h"
#include "listedit/WallPaperList.h"
#include "picture/Graphic.h"
#include "picture/PictureFormats.h"
#include "platform/Exceptions.h"
#include "platform/HomeFolder.h"
#include "platform/Paths.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/QtText.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {

const QString kTitle = QStringLiteral("壁紙の設定");
const QString kListFilter = QStringLiteral("壁紙リスト|*.dat");
// The add-pictures filter while the plug-in option is off: the built-in formats only.
const QString kBuiltInPictureFilter =
    QStringLiteral("すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
                   "JPEG イメージファイル (*.jpg)|*.jpg|JPEG イメージファイル (*.jpeg)|*.jpeg|"
                   "ビットマップ (*.bmp)|*.bmp|アイコン (*.ico)|*.ico|エンハンス メタファイル (*.emf)|*.emf|"
                   "メタファイル (*.wmf)|*.wmf");

// The program's folder in the file system's form, where the list dialogs start.
QString HomeFolderNative()
{
    try {
        return Utf8ToQString(ToNativePath(HomeFolder()));
    } catch (const Exception &) {
        return {};
    }
}

// The dialog of the list files: the list filter, in the home folder.
Dialogs::FileRequest ListFileRequest(Dialogs::FileMode mode)
{
    Dialogs::FileRequest request;
    request.mode = mode;
    request.filter = kListFilter;
    request.defaultExtension = QStringLiteral("dat");
    request.initialFolder = HomeFolderNative();
    return request;
}

} // namespace

void TForm2::Guarded(const std::function<void()> &handler)
{
    RunGuarded(dialogs_, this, handler);
}

TForm2::TForm2(ListEditorHost &host, Dialogs &dialogs, Browser &browser, QWidget *parent)
    : QMainWindow(parent), host_(host), dialogs_(dialogs), browser_(browser), model_(new WallPaperGridModel(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(kTitle);
    setGeometry(176, 145, 571, 406);

    StringGrid1 = new WallPaperGrid(*model_);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->OnDoubleClick = [this] { Guarded([this] { StringGrid1DbClick(); }); };
    StringGrid1->OnRowMoved = [this] { Guarded([this] { StringGrid1RowMoved(); }); };

    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedWidth(150);
    auto *groupBox = new QGroupBox(QStringLiteral("プレビュー"), panel);
    groupBox->setObjectName(QStringLiteral("GroupBox1"));
    Image1 = new PreviewImage(groupBox);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(136, 133);
    // Room for the 136-pixel image inside the frame of the group box in the 150-pixel panel.
    auto *groupLayout = new QVBoxLayout(groupBox);
    groupLayout->setContentsMargins(2, 4, 2, 4);
    groupLayout->addWidget(Image1, 0, Qt::AlignHCenter | Qt::AlignTop);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(2, 0, 2, 0);
    panelLayout->addWidget(groupBox);
    panelLayout->addStretch();

    auto *central = new QWidget;
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StringGrid1, 1);
    layout->addWidget(panel);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar;
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    CreateActions();
    model_->OnModifiedChanged = [this](bool modified) { SaveAction->setEnabled(modified); };
    SaveAction->setEnabled(model_->Modified());
    CreateMenus();
    CreateToolBars();
    StringGrid1->SetContextMenu(PopupMenu1);
    FormCreate();
}

TForm2::~TForm2() = default;

QAction *TForm2::AddAction(const char *objectName, const QString &caption, const QString &hint, const char *icon,
                           void (TForm2::*handler)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(objectName));
    if (!hint.isEmpty())
        action->setToolTip(hint);
    if (icon != nullptr)
        action->setIcon(QIcon(QStringLiteral(":/listedit/icons/%1.svg").arg(QLatin1String(icon))));
    connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return action;
}

void TForm2::CreateActions()
{
    NewAction = AddAction("NewAction", QStringLiteral("新規(&N)"), QStringLiteral("新規作成"), "new",
                          &TForm2::NewActionExecute);
    OpenAction =
        AddAction("OpenAction", QStringLiteral("開く(&O)"), QStringLiteral("開く"), "open", &TForm2::OpenActionExecute);
    SaveAction =
        AddAction("SaveAction", QStringLiteral("保存(&S)"), QStringLiteral("保存"), "save", &TForm2::SaveActionExecute);
    NameSaveAction = AddAction("NameSaveAction", QStringLiteral("名前を付けて保存(&A)"), {}, nullptr,
                               &TForm2::NameSaveActionExecute);
    ExitAction = AddAction("ExitAction", QStringLiteral("終了(&X)"), QStringLiteral("終了（メインに戻る）"), "exit",
                           &TForm2::ExitActionExecute);
    ReadPicAction =
        AddAction("ReadPicAction", QStringLiteral("画像読み込み(&R)"),
                  QStringLiteral("画像を読み込みリストに追加します"), "addpicture", &TForm2::ReadPicActionExecute);
    DeleteAction =
        AddAction("DeleteAction", QStringLiteral("削除(&D)"), QStringLiteral("削除（リストより壁紙を削除します）"),
                  "delete", &TForm2::DeleteActionExecute);
    SelAllAction =
        AddAction("SelAllAction", QStringLiteral("すべて選択(&A)"), {}, nullptr, &TForm2::SelAllActionExecute);
    ChangeWallPaperAction =
        AddAction("ChangeWallPaperAction", QStringLiteral("壁紙変更(&C)"), QStringLiteral("壁紙を今すぐ変更"), "change",
                  &TForm2::ChangeWallPaperActionExecute);
    ChuouAction =
        AddAction("ChuouAction", QStringLiteral("中央"), QStringLiteral("中央"), "centre", &TForm2::ChuouActionExecute);
    NarabeteAction = AddAction("NarabeteAction", QStringLiteral("並べて"), QStringLiteral("並べて"), "tile",
                               &TForm2::NarabeteActionExecute);
    KakudaiAction = AddAction("KakudaiAction", QStringLiteral("拡大"), QStringLiteral("拡大"), "enlarge",
                              &TForm2::KakudaiActionExecute);
    HoseiAction = AddAction("HoseiAction", QStringLiteral("補正設定"), QStringLiteral("補正設定"), "correction",
                            &TForm2::HoseiActionExecute);
    ShowTBarAction = AddAction("ShowTBarAction", QStringLiteral("ツールバー再表示(&S)"), {}, nullptr,
                               &TForm2::ShowTBarActionExecute);
    VergionAction =
        AddAction("VergionAction", QStringLiteral("バージョン(&A)"), {}, nullptr, &TForm2::VergionActionExecute);

    // The platform's standard keys. The actions belong to the window as well, so that their keys
    // work whether or not their toolbar is shown.
    const std::pair<QAction *, QKeySequence::StandardKey> keys[] = {
        {NewAction, QKeySequence::New},       {OpenAction, QKeySequence::Open},
        {SaveAction, QKeySequence::Save},     {NameSaveAction, QKeySequence::SaveAs},
        {DeleteAction, QKeySequence::Delete}, {SelAllAction, QKeySequence::SelectAll}};
    for (const auto &[action, key] : keys) {
        action->setShortcuts(key);
        addAction(action);
    }
    // Some platforms bind no key to "save as"; Ctrl+Shift+S is the one users know elsewhere.
    if (NameSaveAction->shortcuts().isEmpty())
        NameSaveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
}

void TForm2::CreateMenus()
{
    FileMenu = new QMenu(this);
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileMenu->addActions({NewAction, OpenAction, SaveAction, NameSaveAction});
    FileMenu->addSeparator();
    FileMenu->addAction(ExitAction);

    EditMenu = new QMenu(this);
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    EditMenu->addAction(ReadPicAction);
    EditMenu->addSeparator();
    EditMenu->addActions({SelAllAction, DeleteAction, ChangeWallPaperAction});
    EditMenu->addSeparator();
    EditMenu->addAction(ShowTBarAction);

    HelppMenu = new QMenu(this);
    HelppMenu->setObjectName(QStringLiteral("HelppMenu"));
    HelppMenu->addAction(VergionAction);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ChangeWallPaperAction);
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({ChuouAction, NarabeteAction, KakudaiAction, HoseiAction});
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(DeleteAction);
}

void TForm2::CreateToolBars()
{
    ToolBar1 = new QToolBar(QStringLiteral("メニュー"), this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    // The menu bar cannot be hidden from the toolbar area's menu.
    ToolBar1->toggleViewAction()->setVisible(false);
    const std::pair<QString, QMenu *> menus[] = {{QStringLiteral("ファイル(&F)"), FileMenu},
                                                 {QStringLiteral("編集(&E)"), EditMenu},
                                                 {QStringLiteral("ヘルプ(&H)"), HelppMenu}};
    for (const auto &[caption, menu] : menus) {
        auto *button = new QToolButton;
        button->setObjectName(menu->objectName() + QStringLiteral("Button"));
        button->setText(caption);
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // No drop-down arrow: the buttons look like the entries of a menu bar.
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
        ToolBar1->addWidget(button);
    }

    ToolBar2 = new QToolBar(QStringLiteral("ファイル"), this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->addActions({NewAction, OpenAction, SaveAction, ExitAction});
    ToolBar2->addSeparator();
    ToolBar2->addActions({ReadPicAction, DeleteAction});

    ToolBar3 = new QToolBar(QStringLiteral("壁紙"), this);
    ToolBar3->setObjectName(QStringLiteral("ToolBar3"));
    ToolBar3->addAction(ChangeWallPaperAction);
    ToolBar3->addSeparator();
    ToolBar3->addActions({ChuouAction, NarabeteAction, KakudaiAction, HoseiAction});

    for (QToolBar *bar : {ToolBar2, ToolBar3}) {
        bar->setIconSize(QSize(16, 16));
        bar->setMovable(true);
        bar->setFloatable(true);
        // A floating toolbar has no frame of its own, so it carries its own close button.
        QAction *closeAction = bar->addAction(style()->standardIcon(QStyle::SP_TitleBarCloseButton),
                                              QStringLiteral("閉じる"), bar, &QWidget::hide);
        closeAction->setObjectName(bar->objectName() + QStringLiteral("Close"));
        closeAction->setVisible(false);
        connect(bar, &QToolBar::topLevelChanged, closeAction, &QAction::setVisible);
    }
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    addToolBar(Qt::TopToolBarArea, ToolBar2);
    addToolBar(Qt::TopToolBarArea, ToolBar3);
}

void TForm2::ShowModal()
{
    QEventLoop loop;
    modalLoop_ = &loop;
    setWindowModality(Qt::ApplicationModal);
    FitToScreen(this);
    show();
    if (isVisible())
        loop.exec();
    modalLoop_ = nullptr;
}

void TForm2::FormCreate()
{
    setAcceptDrops(true);
    model_->SetModified(false);
    ListFileName.clear();
    model_->Clear();
}

void TForm2::FormClose()
{
    host_.ShowMainWindow();
    setAcceptDrops(false);
}

void TForm2::closeEvent(QCloseEvent *event)
{
    if (activeDrop_ != nullptr) {
        // A drop being walked stops first (adding nothing); the window then closes as asked.
        closeAfterDrop_ = true;
        activeDrop_->Stop();
        event->ignore();
        return;
    }
    bool discard = false;
    Guarded([&] { discard = ConfirmDiscard(); });
    if (!discard) {
        event->ignore();
        return;
    }
    Guarded([this] { FormClose(); });
    // The groups are listed anew however the editor closes, so that a group just saved is there; a
    // failure is reported and the editor closes all the same.
    Guarded([this] { host_.RefreshGroups(); });
    event->accept();
    if (modalLoop_ != nullptr)
        modalLoop_->quit();
}

bool TForm2::ConfirmDiscard()
{
    return !model_->Modified() || dialogs_.Confirm(this, QStringLiteral("現在の内容を破棄します。よろしいですか？"));
}

void TForm2::SetListCaption()
{
    setWindowTitle(kTitle + QStringLiteral("-リスト編集-") + Cp932ToQString(ExtractFileName(ListFileName)));
}

bool TForm2::ToListPath(const QString &nativePath, std::string &cp932Path)
{
    try {
        cp932Path = FromNativePath(nativePath.toStdString());
        return true;
    } catch (const EEncodingError &) {
        dialogs_.Warning(this, QStringLiteral("次のパスには Shift-JIS (CP932) で表せない文字が含まれているため、"
                                              "使用できません。\n%1")
                                   .arg(nativePath));
        return false;
    }
}

void TForm2::WarnRefused(const std::vector<std::string> &nativePaths)
{
    if (nativePaths.empty())
        return;
    constexpr size_t kShown = 10;
    QString list;
    for (size_t i = 0; i < nativePaths.size() && i < kShown; ++i)
        list += QStringLiteral("\n") + Utf8ToQString(nativePaths[i]);
    if (nativePaths.size() > kShown)
        list += QStringLiteral("\n…ほか %1 件").arg(nativePaths.size() - kShown);
    dialogs_.Warning(this, QStringLiteral("次の画像またはフォルダーはパスに Shift-JIS (CP932) で表せない文字が"
                                          "含まれているため、リストに追加しませんでした。%1")
                               .arg(list));
}

void TForm2::NewActionExecute()
{
    if (!ConfirmDiscard())
        return;
    setWindowTitle(kTitle + QStringLiteral("-新規作成-"));
    ListFileName.clear();
    model_->SetModified(false);
    model_->Clear();
}

void TForm2::OpenActionExecute()
{
    if (!ConfirmDiscard())
        return;
    Dialogs::FileRequest request = ListFileRequest(Dialogs::FileMode::Open);
    request.mustExist = true;
    const QStringList names = dialogs_.GetFileNames(this, request);
    std::string path;
    if (names.isEmpty() || !ToListPath(names.front(), path))
        return;
    ListFileName = path;
    SetListCaption();
    model_->SetModified(false);
    model_->Clear();
    model_->SetEntries(ReadWallPaperList(ListFileName));
}

void TForm2::SaveActionExecute()
{
    if (ListFileName.empty()) {
        NameSaveActionExecute();
        return;
    }
    WriteList();
}

void TForm2::WriteList()
{
    model_->SetModified(false);
    try {
        WriteWallPaperList(ListFileName, model_->Entries());
    } catch (...) {
        // The changes are still unsaved: keep them marked so that New, Open and Exit still ask.
        model_->SetModified(true);
        throw;
    }
}

void TForm2::NameSaveActionExecute()
{
    // The name box starts empty; the filter shows the list files already there.
    Dialogs::FileRequest request = ListFileRequest(Dialogs::FileMode::Save);
    request.confirmOverwrite = true;
    const QStringList names = dialogs_.GetFileNames(this, request);
    if (!names.isEmpty() && HasWildcard(names.front())) {
        // A pattern names no file; a group called "*.dat" could never be told from the filter.
        dialogs_.Warning(this, QStringLiteral("ファイル名に「*」や「?」は使えません。別の名前を指定してください。"));
        return;
    }
    std::string path;
    if (names.isEmpty() || !ToListPath(names.front(), path))
        return;
    ListFileName = path;
    SetListCaption();
    WriteList();
}

void TForm2::ExitActionExecute()
{
    // The close box's command: asks, shows the main window and lists its groups anew.
    close();
}

void TForm2::ReadPicActionExecute()
{
    Dialogs::FileRequest request;
    request.mode = Dialogs::FileMode::OpenMany;
    request.title = QStringLiteral("画像読み込み");
    request.filter =
        host_.PluginsEnabled() ? Cp932ToQString(PictureFilterText(TGraphic::ClassInfo())) : kBuiltInPictureFilter;
    request.picturePreview = true;
    request.mustExist = true;
    const QStringList names = dialogs_.GetFileNames(this, request);
    if (names.isEmpty())
        return;
    model_->SetModified(true);
    WallPaperList added;
    std::vector<std::string> refused;
    for (const QString &name : names) {
        try {
            added.push_back({FromNativePath(name.toStdString()), std::string(kPositionTile), {}});
        } catch (const EEncodingError &) {
            refused.push_back(name.toStdString());
        }
    }
    model_->Append(added);
    WarnRefused(refused);
}

void TForm2::DeleteActionExecute()
{
    if (model_->IsEmpty())
        return;
    const int top = StringGrid1->TopRow();
    model_->RemoveRows(top, StringGrid1->BottomRow());
    StringGrid1->SelectRows(top, top);
    model_->SetModified(true);
}

void TForm2::SelAllActionExecute()
{
    StringGrid1->SelectRows(0, model_->rowCount() - 1);
}

void TForm2::SetPositions(std::string_view positionText)
{
    if (model_->IsEmpty())
        return;
    model_->SetPositions(StringGrid1->TopRow(), StringGrid1->BottomRow(), std::string(positionText));
    model_->SetModified(true);
}

void TForm2::ChuouActionExecute()
{
    SetPositions(kPositionCentre);
}
void TForm2::NarabeteActionExecute()
{
    SetPositions(kPositionTile);
}
void TForm2::KakudaiActionExecute()
{
    SetPositions(kPositionEnlarge);
}

void TForm2::HoseiActionExecute()
{
    if (model_->IsEmpty())
        return;
    HoseiCancelled = false;
    TFormHosei dialog(HoseiCancelled, this, GeneralErrorReport(dialogs_, this));
    dialog.exec();
    if (HoseiCancelled)
        return;
    model_->SetCorrections(StringGrid1->TopRow(), StringGrid1->BottomRow(), dialog.CorrectionText());
    model_->SetModified(true);
}

void TForm2::ChangeWallPaperActionExecute()
{
    if (model_->IsEmpty())
        return;
    const WallPaperEntry &entry = model_->Entry(StringGrid1->TopRow());
    host_.ApplyWallPaper(entry.PicturePath, DecodeTileValue(entry.PositionText),
                         DecodeCorrection(entry.CorrectionText));
}

void TForm2::StringGrid1DbClick()
{
    if (model_->IsEmpty())
        return;
    Image1->LoadFromFile(model_->Entry(StringGrid1->TopRow()).PicturePath);
}

void TForm2::StringGrid1RowMoved()
{
    // The numbers are the grid's row headers and follow the move. The order is what the schedule
    // shows, so a move is a change to save.
    model_->SetModified(true);
}

void TForm2::ShowTBarActionExecute()
{
    ToolBar2->show();
    ToolBar3->show();
}

void TForm2::VergionActionExecute()
{
    TAboutBox box(browser_, this, UserGuideUrl(), GeneralErrorReport(dialogs_, this));
    box.exec();
}
