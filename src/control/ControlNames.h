#pragma once

// Where the running program answers on the user's session bus. The application id is also the
// desktop entry's name.
inline constexpr char kControlService[] = "org.tapisto.Tapisto";
inline constexpr char kControlPath[] = "/org/tapisto/Tapisto";
inline constexpr char kControlInterface[] = "org.tapisto.Tapisto1";
// A command the tray menu would show disabled right now.
inline constexpr char kControlErrorRefused[] = "org.tapisto.Tapisto1.Error.Refused";
// A command that ran and failed (a change that could not be made).
inline constexpr char kControlErrorFailed[] = "org.tapisto.Tapisto1.Error.Failed";
// The keys of Status, in the order `tapistoctl status` prints them: the one list that both the
// program's answer and the client's output follow.
inline constexpr const char *kControlStatusKeys[] = {
    "group",   "state",     "order",      "next_entry", "picture",  "seconds_to_next",
    "desktop", "read_back", "last_error", "monitors",   "pictures", "monitor_fallback",
};
