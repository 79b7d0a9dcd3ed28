#pragma once

#include "platform/desktop/CommandRunner.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopDetect.h"

#include <memory>

// The backend of `kind`. Commands run through `runner`, which must outlive the backend.
// Raises Exception for DesktopKind::None: no recognised desktop is an error, never a silent success.
std::unique_ptr<Desktop> CreateDesktop(DesktopKind kind, CommandRunner &runner, const DesktopEnvironment &env);
