#pragma once

#include <chrono>
#include <string>

// Keeps the schedule's position still for one change, across processes. The tray program and every
// tapistoctl of the same home folder hold it from reading the position (UseIndex, the stored round of
// random order) to writing it after the change, so that changes made at the same time neither show
// one entry twice nor lose a step; every write of the settings file holds it too, as a write rewrites
// the whole file and would undo another process's write made meanwhile.
//
// It is an flock on Tapisto.lock in the home folder, so the kernel releases it when its holder dies.
// A process may take it again while it holds it (the settings writes inside a change do). It is held
// across the change's render: the entry a change shows is known only once it has been shown (broken
// pictures are passed over), and a render is bounded, so a waiting change waits at most that long.
class ScheduleLock {
public:
    // How long a change waits for another process's change before it gives up.
    static constexpr std::chrono::milliseconds kDefaultWait{30000};

    // Raises Exception, naming the lock file, when another process holds the lock for longer than
    // `wait`. In a home folder where the lock file can be neither made nor opened (read-only), nothing
    // is locked: nothing there can be written either.
    explicit ScheduleLock(std::chrono::milliseconds wait = kDefaultWait);
    ~ScheduleLock();
    ScheduleLock(const ScheduleLock &) = delete;
    ScheduleLock &operator=(const ScheduleLock &) = delete;
};

// HomeFolder() + "Tapisto.lock" (CP932).
std::string ScheduleLockPath();
