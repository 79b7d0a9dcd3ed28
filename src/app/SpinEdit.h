#pragma once

#include <QAbstractSpinBox>

#include <cstdint>

// A spin edit that keeps whatever text the user types: the arrows step within [min, max], and an
// integer outside the range is brought into it when the field loses the focus; any other text is
// left as it is, so a text that is not an integer fails only where it is converted. Full-width digits
// and signs (from an input method) are taken as the ASCII ones.
class TSpinEdit : public QAbstractSpinBox {
public:
    TSpinEdit(int minValue, int maxValue, QWidget *parent = nullptr);

    QString Text() const;
    void SetText(const QString &text);
    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    // An integer text outside [min, max] becomes the nearer bound; other text stays.
    void ClampToRange();

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    // The text's integer; false when it is none.
    bool TextValue(int32_t &value) const;
    // The value the arrows start from: the text's integer, or the minimum when it is none.
    int CurrentValue() const;

    int minValue_;
    int maxValue_;
};
