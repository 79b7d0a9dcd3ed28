#pragma once

#include <QMainWindow>

#include <functional>
#include <string>
#include <vector>

class Browser;
class Dialogs;
class ListEditorHost;
class PreviewImage;
class ProgressRun;
class QAction;
class QEventLoop;
class QMenu;
class QStatusBar;
class QToolBar;
class WallPaperGrid;
class WallPaperGridModel;

// The list editor ("壁紙の設定"): builds one wallpaper group from pictures added by dialog or by
// dropping files and folders, orders it, sets positions and corrections, previews a picture, applies
// one at once and saves the group as a list file. SaveAction is enabled while the grid model is
// modified. 終了 and the window's close box are one command: both ask before unsaved changes are
// lost and bring the main window back with its groups listed anew.
class TForm2 : public QMainWindow {
public:
    TForm2(ListEditorHost &host, Dialogs &dialogs, Browser &browser, QWidget *parent = nullptr);
    ~TForm2() override;

    // Shows the editor modally and returns once it has closed.
    void ShowModal();

    std::string ListFileName; // CP932; empty until the list is saved or opened
    bool HoseiCancelled = false;

    QAction *NewAction;
    QAction *OpenAction;
    QAction *SaveAction;
    QAction *NameSaveAction;
    QAction *ExitAction;
    QAction *ReadPicAction;
    QAction *DeleteAction;
    QAction *SelAllAction;
    QAction *ChangeWallPaperAction;
    QAction *ChuouAction;
    QAction *NarabeteAction;
    QAction *KakudaiAction;
    QAction *HoseiAction;
    QAction *ShowTBarAction;
    QAction *VergionAction;

    QToolBar *ToolBar1; // the menu bar
    QToolBar *ToolBar2; // file commands
    QToolBar *ToolBar3; // wallpaper commands
    QMenu *FileMenu;
    QMenu *EditMenu;
    QMenu *HelppMenu;
    QMenu *PopupMenu1;
    WallPaperGrid *StringGrid1;
    PreviewImage *Image1;
    QStatusBar *StatusBar1;

    WallPaperGridModel &Model() { return *model_; }

    void NewActionExecute();
    void OpenActionExecute();
    void SaveActionExecute();
    void NameSaveActionExecute();
    void ExitActionExecute();
    void ReadPicActionExecute();
    void DeleteActionExecute();
    void SelAllActionExecute();
    void ChangeWallPaperActionExecute();
    void ChuouActionExecute();
    void NarabeteActionExecute();
    void KakudaiActionExecute();
    void HoseiActionExecute();
    void ShowTBarActionExecute();
    void VergionActionExecute();
    void StringGrid1DbClick();
    void StringGrid1RowMoved();
    // Files and folders dropped on the window (UTF-8 paths in delivery order). The folders are walked
    // on a worker thread; a walk of more than a second shows its progress and can be stopped, and a
    // stopped drop adds nothing.
    void WMDropFiles(const std::vector<std::string> &nativePaths);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormCreate();
    void FormClose();
    void CreateActions();
    void CreateToolBars();
    void CreateMenus();
    QAction *AddAction(const char *objectName, const QString &caption, const QString &hint, const char *icon,
                       void (TForm2::*handler)());
    // Runs a handler; an escaping error goes to the general error report.
    void Guarded(const std::function<void()> &handler);
    bool ConfirmDiscard();
    void SetListCaption();
    // Writes the rows to ListFileName; a failed write leaves them marked modified.
    void WriteList();
    void SetPositions(std::string_view positionText);
    // The CP932 form of a path from a dialog; warns and gives false when CP932 cannot hold it.
    bool ToListPath(const QString &nativePath, std::string &cp932Path);
    void WarnRefused(const std::vector<std::string> &nativePaths);

    ListEditorHost &host_;
    Dialogs &dialogs_;
    Browser &browser_;
    WallPaperGridModel *model_;
    QEventLoop *modalLoop_ = nullptr;
    ProgressRun *activeDrop_ = nullptr; // the drop being walked
    bool closeAfterDrop_ = false;       // the window was asked to close during a drop
};
