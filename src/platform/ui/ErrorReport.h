#pragma once

#include <QString>

#include <exception>
#include <functional>

class Dialogs;
class QWidget;

// Shows the text of an error that escaped a handler.
using ErrorReportFunction = std::function<void(const QString &text)>;

// The text the user is shown for an error (ErrorMessage, platform/Exceptions.h) as widget text.
QString ErrorText(const std::exception_ptr &error);

// Runs a handler; an exception that escapes it goes to `report` as its ErrorText (EAbort stays
// silent; without a report the text is logged). Returns whether the handler ran to its end. Nothing
// escapes, not even from the report itself, so this is the one guard at every boundary to Qt.
bool RunGuarded(const ErrorReportFunction &report, const std::function<void()> &handler);

// The application's general error report: a message box titled "Tapisto" showing the text.
ErrorReportFunction GeneralErrorReport(Dialogs &dialogs, QWidget *parent);
bool RunGuarded(Dialogs &dialogs, QWidget *parent, const std::function<void()> &handler);
