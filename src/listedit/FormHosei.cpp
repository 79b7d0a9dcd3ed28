#include "listedit/FormHosei.h"

#include "listedit/ScreenFit.h"
#include "listedit/WallPaperList.h"
#include "platform/ui/QtText.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMinimum = 10;
constexpr int kMaximum = 10000;
constexpr int kEmptyValue = 100;

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsAllowedCharacter(QChar c)
{
    return IsAsciiDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.') ||
           c == QLocale().decimalPoint().front();
}

} // namespace

HoseiSpinEdit::HoseiSpinEdit(QWidget *parent) : QSpinBox(parent)
{
    setRange(kMinimum, kMaximum);
    setSingleStep(1);
    setValue(kEmptyValue);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    lineEdit()->setMaxLength(5);
}

QValidator::State HoseiSpinEdit::validate(QString &input, int &) const
{
    FoldFullWidth(input);
    for (QChar c : input)
        if (!IsAllowedCharacter(c))
            return QValidator::Invalid;
    bool ok = false;
    const int value = input.toInt(&ok);
    // Out-of-range and unfinished text stays while typing and is corrected by fixup.
    return ok && value >= kMinimum && value <= kMaximum ? QValidator::Acceptable : QValidator::Intermediate;
}

void HoseiSpinEdit::fixup(QString &input) const
{
    QString text = input;
    FoldFullWidth(text);
    text.replace(QLocale().decimalPoint(), QStringLiteral("."));
    bool ok = false;
    double number = text.toDouble(&ok);
    if (!ok) {
        // A lone sign, a stray separator or nothing at all: only the digits, if any, count.
        QString digits;
        for (QChar c : text)
            if (IsAsciiDigit(c))
                digits += c;
        number = digits.isEmpty() ? kEmptyValue : digits.toDouble();
        if (!digits.isEmpty() && text.startsWith(QLatin1Char('-')))
            number = -number;
    }
    const double clamped = std::clamp(std::round(number), double(kMinimum), double(kMaximum));
    input = QString::number(static_cast<int>(clamped));
}

TFormHosei::TFormHosei(bool &hoseiCancelled, QWidget *owner, ErrorReportFunction report)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      hoseiCancelled_(hoseiCancelled), report_(std::move(report))
{
    setObjectName(QStringLiteral("FormHosei"));
    setWindowTitle(QStringLiteral("補正設定"));
    setFixedSize(185, 140);
    move(288, 162);

    RadioButton1 = new QRadioButton(QStringLiteral("自動補正"), this);
    RadioButton2 = new QRadioButton(QStringLiteral("補正値を設定"), this);
    SpinEdit1 = new HoseiSpinEdit(this);
    Label1 = new QLabel(QStringLiteral("％"), this);
    RadioButton3 = new QRadioButton(QStringLiteral("補正を行わない"), this);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));

    RadioButton1->setGeometry(12, 8, 160, 20);
    RadioButton2->setGeometry(12, 32, 160, 20);
    SpinEdit1->setGeometry(32, 56, 76, 22);
    Label1->setGeometry(112, 56, 20, 22);
    RadioButton3->setGeometry(12, 84, 160, 20);
    Button1->setGeometry(12, 110, 76, 24);
    Button2->setGeometry(97, 110, 76, 24);

    RadioButton1->setChecked(true);
    SpinEdit1->setEnabled(false);
    // Neither button is the default: Enter presses nothing.
    for (QPushButton *b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, SpinEdit1);
    setTabOrder(SpinEdit1, RadioButton3);
    setTabOrder(RadioButton3, Button1);
    setTabOrder(Button1, Button2);
    FitToScreen(this);

    const std::pair<QAbstractButton *, void (TFormHosei::*)()> handlers[] = {
        {RadioButton1, &TFormHosei::RadioButton1Click},
        {RadioButton2, &TFormHosei::RadioButton2Click},
        {RadioButton3, &TFormHosei::RadioButton3Click},
        {Button1, &TFormHosei::Button1Click},
        {Button2, &TFormHosei::Button2Click}};
    for (const auto &[button, handler] : handlers)
        connect(button, &QAbstractButton::clicked, this,
                [this, handler = handler] { RunGuarded(report_, [this, handler] { (this->*handler)(); }); });
}

std::string TFormHosei::CorrectionText() const
{
    if (RadioButton1->isChecked())
        return std::string(kCorrectionAuto);
    if (RadioButton2->isChecked())
        return std::to_string(SpinEdit1->value()) + "%";
    return {};
}

void TFormHosei::RadioButton1Click()
{
    SpinEdit1->setEnabled(false);
}
void TFormHosei::RadioButton2Click()
{
    SpinEdit1->setEnabled(true);
}
void TFormHosei::RadioButton3Click()
{
    SpinEdit1->setEnabled(false);
}

void TFormHosei::Button1Click()
{
    // Whatever is still typed in the field becomes a whole number in range first.
    SpinEdit1->interpretText();
    done(QDialog::Accepted);
}

void TFormHosei::Button2Click()
{
    hoseiCancelled_ = true;
    done(QDialog::Rejected);
}

void TFormHosei::reject()
{
    // Closing the dialog by its frame keeps the rows as they are, as Cancel does: the dialog opens
    // on 自動 whatever the rows hold, so applying its choice would overwrite them unasked.
    Button2Click();
}

void TFormHosei::keyPressEvent(QKeyEvent *event)
{
    // QDialog would press the default button on Enter and cancel on Escape; this dialog does neither.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
