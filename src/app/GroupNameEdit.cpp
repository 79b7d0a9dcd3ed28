#include "app/GroupNameEdit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// QLineEdit's own space between the contents' edge and the text.
constexpr int kTextMargin = 2;

} // namespace

GroupNameEdit::GroupNameEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { UpdateToolTip(); });
}

QRect GroupNameEdit::TextArea() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    return contents.marginsRemoved(textMargins()).adjusted(kTextMargin, 0, -kTextMargin, 0);
}

bool GroupNameEdit::TooWide() const
{
    return fontMetrics().horizontalAdvance(text()) > TextArea().width();
}

QString GroupNameEdit::ShownText() const
{
    if (editing_ || !TooWide())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextArea().width());
}

void GroupNameEdit::paintEvent(QPaintEvent *event)
{
    if (editing_ || !TooWide()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(TextArea(), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
}

void GroupNameEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    UpdateToolTip();
}

void GroupNameEdit::StartEditing()
{
    if (editing_)
        return;
    editing_ = true;
    update();
}

void GroupNameEdit::keyPressEvent(QKeyEvent *event)
{
    StartEditing();
    QLineEdit::keyPressEvent(event);
}

void GroupNameEdit::mousePressEvent(QMouseEvent *event)
{
    StartEditing();
    QLineEdit::mousePressEvent(event);
}

void GroupNameEdit::inputMethodEvent(QInputMethodEvent *event)
{
    StartEditing();
    QLineEdit::inputMethodEvent(event);
}

void GroupNameEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    editing_ = false;
    update();
}

void GroupNameEdit::UpdateToolTip()
{
    setToolTip(TooWide() ? text() : QString());
}
