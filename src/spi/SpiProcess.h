#pragma once

#include "spi/SpiModule.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

// The plug-in helper process as the host sees it: started when the first plug-in is loaded, one for
// the process, and started again when it died. Every call of a plug-in is bounded in time; the helper
// is killed when it stops answering. The executable, tapisto-spihelper, lies beside libspilocal.so.

// How long a call may take. A call whose helper sends nothing (no progress, no rows, no answer) for
// the idle time hangs; the total bounds a call that keeps reporting. Both grow with the picture's
// data (per MiB), up to their maximum.
struct SpiTimeouts {
    int IdleMs = 10000;
    int IdlePerMiBMs = 250;
    int IdleMaxMs = 20000;
    int TotalMs = 60000;
    int TotalPerMiBMs = 1000;
    int TotalMaxMs = 600000;
};
void SetSpiTimeouts(const SpiTimeouts &timeouts);
SpiTimeouts CurrentSpiTimeouts();

// Loads the library in the helper. Returns null on failure, with the reason: refused as unsafe, or
// the helper crashed or hung while loading it (both worth telling), or no library (not).
std::unique_ptr<SpiModule> OpenHelperSpiModule(const std::string &cp932Path, SpiOpenFailure &failure);

// The helper's process id, 0 while none runs.
pid_t SpiHelperPid();
// Kills the helper, so that a call under way ends at once with EAbort: for the program's end, which
// does not wait out a plug-in that hangs. Safe from any thread.
void CutOffSpiHelper();

// Puts a picture's data into shared memory for as long as the object lives, so that the plug-in calls
// whose memory input lies within it hand it to the helper without another copy. Does nothing when
// plug-ins run in this process.
class SpiSharedInput {
public:
    SpiSharedInput(const char *data, size_t size);
    ~SpiSharedInput();
    SpiSharedInput(const SpiSharedInput &) = delete;
    SpiSharedInput &operator=(const SpiSharedInput &) = delete;

private:
    int fd_ = -1;
};
