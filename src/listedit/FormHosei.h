#pragma once

#include "platform/ui/ErrorReport.h"

#include <QDialog>
#include <QSpinBox>

#include <string>

class QLabel;
class QPushButton;
class QRadioButton;

// The correction field: whole numbers 10 to 10000, at most 5 characters. While typing it accepts
// ASCII digits, signs and the decimal separator (full-width ones become ASCII as they are typed); when it loses the
// focus (or the dialog closes) the text becomes a whole number in range: below 10 gives 10, above 10000 gives 10000,
// text without any digit gives 100, a fraction is rounded.
class HoseiSpinEdit : public QSpinBox {
public:
    explicit HoseiSpinEdit(QWidget *parent = nullptr);
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    // The editor of the field, for tests that type into it.
    QLineEdit *Editor() const { return lineEdit(); }
};

// The correction dialog. Cancel and the frame's close box set the editor's cancel flag; OK closes it
// with the current choice; Enter and Escape press nothing.
class TFormHosei : public QDialog {
public:
    // Errors escaping a handler go to `report` (logged when there is none).
    TFormHosei(bool &hoseiCancelled, QWidget *owner, ErrorReportFunction report = {});

    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    HoseiSpinEdit *SpinEdit1;
    QRadioButton *RadioButton3;
    QPushButton *Button1;
    QPushButton *Button2;
    QLabel *Label1;

    // The correction text of the choice (CP932): "自動", "<n>%" or empty.
    std::string CorrectionText() const;

    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void Button1Click();
    void Button2Click();

    // The frame's close box: the same as Cancel.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool &hoseiCancelled_;
    ErrorReportFunction report_;
};
