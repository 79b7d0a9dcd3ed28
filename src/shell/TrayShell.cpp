#include "shell/TrayShell.h"

#include <QDebug>

void TrayShell::ReportError(const std::exception &error) const
{
    if (errorReport_)
        errorReport_(error);
    else
        qWarning("%s", error.what());
}
