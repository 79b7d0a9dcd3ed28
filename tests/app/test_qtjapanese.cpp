// Qt's own texts (buttons, file dialogs, context menus) come out Japanese in any locale; the tests
// run in the C locale.
#include "app/QtJapanese.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

TEST(QtJapanese, QtsOwnTextsAreJapaneseInAnyLocale)
{
    std::unique_ptr<QTranslator> translator(InstallQtJapanese(nullptr));
    ASSERT_NE(nullptr, translator) << "Qt's translations are missing (qt6-translations-l10n, scripts/deps.sh)";

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(QStringLiteral("はい(&Y)"), box.button(QMessageBox::Yes)->text());
    EXPECT_EQ(QStringLiteral("いいえ(&N)"), box.button(QMessageBox::No)->text());
    EXPECT_EQ(QStringLiteral("キャンセル"), box.button(QMessageBox::Cancel)->text());

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    const auto *fileName = dialog.findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    ASSERT_NE(nullptr, lookIn);
    ASSERT_NE(nullptr, fileName);
    EXPECT_NE(QStringLiteral("Look in:"), lookIn->text());
    EXPECT_EQ(QStringLiteral("ファイル名(&N):"), fileName->text());
    QStringList buttons;
    for (const QPushButton *button : dialog.findChildren<QPushButton *>())
        buttons << button->text();
    EXPECT_TRUE(buttons.contains(QStringLiteral("開く(&O)"))) << buttons.join(QLatin1Char(',')).toStdString();

    // The kinds of entry in the dialog's type column, which qtbase_ja leaves out.
    EXPECT_EQ(QStringLiteral("フォルダー"), QCoreApplication::translate("QAbstractFileIconProvider", "Folder"));
    EXPECT_EQ(QStringLiteral("%1 ファイル"), QCoreApplication::translate("QAbstractFileIconProvider", "%1 File"));

    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_TRUE(menu->actions().front()->text().startsWith(QStringLiteral("元に戻す")))
        << menu->actions().front()->text().toStdString();

    // Gone with its translator: the rest of the process is as it was.
    translator.reset();
    EXPECT_EQ(QStringLiteral("&Yes"), QMessageBox().addButton(QMessageBox::Yes)->text());
    EXPECT_EQ(QStringLiteral("Folder"), QCoreApplication::translate("QAbstractFileIconProvider", "Folder"));
}
