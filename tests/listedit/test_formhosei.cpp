#include "listedit/FormHosei.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class HoseiTest : public ::testing::Test {
protected:
    HoseiTest() : dialog(cancelled, nullptr) {}

    // Types into the number field and moves the focus away, as clicking OK would.
    QString TypeAndLeave(const QString &keys)
    {
        dialog.RadioButton2->click();
        dialog.SpinEdit1->setFocus();
        dialog.SpinEdit1->Editor()->selectAll();
        QTest::keyClicks(dialog.SpinEdit1->Editor(), keys);
        dialog.RadioButton3->setFocus();
        return dialog.SpinEdit1->text();
    }

    bool cancelled = false;
    TFormHosei dialog;
};

} // namespace

TEST_F(HoseiTest, OpensWithAutomaticAndADisabledField)
{
    EXPECT_EQ(QStringLiteral("補正設定"), dialog.windowTitle());
    EXPECT_EQ(QSize(185, 140), dialog.size());
    EXPECT_TRUE(dialog.RadioButton1->isChecked());
    EXPECT_FALSE(dialog.SpinEdit1->isEnabled());
    EXPECT_EQ(100, dialog.SpinEdit1->value());
    EXPECT_EQ(QStringLiteral("％"), dialog.Label1->text());
    EXPECT_FALSE(dialog.Button1->isDefault() || dialog.Button1->autoDefault());
    EXPECT_FALSE(dialog.Button2->isDefault() || dialog.Button2->autoDefault());
    EXPECT_EQ(std::string("\x8E\xA9\x93\xAE"), dialog.CorrectionText());
}

TEST_F(HoseiTest, OptionButtonsSwitchTheFieldAndKeepItsValue)
{
    dialog.RadioButton2->click();
    EXPECT_TRUE(dialog.SpinEdit1->isEnabled());
    dialog.SpinEdit1->setValue(250);
    dialog.RadioButton3->click();
    EXPECT_FALSE(dialog.SpinEdit1->isEnabled());
    EXPECT_EQ(std::string(), dialog.CorrectionText());
    dialog.RadioButton2->click();
    EXPECT_EQ(std::string("250%"), dialog.CorrectionText());
    dialog.RadioButton1->click();
    EXPECT_FALSE(dialog.SpinEdit1->isEnabled());
}

TEST_F(HoseiTest, FieldIsClampedWhenItLosesTheFocus)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(QStringLiteral("10"), TypeAndLeave(QStringLiteral("5")));
    EXPECT_EQ(QStringLiteral("10000"), TypeAndLeave(QStringLiteral("99999")));
    EXPECT_EQ(QStringLiteral("10000"), TypeAndLeave(QStringLiteral("123456"))); // the sixth key is refused
    EXPECT_EQ(QStringLiteral("10"), TypeAndLeave(QStringLiteral("-40")));
    EXPECT_EQ(QStringLiteral("1234"), TypeAndLeave(QStringLiteral("1234")));
    EXPECT_EQ(QStringLiteral("10"), TypeAndLeave(QStringLiteral("a5b"))); // letters are not typed
}

TEST_F(HoseiTest, FullWidthDigitsOfAnInputMethodKeepTheirValue)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QLineEdit *editor = dialog.SpinEdit1->Editor();
    // Typed one character at a time, as key events carrying the text.
    const auto typeAndLeave = [&](const QString &text) {
        dialog.RadioButton2->click();
        dialog.SpinEdit1->setFocus();
        editor->selectAll();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(editor, &press);
        }
        dialog.RadioButton3->setFocus();
        return dialog.SpinEdit1->text();
    };
    EXPECT_EQ(QStringLiteral("150"), typeAndLeave(QStringLiteral("１５０")));
    EXPECT_EQ(QStringLiteral("10"), typeAndLeave(QStringLiteral("－５")));
    EXPECT_EQ(QStringLiteral("10"), typeAndLeave(QStringLiteral("٥٠"))); // other scripts' digits: refused, text kept

    // An input method hands over the whole converted text at once.
    dialog.SpinEdit1->setFocus();
    editor->selectAll();
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("２５００"));
    QApplication::sendEvent(editor, &commit);
    EXPECT_EQ(QStringLiteral("2500"), editor->text());
    dialog.Button1->click();
    EXPECT_EQ(std::string("2500%"), dialog.CorrectionText());
}

TEST_F(HoseiTest, TextThatIsNoWholeNumberIsCorrectedBeforeClosing)
{
    dialog.RadioButton2->click();
    for (const auto &[typed, expected] :
         {std::pair{"", "100%"}, {"-", "100%"}, {"12.6", "13%"}, {".", "100%"}, {"+", "100%"}, {"3.2", "10%"}}) {
        dialog.SpinEdit1->Editor()->setText(QString::fromLatin1(typed));
        dialog.Button1->click();
        EXPECT_EQ(std::string(expected), dialog.CorrectionText()) << typed;
    }
    EXPECT_FALSE(cancelled);
}

TEST_F(HoseiTest, CancelAndTheCloseBoxBothSetTheCancelFlag)
{
    dialog.show();
    dialog.RadioButton2->click();
    dialog.SpinEdit1->Editor()->setText(QStringLiteral("7"));
    dialog.close(); // the frame's close box
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(QDialog::Rejected, dialog.result());

    cancelled = false;
    dialog.show();
    dialog.Button2->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(cancelled);

    cancelled = false;
    dialog.show();
    dialog.Button1->click();
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(QDialog::Accepted, dialog.result());
}

TEST_F(HoseiTest, EnterAndEscapePressNothing)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    for (QWidget *focus : {static_cast<QWidget *>(dialog.Button1), static_cast<QWidget *>(dialog.Button2),
                           static_cast<QWidget *>(dialog.RadioButton1)}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        QTest::keyClick(focus, Qt::Key_Enter);
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_FALSE(cancelled);
}
