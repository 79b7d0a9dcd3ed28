#pragma once

#include "platform/ui/Dialogs.h"
#include "platform/ui/ErrorReport.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

// The main window's reports, one box at a time. A box runs its own event loop, in which timer ticks
// and commands from the session bus go on; a report that comes while a box is open is counted into
// that box, which then says how many came and shows the newest, instead of opening another box over it.
class TReportBox {
public:
    TReportBox(Dialogs &dialogs, QWidget *parent);

    // Shows `text` in a box captioned "Tapisto", or counts it into the one that is open.
    void Show(const QString &text, Dialogs::Icon icon = Dialogs::Icon::Error);
    // Show as the general error report of the main window's handlers.
    ErrorReportFunction AsErrorReport();
    bool IsOpen() const { return open_; }

private:
    QString OpenText() const;

    Dialogs &dialogs_;
    QPointer<QWidget> parent_;
    bool open_ = false;
    QString first_;
    QString newest_;
    int more_ = 0;
    std::shared_ptr<Dialogs::SetText> retext_;
};
