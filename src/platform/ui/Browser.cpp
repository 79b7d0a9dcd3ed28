#include "platform/ui/Browser.h"

#include <QDesktopServices>
#include <QUrl>

bool QtBrowser::Open(const QString &url)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(url));
}
