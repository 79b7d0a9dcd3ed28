#pragma once

#include "cli/CliArgs.h"
#include "platform/desktop/Monitors.h"

#include <string>

// Helpers shared by the tapistoctl commands (the Qt-free ones are in CliArgs.h).

// The layout of `--monitors`; raises UsageError when it is none.
MonitorLayout ParseMonitorsOption(const std::string &text);
