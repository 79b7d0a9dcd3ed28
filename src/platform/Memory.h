#pragma once

#include <cstdlib> // defines __GLIBC__ on glibc systems
#include <fstream>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Gives the heap's free pages back to the system. A change of wallpaper frees tens of megabytes of
// decoder and pixel buffers; glibc keeps most of that resident (freed chunks below the top of an arena
// stay mapped), so a tray program idle after a change would otherwise keep the size of its largest
// picture. Elsewhere the allocator is left to its own policy.
inline void ReturnFreedMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

// The process's resident size in kB (0 where /proc is missing); for the benchmarks and tests.
inline long ResidentKilobytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}
