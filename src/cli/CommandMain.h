#pragma once

// The entry of tapistoctl's command library (libtapistoctl.so): runs the command line as tapistoctl's
// main does and returns its exit status. The launcher finds it by this name.
extern "C" __attribute__((visibility("default"))) int TapistoctlMain(int argc, char **argv);
inline constexpr const char *kCommandLibrary = "libtapistoctl.so";
inline constexpr const char *kCommandEntry = "TapistoctlMain";
