#include "app/ErrorReport.h"

#include "platform/Exceptions.h"
#include "platform/QtText.h"
#include "platform/ui/Dialogs.h"

#include <new>

bool RunGuarded(Dialogs &dialogs, QWidget *parent, const std::function<void()> &handler)
{
    QString text;
    try {
        handler();
        return true;
    } catch (const EAbort &) {
        return false;
    } catch (const Exception &e) {
        text = Utf8ToQString(e.Message());
    } catch (const std::bad_alloc &) {
        text = QStringLiteral("メモリが不足しています。");
    } catch (const std::exception &e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("不明なエラーが発生しました。");
    }
    try {
        dialogs.ErrorReport(parent, QStringLiteral("Tapisto"), text);
    } catch (...) {
        // The report itself failed (out of memory); there is nobody left to tell.
    }
    return false;
}
