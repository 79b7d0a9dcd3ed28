#pragma once

#include "platform/Exceptions.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

// A command that the tray menu would show disabled at this moment; the message says why.
class ECommandRefused : public Exception {
public:
    using Exception::Exception;
};

// The schedule's state as the tray menu shows it.
enum class ControlState { Stopped, Running, Paused };

// What the running program reports about itself. Texts are UTF-8.
struct ControlStatus {
    std::string group; // UseSection
    ControlState state = ControlState::Stopped;
    bool randomOrder = false;
    int32_t nextEntry = 0;       // the entry the next change shows (in random order: drawn then)
    std::string picture;         // the picture last applied, "" before the first
    int64_t secondsToNext = -1;  // -1 when no timed change is due
    std::string desktop;         // the desktop backend's name
    std::string readBack;        // what the desktop reported after the last change
    std::string lastError;       // "" when the last change succeeded
    std::string monitors;        // the monitors of the last change, as --monitors takes them
    std::string pictures;        // the last change's pictures, one per monitor, one per line
    std::string monitorFallback; // why one picture per monitor was asked for but one was shown
    // A change is being made now; the values of the last change above still tell of the one before.
    bool changing = false;
};

// How next and back answer once their change has been made: the pictures it passed over (UTF-8, one
// per line; empty when none), or the error that ended it (null when it went through).
using ChangeAnswer = std::function<void(const std::string &skipped, const std::exception_ptr &error)>;

// The running program's commands as the session bus offers them: the tray menu's commands, through
// the same code. Each raises ECommandRefused when the menu would refuse it.
class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    // Next and back wait for their turn after the changes asked for before them: unless refused,
    // `answer` is called once, when the change has been made or has failed (possibly at once).
    virtual void ControlNext(ChangeAnswer answer) = 0;
    virtual void ControlBack(ChangeAnswer answer) = 0;
    virtual void ControlPause() = 0;
    virtual void ControlResume() = 0;
    // Brings up the main window, as a double click on the tray icon does.
    virtual void ControlShow() = 0;
    virtual ControlStatus ControlStatusNow() const = 0;

    // Told after every change of the schedule: the picture's path (UTF-8) and the entry number.
    std::function<void(const std::string &picture, int32_t entry)> OnChanged;
};

// "stopped", "running", "paused".
const char *ControlStateName(ControlState state);
