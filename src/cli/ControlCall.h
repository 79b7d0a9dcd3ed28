#pragma once

struct ControlReply;

// Raises the running program's reason as an Exception when it refused or failed the command.
void ThrowIfFailed(const ControlReply &reply);
