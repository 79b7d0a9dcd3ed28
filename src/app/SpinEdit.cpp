#include "app/SpinEdit.h"

#include "platform/IntConvert.h"
#include "platform/ui/QtText.h"

#include <QLineEdit>

#include <algorithm>

TSpinEdit::TSpinEdit(int minValue, int maxValue, QWidget *parent)
    : QAbstractSpinBox(parent), minValue_(minValue), maxValue_(maxValue)
{
    setKeyboardTracking(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    SetText(QString::number(minValue));
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] { ClampToRange(); });
}

void TSpinEdit::ClampToRange()
{
    int32_t value = 0;
    if (!TextValue(value))
        return;
    if (value < minValue_ || value > maxValue_)
        SetText(QString::number(std::clamp<int32_t>(value, minValue_, maxValue_)));
}

QString TSpinEdit::Text() const
{
    QString text = lineEdit()->text();
    FoldFullWidth(text);
    return text;
}

void TSpinEdit::SetText(const QString &text)
{
    lineEdit()->setText(text);
}

bool TSpinEdit::TextValue(int32_t &value) const
{
    const QByteArray bytes = Text().toUtf8();
    return TryStrToInt(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), value);
}

int TSpinEdit::CurrentValue() const
{
    int32_t value = 0;
    return TextValue(value) ? value : minValue_;
}

void TSpinEdit::stepBy(int steps)
{
    const long long next = static_cast<long long>(CurrentValue()) + steps;
    SetText(QString::number(std::clamp<long long>(next, minValue_, maxValue_)));
    lineEdit()->selectAll();
}

QValidator::State TSpinEdit::validate(QString &input, int &) const
{
    // Digits typed through an input method are shown, and kept, as the ASCII ones they mean.
    FoldFullWidth(input);
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString &) const {}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}
