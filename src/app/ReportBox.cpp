#include "app/ReportBox.h"

TReportBox::TReportBox(Dialogs &dialogs, QWidget *parent)
    : dialogs_(dialogs), parent_(parent), retext_(std::make_shared<Dialogs::SetText>())
{
}

void TReportBox::Show(const QString &text, Dialogs::Icon icon)
{
    if (open_) {
        ++more_;
        newest_ = text;
        if (*retext_)
            (*retext_)(OpenText());
        return;
    }
    open_ = true;
    first_ = text;
    more_ = 0;
    struct Closed {
        bool &open;
        ~Closed() { open = false; }
    } closed{open_};
    dialogs_.ShowLiveMessage(
        parent_, {QStringLiteral("Tapisto"), text, icon, {Dialogs::Button::Ok}, Dialogs::Button::Ok}, retext_);
}

ErrorReportFunction TReportBox::AsErrorReport()
{
    return [this](const QString &text) { Show(text); };
}

QString TReportBox::OpenText() const
{
    return first_ +
           QStringLiteral("\n\nこのあと、さらに %1 件の報告がありました。最新のもの:\n%2").arg(more_).arg(newest_);
}
