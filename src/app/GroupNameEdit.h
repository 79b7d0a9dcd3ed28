#pragma once

#include <QLineEdit>

// The text field of the group box. A name wider than the field is shown cut in the middle ("長い名…
// 前.dat") until the user edits it, so that its start and its end both show, and the whole name is
// the field's tooltip. A key or a click in the field shows the text as it is, until the field loses
// the focus: having the focus alone (the field is the window's first) does not count.
class GroupNameEdit : public QLineEdit {
public:
    explicit GroupNameEdit(QWidget *parent = nullptr);

    // What the field shows now: the text, or the text cut to fit.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    void StartEditing();
    // Where the text is drawn: the field's contents less the margins QLineEdit keeps.
    QRect TextArea() const;
    bool TooWide() const;
    void UpdateToolTip();

    bool editing_ = false;
};
