#include "EditorFixture.h"

#include "listedit/FormHosei.h"
#include "listedit/PreviewImage.h"
#include "platform/Exceptions.h"

#include <QDropEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <filesystem>
#include <new>

namespace {

const QString kTile = QStringLiteral("並べて");

} // namespace

TEST_F(EditorTest, NewEditorShowsOneBlankRowAndDisabledSave)
{
    EXPECT_EQ(QStringLiteral("壁紙の設定"), form->windowTitle());
    EXPECT_FALSE(form->SaveAction->isEnabled());
    EXPECT_TRUE(form->ListFileName.empty());
    ASSERT_EQ(1, Model().rowCount());
    EXPECT_EQ((QStringList{{}, {}, {}, {}, {}}), Row(0));
    EXPECT_EQ(QStringLiteral("　パ　ス"), Model().headerData(1, Qt::Horizontal).toString());
    EXPECT_EQ(91, form->StringGrid1->columnWidth(0));
    EXPECT_EQ(173, form->StringGrid1->columnWidth(1));
    EXPECT_EQ(15, form->StringGrid1->rowHeight(0));
    EXPECT_EQ(30, form->StringGrid1->verticalHeader()->width());
    EXPECT_EQ(QAbstractItemView::NoEditTriggers, form->StringGrid1->editTriggers());
}

TEST_F(EditorTest, AddPicturesReplacesTheBlankRowAndEnablesSave)
{
    AddPictures(Paths({"pics/sea.jpg", "pics/sea.jpg", "hill.bmp"}));
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    const Dialogs::FileRequest &request = dialogs.fileRequests[0];
    EXPECT_EQ(Dialogs::FileMode::OpenMany, request.mode);
    EXPECT_TRUE(request.picturePreview);
    EXPECT_TRUE(request.filter.startsWith(QStringLiteral(
        "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|")));
    EXPECT_TRUE(request.filter.endsWith(QStringLiteral("|メタファイル (*.wmf)|*.wmf")));

    EXPECT_TRUE(form->SaveAction->isEnabled());
    ASSERT_EQ(3, Model().rowCount());
    const QString home = QString::fromStdString(this->home.Path());
    // The same picture twice is two rows.
    EXPECT_EQ((QStringList{QStringLiteral("1"), QStringLiteral("sea.jpg"), home + QStringLiteral("pics/"), kTile, {}}),
              Row(0));
    EXPECT_EQ(Row(0).mid(1), Row(1).mid(1));
    EXPECT_EQ((QStringList{QStringLiteral("3"), QStringLiteral("hill.bmp"), home, kTile, {}}), Row(2));
}

TEST_F(EditorTest, AddPicturesWithPluginsUsesTheRegisteredFormatsAndCancelChangesNothing)
{
    host.plugins = true;
    form->ReadPicAction->trigger(); // no file chosen: cancelled
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_TRUE(dialogs.fileRequests[0].filter.contains(QStringLiteral("(*.jpg)|*.jpg")));
    EXPECT_FALSE(form->SaveAction->isEnabled());
    EXPECT_TRUE(Model().IsEmpty());
}

TEST_F(EditorTest, PictureThatCp932CannotHoldIsRefusedWithAWarning)
{
    AddPictures(Paths({"ok.jpg", "\xF0\x9F\x98\x80.jpg"}));
    ASSERT_EQ(1, Model().rowCount());
    EXPECT_EQ(QStringLiteral("ok.jpg"), Row(0)[1]);
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("警告"), dialogs.messages[0].title);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("Shift-JIS")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromUtf8("\xF0\x9F\x98\x80.jpg")));
}

TEST_F(EditorTest, DropOfRealFilesThroughQtDropEvents)
{
    namespace fs = std::filesystem;
    const std::string root = home.Path();
    fs::create_directories(root + "drop/sub");
    for (const char *name : {"drop/B.JPG", "drop/a.bmp", "drop/sub/c.jpeg", "drop/plain", "loose.ICO", "x.txt"})
        WriteFileBytes(root + name, "x");

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(root + "drop")),
                  QUrl::fromLocalFile(QString::fromStdString(root + "x.txt")),
                  QUrl::fromLocalFile(QString::fromStdString(root + "loose.ICO"))});
    // Qt delivers a drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    QTRY_COMPARE(Model().rowCount(), 4);
    QStringList names;
    for (int r = 0; r < 4; ++r)
        names << Row(r)[1];
    EXPECT_EQ((QStringList{QStringLiteral("loose.ICO"), QStringLiteral("a.bmp"), QStringLiteral("B.JPG"),
                           QStringLiteral("c.jpeg")}),
              names);
    EXPECT_EQ(QString::fromStdString(root + "drop/sub/"), Row(3)[2]);
    EXPECT_EQ(QStringLiteral("4"), Row(3)[0]);
    EXPECT_TRUE(form->SaveAction->isEnabled());
    // What was left out is told once, with the reason.
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(QStringLiteral("警告"), dialogs.messages[0].title);
    EXPECT_EQ(QStringLiteral("2 個のファイルは画像ではないため追加しませんでした。\n\u3000x.txt\n\u3000plain"),
              dialogs.messages[0].text);
}

TEST_F(EditorTest, DropTellsOnceWhichFilesItLeftOutAndWhy)
{
    const std::string root = home.Path();
    std::filesystem::create_directory(root + "d");
    for (const char *name : {"d/a.png", "d/b.webp", "d/c.jpg", "d/notes.txt"})
        WriteFileBytes(root + name, "x");
    host.plugins = false; // the plug-in formats are not registered
    form->WMDropFiles({root + "d", root + "d/a.png"});
    EXPECT_EQ(1, Model().rowCount());
    EXPECT_EQ(QStringLiteral("c.jpg"), Row(0)[1]);
    ASSERT_EQ(1u, dialogs.messages.size());
    const QString text = dialogs.messages[0].text;
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("1 個のファイルは画像ではないため追加しませんでした。\n\u3000notes.txt\n\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("3 個のファイルは、メインウィンドウの「ツール」メニューの「Susieプラグインを使用」")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\u3000a.png\n\u3000a.png\n\u3000b.webp"))) << text.toStdString();

    // A drop that leaves nothing out says nothing.
    form->WMDropFiles({root + "d/c.jpg"});
    EXPECT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(2, Model().rowCount());
}

TEST_F(EditorTest, LargeDropArrivesCompleteAndInOrder)
{
    namespace fs = std::filesystem;
    const std::string root = home.Path();
    fs::create_directories(root + "big/deep");
    for (int i = 0; i < 150; ++i) {
        WriteFileBytes(root + "big/p" + std::to_string(1000 + i) + ".jpg", "x");
        WriteFileBytes(root + "big/deep/q" + std::to_string(1000 + i) + ".JPEG", "x");
    }
    form->show();
    form->WMDropFiles({root + "big"});
    ASSERT_EQ(300, Model().rowCount());
    EXPECT_EQ(QStringLiteral("p1000.jpg"), Row(0)[1]);
    EXPECT_EQ(QStringLiteral("p1149.jpg"), Row(149)[1]);
    EXPECT_EQ(QStringLiteral("q1000.JPEG"), Row(150)[1]);
    EXPECT_EQ(QStringLiteral("300"), Row(299)[0]);
    EXPECT_EQ(nullptr, QGuiApplication::overrideCursor()); // the busy cursor is gone again
}

TEST_F(EditorTest, DropWithoutPicturesKeepsTheBlankRowButEnablesSave)
{
    WriteFileBytes(home.File("readme.txt"), "x");
    form->WMDropFiles({home.File("readme.txt")});
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(1, Model().rowCount());
    EXPECT_TRUE(form->SaveAction->isEnabled());
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("readme.txt")));
}

TEST_F(EditorTest, DeletingEveryRowLeavesTheBlankRow)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    form->Model().SetModified(false);
    form->StringGrid1->SelectRows(1, 2);
    form->DeleteAction->trigger();
    ASSERT_EQ(2, Model().rowCount());
    EXPECT_EQ((QStringList{QStringLiteral("2"), QStringLiteral("d.jpg")}), Row(1).mid(0, 2));
    EXPECT_TRUE(form->SaveAction->isEnabled());
    EXPECT_EQ(1, form->StringGrid1->TopRow()); // a row stays selected

    form->Model().SetModified(false);
    form->SelAllAction->trigger();
    EXPECT_FALSE(form->SaveAction->isEnabled()); // selecting is no change
    form->DeleteAction->trigger();
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(1, Model().rowCount());
    EXPECT_EQ(QString(), Row(0)[0]);
    EXPECT_TRUE(form->SaveAction->isEnabled());
    EXPECT_EQ(0, form->StringGrid1->TopRow());
}

TEST_F(EditorTest, CommandsOnAnEmptyListDoNothing)
{
    for (QAction *a : {form->DeleteAction, form->ChuouAction, form->NarabeteAction, form->KakudaiAction,
                       form->HoseiAction, form->ChangeWallPaperAction})
        a->trigger();
    form->StringGrid1DbClick();
    EXPECT_FALSE(form->SaveAction->isEnabled());
    EXPECT_TRUE(host.applied.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(1, Model().rowCount());
    EXPECT_EQ(QStringList(5, QString()), Row(0));
}

TEST_F(EditorTest, MovingARowRenumbersAndIsAChange)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg"}));
    form->Model().SetModified(false);
    // What the header reports when the user drags the number cell of row 1 below row 3.
    form->StringGrid1->verticalHeader()->moveSection(0, 2);
    QStringList order;
    for (int r = 0; r < 3; ++r)
        order << Row(r)[0] + Row(r)[1];
    EXPECT_EQ((QStringList{QStringLiteral("1b.jpg"), QStringLiteral("2c.jpg"), QStringLiteral("3a.jpg")}), order);
    EXPECT_EQ(0, form->StringGrid1->verticalHeader()->visualIndex(0)); // the header shows rows in place
    EXPECT_EQ(2, form->StringGrid1->TopRow());
    // The order is what the schedule shows: a move is a change to save.
    EXPECT_TRUE(form->SaveAction->isEnabled());

    form->StringGrid1->verticalHeader()->moveSection(2, 1);
    EXPECT_EQ(QStringLiteral("a.jpg"), Row(1)[1]);
    EXPECT_EQ(QStringLiteral("c.jpg"), Row(2)[1]);
}

TEST_F(EditorTest, DraggingANumberCellMovesTheRow)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    form->Model().SetModified(false);
    form->show();
    QHeaderView *header = form->StringGrid1->verticalHeader();
    QWidget *numbers = header->viewport();
    auto centre = [&](int row) { return QPoint(15, header->sectionViewportPosition(row) + 7); };
    QTest::mousePress(numbers, Qt::LeftButton, Qt::NoModifier, centre(0));
    // QTest's moves carry no button; a drag needs the left button held.
    for (int y = centre(0).y() + 3; y <= centre(2).y() + 3; y += 3) {
        const QPoint at(15, y);
        QMouseEvent move(QEvent::MouseMove, at, numbers->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(numbers, &move);
    }
    QTest::mouseRelease(numbers, Qt::LeftButton, Qt::NoModifier, QPoint(15, centre(2).y() + 3));
    EXPECT_EQ((QStringList{QStringLiteral("b.jpg"), QStringLiteral("c.jpg"), QStringLiteral("a.jpg"),
                           QStringLiteral("d.jpg")}),
              (QStringList{Row(0)[1], Row(1)[1], Row(2)[1], Row(3)[1]}));
    EXPECT_EQ(QStringLiteral("3"), Row(2)[0]);
    EXPECT_TRUE(form->SaveAction->isEnabled());
}

TEST_F(EditorTest, GridSelectsWholeRowBlocksAndTheRightButtonKeepsThem)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    form->resize(571, 406);
    form->show();
    WallPaperGrid *grid = form->StringGrid1;
    QWidget *viewport = grid->viewport();
    auto rowPoint = [&](int row) { return grid->visualRect(Model().index(row, 1)).center(); };

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, rowPoint(1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, rowPoint(3));
    EXPECT_EQ(1, grid->TopRow());
    EXPECT_EQ(3, grid->BottomRow());
    EXPECT_EQ(3 * WallPaperGridModel::ColumnCount, grid->selectionModel()->selectedIndexes().size());

    QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier, rowPoint(0));
    QTest::mouseRelease(viewport, Qt::RightButton, Qt::NoModifier, rowPoint(0));
    EXPECT_EQ(1, grid->TopRow());
    EXPECT_EQ(3, grid->BottomRow());

    QWidget *numbers = grid->verticalHeader()->viewport();
    const QPoint numberOfRow0(15, grid->verticalHeader()->sectionViewportPosition(0) + 7);
    QTest::mousePress(numbers, Qt::RightButton, Qt::NoModifier, numberOfRow0);
    QTest::mouseRelease(numbers, Qt::RightButton, Qt::NoModifier, numberOfRow0);
    EXPECT_EQ(1, grid->TopRow());
    EXPECT_EQ(3, grid->BottomRow());

    // Below the last row: the selection stays as it was.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(20, viewport->height() - 2));
    EXPECT_EQ(1, grid->TopRow());

    form->KakudaiAction->trigger();
    EXPECT_EQ((QStringList{kTile, QStringLiteral("拡大"), QStringLiteral("拡大"), QStringLiteral("拡大")}),
              (QStringList{Row(0)[3], Row(1)[3], Row(2)[3], Row(3)[3]}));
    form->ChuouAction->trigger();
    EXPECT_EQ(QStringLiteral("中央"), Row(2)[3]);
}

TEST_F(EditorTest, ChangeNowAppliesOnlyTheTopmostSelectedRow)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg"}));
    form->StringGrid1->SelectRows(1, 1);
    form->KakudaiAction->trigger();
    form->Model().SetModified(false);
    form->StringGrid1->SelectRows(1, 2);
    SetCorrectionPercent(150);
    form->Model().SetModified(false);
    form->ChangeWallPaperAction->trigger();
    ASSERT_EQ(1u, host.applied.size());
    EXPECT_EQ(Utf8ToCp932(home.File("b.jpg")), host.applied[0].path);
    EXPECT_EQ(2, host.applied[0].tileValue);
    EXPECT_EQ(150, host.applied[0].correction);
    EXPECT_FALSE(form->SaveAction->isEnabled());
}

TEST_F(EditorTest, ChangeNowWithAnUndecodableCorrectionReportsTheConversionError)
{
    const std::string list = "[Main]\r\nIdx=0\r\nfile0=/p/a.jpg,\x92\x86\x89\x9B,abc%,\r\n";
    WriteFileBytes(home.File("bad.dat"), list);
    dialogs.SetNextFileName(QString::fromStdString(home.File("bad.dat")));
    form->OpenAction->trigger();
    form->ChangeWallPaperAction->trigger();
    EXPECT_TRUE(host.applied.empty());
    ASSERT_EQ(1u, ErrorReports());
    EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages.back().title);
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("'abc")));
    EXPECT_TRUE(dialogs.messages.back().text.endsWith(QStringLiteral("は整数ではありません")));
}

TEST_F(EditorTest, ErrorsOfEveryKindReachTheOneErrorReport)
{
    AddPictures(Paths({"a.jpg"}));
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { throw EInOutError("ディスクがいっぱいです"); }, QStringLiteral("ディスクがいっぱいです")},
        {[] { throw std::bad_alloc(); }, QStringLiteral("メモリが不足しています。")},
        {[] { throw 42; }, QStringLiteral("不明なエラーが発生しました。")}, // no std::exception at all
        {[] { throw EAbort(); }, QString()},                                // silent
    };
    size_t reports = 0;
    for (const auto &[raise, text] : cases) {
        host.onApply = raise;
        form->ChangeWallPaperAction->trigger();
        if (text.isEmpty()) {
            EXPECT_EQ(reports, ErrorReports());
            continue;
        }
        ASSERT_EQ(++reports, ErrorReports());
        EXPECT_EQ(QStringLiteral("Tapisto"), dialogs.messages.back().title);
        EXPECT_EQ(text, dialogs.messages.back().text);
    }
    EXPECT_TRUE(host.applied.empty());
}

TEST_F(EditorTest, CorrectionDialogChoicesAndCancel)
{
    AddPictures(Paths({"a.jpg", "b.jpg"}));
    form->SelAllAction->trigger();
    form->Model().SetModified(false);
    // Cancel: nothing changes, Save stays off.
    WithModal([](QWidget *w) { static_cast<TFormHosei *>(w)->Button2->click(); },
              [&] { form->HoseiAction->trigger(); });
    EXPECT_TRUE(form->HoseiCancelled);
    EXPECT_EQ(QString(), Row(0)[4]);
    EXPECT_FALSE(form->SaveAction->isEnabled());
    // OK without touching anything: automatic.
    WithModal([](QWidget *w) { static_cast<TFormHosei *>(w)->Button1->click(); },
              [&] { form->HoseiAction->trigger(); });
    EXPECT_FALSE(form->HoseiCancelled);
    EXPECT_EQ(QStringLiteral("自動"), Row(0)[4]);
    EXPECT_EQ(QStringLiteral("自動"), Row(1)[4]);
    EXPECT_TRUE(form->SaveAction->isEnabled());
    // 補正を行わない with OK empties the corrections.
    WithModal(
        [](QWidget *w) {
            auto *hosei = static_cast<TFormHosei *>(w);
            hosei->RadioButton3->click();
            hosei->Button1->click();
        },
        [&] { form->HoseiAction->trigger(); });
    EXPECT_EQ(QString(), Row(0)[4]);
    // The close box cancels: the dialog opens on 自動 whatever the rows hold, and a row's 50% stays.
    form->StringGrid1->SelectRows(0, 0);
    SetCorrectionPercent(50);
    EXPECT_EQ(QStringLiteral("50%"), Row(0)[4]);
    form->Model().SetModified(false);
    WithModal(
        [](QWidget *w) {
            auto *hosei = static_cast<TFormHosei *>(w);
            EXPECT_TRUE(hosei->RadioButton1->isChecked());
            hosei->close();
        },
        [&] { form->HoseiAction->trigger(); });
    EXPECT_TRUE(form->HoseiCancelled);
    EXPECT_EQ(QStringLiteral("50%"), Row(0)[4]);
    EXPECT_FALSE(form->SaveAction->isEnabled());
}

TEST_F(EditorTest, PreviewOnlyOnDoubleClickAndKeepsThePictureOnFailure)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(home.File("red.bmp")), "BMP"));
    AddPictures(Paths({"red.bmp", "missing.bmp"}));
    form->StringGrid1->SelectRows(0, 1);
    EXPECT_EQ(nullptr, form->Image1->Picture().Graphic());

    form->StringGrid1DbClick();
    EXPECT_EQ(4, form->Image1->Picture().Width());
    EXPECT_EQ(0u, ErrorReports());

    form->StringGrid1->SelectRows(1, 1);
    EXPECT_EQ(Utf8ToCp932(home.File("red.bmp")), form->Image1->FileName()); // selecting is not previewing
    form->StringGrid1->OnDoubleClick();
    EXPECT_EQ(1u, ErrorReports());
    EXPECT_EQ(4, form->Image1->Picture().Width());
    form->NewAction->trigger(); // New keeps the preview as well
    EXPECT_EQ(4, form->Image1->Picture().Width());
}

TEST_F(EditorTest, ToolbarsAndMenusHoldTheirCommands)
{
    auto captions = [](const QList<QAction *> &actions) {
        QStringList out;
        for (QAction *a : actions)
            if (a->isVisible() || a->isSeparator())
                out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        return out;
    };
    EXPECT_EQ((QStringList{QStringLiteral("NewAction"), QStringLiteral("OpenAction"), QStringLiteral("SaveAction"),
                           QStringLiteral("ExitAction"), QStringLiteral("-"), QStringLiteral("ReadPicAction"),
                           QStringLiteral("DeleteAction")}),
              captions(form->ToolBar2->actions()));
    EXPECT_EQ(
        (QStringList{QStringLiteral("ChangeWallPaperAction"), QStringLiteral("-"), QStringLiteral("ChuouAction"),
                     QStringLiteral("NarabeteAction"), QStringLiteral("KakudaiAction"), QStringLiteral("HoseiAction")}),
        captions(form->ToolBar3->actions()));
    EXPECT_EQ((QStringList{QStringLiteral("ChangeWallPaperAction"), QStringLiteral("-"), QStringLiteral("ChuouAction"),
                           QStringLiteral("NarabeteAction"), QStringLiteral("KakudaiAction"),
                           QStringLiteral("HoseiAction"), QStringLiteral("-"), QStringLiteral("DeleteAction")}),
              captions(form->PopupMenu1->actions()));
    EXPECT_EQ(QStringLiteral("削除（リストより壁紙を削除します）"), form->DeleteAction->toolTip());
    EXPECT_FALSE(form->ExitAction->icon().isNull());

    form->show();
    form->ToolBar2->hide();
    form->ToolBar3->hide();
    form->ShowTBarAction->trigger();
    EXPECT_TRUE(form->ToolBar2->isVisible());
    EXPECT_TRUE(form->ToolBar3->isVisible());
}

TEST_F(EditorTest, AboutBoxOpensFromTheHelpMenu)
{
    WithModal(
        [&](QWidget *w) {
            EXPECT_EQ(QStringLiteral("バージョン情報"), w->windowTitle());
            QTest::keyClick(w, Qt::Key_Return);
        },
        [&] { form->VergionAction->trigger(); });
}

TEST_F(EditorTest, PreviewKeepsThePicturesProportions)
{
    QImage image(40, 10, QImage::Format_RGB32); // four times as wide as high
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(home.File("wide.bmp")), "BMP"));
    AddPictures(Paths({"wide.bmp"}));
    form->show();
    form->StringGrid1DbClick();
    const QImage shown = form->Image1->grab().toImage();
    ASSERT_EQ(QSize(136, 133), shown.size());
    const QColor red(Qt::red);
    EXPECT_EQ(red, shown.pixelColor(68, 66));  // the middle
    EXPECT_EQ(red, shown.pixelColor(1, 66));   // the full width
    EXPECT_NE(red, shown.pixelColor(68, 5));   // above: the widget's background
    EXPECT_NE(red, shown.pixelColor(68, 127)); // below
    const QRect placed = form->Image1->PictureRect();
    EXPECT_EQ(136, placed.width());
    EXPECT_EQ(34, placed.height());
}

TEST_F(EditorTest, StandardKeysRunTheCommands)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg"}));
    form->show();
    QApplication::setActiveWindow(form.get());
    WallPaperGrid *grid = form->StringGrid1;
    grid->setFocus();
    grid->SelectRows(1, 1);
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(0, grid->TopRow());
    EXPECT_EQ(2, grid->BottomRow());

    grid->SelectRows(1, 1);
    QTest::keyClick(grid, Qt::Key_Delete);
    ASSERT_EQ(2, Model().rowCount());
    EXPECT_EQ(QStringLiteral("c.jpg"), Row(1)[1]);

    dialogs.SetNextFileName(QString::fromStdString(home.File("keys.dat")));
    QTest::keyClick(grid, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(home.File("keys.dat")));
    EXPECT_FALSE(form->SaveAction->isEnabled());

    QTest::keyClick(grid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier); // save as: cancelled
    EXPECT_EQ(3u, dialogs.fileRequests.size());
    EXPECT_EQ(Dialogs::FileMode::Save, dialogs.fileRequests.back().mode);
    QTest::keyClick(grid, Qt::Key_O, Qt::ControlModifier); // cancelled
    EXPECT_EQ(Dialogs::FileMode::Open, dialogs.fileRequests.back().mode);
    EXPECT_EQ(4u, dialogs.fileRequests.size());
    QTest::keyClick(grid, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(QStringLiteral("壁紙の設定-新規作成-"), form->windowTitle());

    // The keys stay with the window when its toolbars are closed, and show in the menus.
    form->ToolBar2->hide();
    AddPictures(Paths({"d.jpg"}));
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(QKeySequence(QKeySequence::Save), form->SaveAction->shortcut());
}
