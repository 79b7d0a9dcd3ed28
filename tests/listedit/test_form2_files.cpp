#include "EditorFixture.h"

#include "listedit/WallPaperList.h"

#include <QCloseEvent>

#include <filesystem>

namespace {

// A group as a list file holds it: CP932, CR LF, the position words and corrections of every kind.
std::string SampleList(const std::string &folder)
{
    const std::string f = Utf8ToCp932(folder);
    return "[Main]\r\n"
           "Idx=3\r\n"
           "file0=" +
           f +
           "sea.jpg,\x95\xC0\x82\xD7\x82\xC4,,\r\n"
           "file1=" +
           f +
           "\x95\x5C\\hill.bmp,\x92\x86\x89\x9B,\x8E\xA9\x93\xAE,\r\n"
           "file2=" +
           f +
           "rose.jpg,\x8A\x67\x91\xE5,150%,\r\n"
           "file3=" +
           f + "odd.jpg,centre?,10000%,\r\n";
}

const QString kDiscard = QStringLiteral("現在の内容を破棄します。よろしいですか？");

} // namespace

TEST_F(EditorTest, OpenThenSaveAsRoundTripsByteForByte)
{
    const std::string original = SampleList(home.Path());
    WriteFileBytes(home.File("group.dat"), original);
    dialogs.SetNextFileName(QString::fromStdString(home.File("group.dat")));
    form->OpenAction->trigger();

    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_EQ(QStringLiteral("壁紙リスト|*.dat"), dialogs.fileRequests[0].filter);
    EXPECT_EQ(QStringLiteral("dat"), dialogs.fileRequests[0].defaultExtension);
    EXPECT_EQ(QString::fromStdString(home.Path()), dialogs.fileRequests[0].initialFolder);
    EXPECT_EQ(QStringLiteral("壁紙の設定-リスト編集-group.dat"), form->windowTitle());
    EXPECT_FALSE(form->SaveAction->isEnabled());
    ASSERT_EQ(4, Model().rowCount());
    // The folder keeps its separator; "表" (ending in the byte 0x5C) stays part of the folder name.
    EXPECT_EQ(QStringLiteral("hill.bmp"), Row(1)[1]);
    EXPECT_EQ(QString::fromStdString(home.Path()) + QStringLiteral("表\\"), Row(1)[2]);
    EXPECT_EQ((QStringList{QStringLiteral("3"), QStringLiteral("rose.jpg"), QString::fromStdString(home.Path()),
                           QStringLiteral("拡大"), QStringLiteral("150%")}),
              Row(2));
    EXPECT_EQ(QStringLiteral("centre?"), Row(3)[3]);

    dialogs.SetNextFileName(QString::fromStdString(home.File("copy.dat")));
    form->NameSaveAction->trigger();
    const Dialogs::FileRequest &save = dialogs.fileRequests.back();
    EXPECT_EQ(Dialogs::FileMode::Save, save.mode);
    EXPECT_TRUE(save.confirmOverwrite);
    EXPECT_TRUE(save.fileName.isEmpty()); // the name box starts empty; the filter shows *.dat
    EXPECT_EQ(original, ReadFileBytes(home.File("copy.dat")));
    EXPECT_EQ(Utf8ToCp932(home.File("copy.dat")), form->ListFileName);
    EXPECT_EQ(QStringLiteral("壁紙の設定-リスト編集-copy.dat"), form->windowTitle());

    // Save with a name writes there without asking.
    form->StringGrid1->SelectRows(3, 3);
    form->DeleteAction->trigger();
    EXPECT_TRUE(form->SaveAction->isEnabled());
    form->SaveAction->trigger();
    EXPECT_FALSE(form->SaveAction->isEnabled());
    EXPECT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ(original.substr(0, original.find("file3")).replace(12, 1, "2"), ReadFileBytes(home.File("copy.dat")));
}

TEST_F(EditorTest, SaveAsNeverWritesAFileNamedByAPattern)
{
    AddPictures(Paths({"a.jpg"}));
    for (const char *name : {"*.dat", "photo?.dat", "*"}) {
        dialogs.SetNextFileName(QString::fromStdString(home.File(name)));
        const size_t before = dialogs.messages.size();
        form->NameSaveAction->trigger();
        ASSERT_EQ(before + 1, dialogs.messages.size()) << name;
        EXPECT_EQ(QStringLiteral("警告"), dialogs.messages.back().title) << name;
        EXPECT_FALSE(std::filesystem::exists(home.File(name))) << name;
    }
    EXPECT_TRUE(form->ListFileName.empty());
    EXPECT_TRUE(form->SaveAction->isEnabled()); // still unsaved
    EXPECT_TRUE(std::filesystem::is_empty(home.Path()));
}

TEST_F(EditorTest, BlankFirstEntryDoesNotHideTheEntriesAfterIt)
{
    // A blank line after the header is an entry with empty fields; the pictures after it must
    // neither vanish from the commands nor be lost when the group is saved again.
    WriteFileBytes(home.File("gap.dat"), "[Main]\r\nIdx=1\r\n\r\nfile1=/p/a.jpg,\x8A\x67\x91\xE5,,\r\n");
    dialogs.SetNextFileName(QString::fromStdString(home.File("gap.dat")));
    form->OpenAction->trigger();
    ASSERT_EQ(2, Model().rowCount());
    EXPECT_EQ(QStringLiteral("1"), Row(0)[0]);
    EXPECT_EQ(QStringLiteral("a.jpg"), Row(1)[1]);
    form->StringGrid1->SelectRows(1, 1);
    form->ChuouAction->trigger();
    EXPECT_TRUE(form->SaveAction->isEnabled());
    form->SaveAction->trigger();
    EXPECT_EQ("[Main]\r\nIdx=1\r\nfile0=,,,\r\nfile1=/p/a.jpg,\x92\x86\x89\x9B,,\r\n",
              ReadFileBytes(home.File("gap.dat")));
}

TEST_F(EditorTest, SaveWithoutNameAsksForOneAndAnEmptyListIsSavedAsAnEmptyGroup)
{
    AddPictures(Paths({"a.jpg"}));
    form->SaveAction->trigger(); // dialog cancelled: still unsaved
    EXPECT_TRUE(form->SaveAction->isEnabled());
    EXPECT_EQ(Dialogs::FileMode::Save, dialogs.fileRequests.back().mode);

    dialogs.SetNextFileName(QString::fromStdString(home.File("one.dat")));
    form->SaveAction->trigger();
    EXPECT_FALSE(form->SaveAction->isEnabled());
    EXPECT_EQ("[Main]\r\nIdx=0\r\nfile0=" + home.File("a.jpg") + ",\x95\xC0\x82\xD7\x82\xC4,,\r\n",
              ReadFileBytes(home.File("one.dat")));

    // The editor saves what it says it saved: the group is there, without pictures.
    form->SelAllAction->trigger();
    form->DeleteAction->trigger();
    form->SaveAction->trigger();
    EXPECT_EQ("[Main]\r\nIdx=-1\r\n", ReadFileBytes(home.File("one.dat")));
    EXPECT_FALSE(form->SaveAction->isEnabled());

    dialogs.SetNextFileName(QString::fromStdString(home.File("new.dat")));
    form->NewAction->trigger();
    form->NameSaveAction->trigger();
    EXPECT_EQ(QStringLiteral("壁紙の設定-リスト編集-new.dat"), form->windowTitle());
    EXPECT_EQ("[Main]\r\nIdx=-1\r\n", ReadFileBytes(home.File("new.dat")));
    dialogs.SetNextFileName(QString::fromStdString(home.File("new.dat")));
    form->OpenAction->trigger();
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(0u, ErrorReports());
}

TEST_F(EditorTest, MovedRowsAreSavedInTheirNewOrder)
{
    AddPictures(Paths({"a.jpg", "b.jpg", "c.jpg"}));
    dialogs.SetNextFileName(QString::fromStdString(home.File("order.dat")));
    form->NameSaveAction->trigger();
    form->StringGrid1->verticalHeader()->moveSection(2, 0); // c.jpg to the top
    EXPECT_TRUE(form->SaveAction->isEnabled());
    form->SaveAction->trigger();
    const WallPaperList saved = ReadWallPaperList(Utf8ToCp932(home.File("order.dat")));
    ASSERT_EQ(3u, saved.size());
    EXPECT_EQ(Utf8ToCp932(home.File("c.jpg")), saved[0].PicturePath);
    EXPECT_EQ(Utf8ToCp932(home.File("a.jpg")), saved[1].PicturePath);

    // Exit now asks about a move that was not saved.
    form->StringGrid1->verticalHeader()->moveSection(0, 1);
    form->show();
    dialogs.SetNextAnswer(Dialogs::Button::No);
    form->ExitAction->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(kDiscard, dialogs.messages.back().text);
}

TEST_F(EditorTest, FailedSaveKeepsTheListMarkedModified)
{
    AddPictures(Paths({"a.jpg"}));
    dialogs.SetNextFileName(QString::fromStdString(home.File("no/such/folder/x.dat")));
    form->NameSaveAction->trigger();
    EXPECT_EQ(1u, ErrorReports());
    EXPECT_TRUE(form->SaveAction->isEnabled());
}

TEST_F(EditorTest, NewAndOpenAskBeforeDiscardingChanges)
{
    AddPictures(Paths({"a.jpg"}));
    dialogs.SetNextAnswer(Dialogs::Button::No);
    form->NewAction->trigger();
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(kDiscard, dialogs.messages[0].text);
    EXPECT_EQ(QStringLiteral("確認"), dialogs.messages[0].title);
    EXPECT_EQ(Dialogs::Button::Yes, dialogs.messages[0].defaultButton);
    EXPECT_FALSE(Model().IsEmpty());

    dialogs.SetNextAnswer(Dialogs::Button::No);
    form->OpenAction->trigger();
    EXPECT_TRUE(dialogs.fileRequests.size() == 1u); // only the add-pictures dialog ran

    dialogs.SetNextAnswer(Dialogs::Button::Yes);
    form->NewAction->trigger();
    EXPECT_TRUE(Model().IsEmpty());
    EXPECT_EQ(QStringLiteral("壁紙の設定-新規作成-"), form->windowTitle());
    EXPECT_FALSE(form->SaveAction->isEnabled());
    form->NewAction->trigger(); // nothing to lose: no question
    EXPECT_EQ(3u, dialogs.messages.size());
}

TEST_F(EditorTest, OpenOfAMissingFileReportsTheError)
{
    dialogs.SetNextFileName(QString::fromStdString(home.File("gone.dat")));
    form->OpenAction->trigger();
    EXPECT_EQ(1u, ErrorReports());
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("gone.dat")));
    EXPECT_TRUE(Model().IsEmpty());
}

TEST_F(EditorTest, ExitAndTheCloseBoxBothAskAndRefreshTheGroups)
{
    AddPictures(Paths({"a.jpg"}));
    form->show();
    dialogs.SetNextAnswer(Dialogs::Button::No);
    form->ExitAction->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(0, host.refreshes);

    form->ExitAction->trigger(); // the default answer is Yes
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(1, host.refreshes);
    EXPECT_LE(1, host.shows);
    EXPECT_FALSE(form->acceptDrops());

    // The close box (and Alt+F4) is the same command.
    auto other = std::make_unique<TForm2>(host, dialogs, browser);
    dialogs.SetNextFileNames({QString::fromStdString(home.File("b.jpg"))});
    other->ReadPicAction->trigger();
    other->show();
    const size_t asked = dialogs.messages.size();
    dialogs.SetNextAnswer(Dialogs::Button::No);
    other->close();
    ASSERT_EQ(asked + 1, dialogs.messages.size());
    EXPECT_EQ(kDiscard, dialogs.messages.back().text);
    EXPECT_TRUE(other->isVisible());
    EXPECT_EQ(1, host.refreshes);

    // A group saved just before the close box is listed: no question, and the groups are refreshed.
    const int shows = host.shows;
    dialogs.SetNextFileName(QString::fromStdString(home.File("saved.dat")));
    other->SaveAction->trigger();
    other->close();
    EXPECT_FALSE(other->isVisible());
    EXPECT_EQ(asked + 1, dialogs.messages.size());
    EXPECT_EQ(2, host.refreshes);
    EXPECT_EQ(shows + 1, host.shows);
}

TEST_F(EditorTest, ShowModalReturnsWhenTheEditorCloses)
{
    QTimer::singleShot(0, [&] { form->ExitAction->trigger(); });
    form->ShowModal();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(1, host.refreshes);
}
