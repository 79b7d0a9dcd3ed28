#include "platform/ui/ErrorReport.h"

#include "platform/Exceptions.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"

#include <QPointer>
#include <QWidget>

#include <new>

QString ErrorText(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception &e) {
        return Utf8ToQString(e.Message());
    } catch (const std::bad_alloc &) {
        return QStringLiteral("メモリが不足しています。");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("不明なエラーが発生しました。");
    }
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
