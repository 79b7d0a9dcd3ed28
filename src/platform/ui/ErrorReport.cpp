#include "platform/ui/ErrorReport.h"

#include "platform/Exceptions.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"

#include <QPointer>
#include <QWidget>

QString ErrorText(const std::exception_ptr &error)
{
    return Utf8ToQString(ErrorMessage(error));
}

bool RunGuarded(const ErrorReportFunction &report, const std::function<void()> &handler)
{
    std::exception_ptr error;
    try {
        handler();
        return true;
    } catch (const EAbort &) {
        return false;
    } catch (...) {
        error = std::current_exception();
    }
    try {
        const QString text = ErrorText(error);
        if (report)
            report(text);
        else
            qWarning("%s", qUtf8Printable(text));
    } catch (...) {
        // The report itself failed (out of memory); there is nobody left to tell.
    }
    return false;
}

ErrorReportFunction GeneralErrorReport(Dialogs &dialogs, QWidget *parent)
{
    return [&dialogs, window = QPointer<QWidget>(parent)](const QString &text) {
        dialogs.ErrorReport(window, QStringLiteral("Tapisto"), text);
    };
}

bool RunGuarded(Dialogs &dialogs, QWidget *parent, const std::function<void()> &handler)
{
    return RunGuarded(GeneralErrorReport(dialogs, parent), handler);
}
