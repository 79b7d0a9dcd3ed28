#include "FakeDialogs.h"
#include "TempHome.h"
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

TEST(Dialogs, FilterTextBecomesQtFilters)
{
    EXPECT_EQ(QStringList{QStringLiteral("壁紙リスト (*.dat)")}, ConvertFilterText(QStringLiteral("壁紙リスト|*.dat")));
    const QStringList two =
        ConvertFilterText(QStringLiteral("すべて (*.jpg;*.bmp)|*.jpg;*.bmp|ビットマップ (*.bmp)|*.bmp"));
    ASSERT_EQ(2, two.size());
    EXPECT_EQ(QStringLiteral("すべて (*.jpg *.bmp)"), two[0]); // the patterns shown once
    EXPECT_EQ(QStringLiteral("ビットマップ (*.bmp)"), two[1]);
    EXPECT_TRUE(ConvertFilterText(QString()).isEmpty());
}

TEST(Dialogs, PatternsInADescriptionAreShownOnceAndOtherParenthesesKept)
{
    const QStringList filters = ConvertFilterText(
        QStringLiteral("すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
                       "JPEG イメージファイル (*.jpg)|*.jpg|Toy (beta)|*.toy|Old (*.x)|*.y|Plain|*.p"));
    const QStringList expected = {
        QStringLiteral("すべてのファイル (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf)"),
        QStringLiteral("JPEG イメージファイル (*.jpg)"),
        QStringLiteral("Toy (beta) (*.toy)"),
        QStringLiteral("Old (*.y)"), // the patterns that really apply
        QStringLiteral("Plain (*.p)"),
    };
    EXPECT_EQ(expected, filters);
}

TEST(Dialogs, WildcardsAreFoundInTheNameOnly)
{
    EXPECT_TRUE(HasWildcard(QStringLiteral("/home/u/*.dat")));
    EXPECT_TRUE(HasWildcard(QStringLiteral("a?.dat")));
    EXPECT_FALSE(HasWildcard(QStringLiteral("/we*ird/ok.dat")));
    EXPECT_FALSE(HasWildcard(QStringLiteral("/home/u/group.dat")));
}

TEST(QtDialogs, APatternGivenAsTheSaveNameBecomesTheFilter)
{
    static int argc = 1;
    static char name[] = "test_ui_platform";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    TempHome home;
    QtDialogs dialogs;
    Dialogs::FileRequest request;
    request.mode = Dialogs::FileMode::Save;
    request.filter = QStringLiteral("壁紙リスト|*.dat");
    request.defaultExtension = QStringLiteral("dat");
    request.initialFolder = QString::fromStdString(home.Path());
    int step = 0;
    QStringList secondFilters;
    std::function<void()> drive = [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            QTimer::singleShot(10, drive);
            return;
        }
        auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nullptr, nameEdit);
        if (step++ == 0) {
            nameEdit->setText(QStringLiteral("*.dat")); // as if Enter was pressed on a pattern
            QMetaObject::invokeMethod(dialog, "accept");
            QTimer::singleShot(0, drive);
            return;
        }
        secondFilters = dialog->nameFilters();
        nameEdit->setText(QStringLiteral("kept"));
        QMetaObject::invokeMethod(dialog, "accept");
    };
    QTimer::singleShot(0, drive);
    const QStringList chosen = dialogs.GetFileNames(nullptr, request);
    EXPECT_EQ(2, step);
    EXPECT_EQ(QStringList{QStringLiteral("*.dat")}, secondFilters);
    EXPECT_EQ(QStringList{QString::fromStdString(home.File("kept.dat"))}, chosen);
}

TEST(Dialogs, TheCommonBoxesHaveTheirCaptionsIconsAndButtons)
{
    FakeDialogs d;
    d.Warning(nullptr, QStringLiteral("w"));
    d.SetNextAnswer(Dialogs::Button::No);
    EXPECT_FALSE(d.Confirm(nullptr, QStringLiteral("c")));
    d.SetNextAnswer(Dialogs::Button::Yes);
    EXPECT_TRUE(d.Confirm(nullptr, QStringLiteral("c")));
    d.ErrorReport(nullptr, QStringLiteral("Tapisto"), QStringLiteral("e"));
    using B = Dialogs::Button;
    ASSERT_EQ(4u, d.messages.size());
    const Dialogs::MessageRequest &warning = d.messages[0];
    EXPECT_EQ(QStringLiteral("警告"), warning.title);
    EXPECT_EQ(QStringLiteral("w"), warning.text);
    EXPECT_EQ(Dialogs::Icon::Warning, warning.icon);
    EXPECT_EQ((std::vector<B>{B::Ok}), warning.buttons);
    const Dialogs::MessageRequest &confirm = d.messages[1];
    EXPECT_EQ(QStringLiteral("確認"), confirm.title);
    EXPECT_EQ(Dialogs::Icon::Question, confirm.icon);
    EXPECT_EQ((std::vector<B>{B::Yes, B::No}), confirm.buttons);
    EXPECT_EQ(B::Yes, confirm.defaultButton);
    const Dialogs::MessageRequest &error = d.messages[3];
    EXPECT_EQ(QStringLiteral("Tapisto"), error.title);
    EXPECT_EQ(QStringLiteral("e"), error.text);
    EXPECT_EQ(Dialogs::Icon::Error, error.icon);
    EXPECT_EQ((std::vector<B>{B::Ok}), error.buttons);
}
