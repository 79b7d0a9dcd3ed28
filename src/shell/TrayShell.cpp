#include "shell/TrayShell.h"

void TrayShell::RunHandler(const std::function<void()> &handler) const
{
    RunGuarded(errorReport_, handler);
}
