#pragma once

#include <string>

// The temporary files that AtomicFileWriter writes beside their targets. Each is named
// ".<target name>.tapisto-" and 12 random letters or digits, and holds an flock for as long as its
// writer lives, so that any later writer can tell a temporary left by a killed process (no lock) from
// one being written now.

// A new temporary file beside `nativeTarget`, created with mode 0600, locked and registered for
// removal at a terminating signal.
class LockedTempFile {
public:
    explicit LockedTempFile(const std::string &nativeTarget);
    ~LockedTempFile(); // removes the file unless it was renamed over its target
    LockedTempFile(const LockedTempFile &) = delete;
    LockedTempFile &operator=(const LockedTempFile &) = delete;

    // The open file, or -1 (with CreateError() the reason) when it could not be made.
    int Fd() const { return fd_; }
    int CreateError() const { return createError_; }
    // Renames the file over `nativeTarget`; the lock is kept until then. Returns 0 or an errno value.
    int RenameOver(const std::string &nativeTarget);
    // Removes the file now (a failed write).
    void Remove();

private:
    std::string path_;
    int fd_ = -1;
    int createError_ = 0;
    int slot_ = -1; // in the registry the signal handler reads
};

// Removes the temporaries in `nativeTarget`'s folder that no live writer holds. Only files of the
// current user are touched; failures are ignored (it is housekeeping).
void RemoveStaleTemporaries(const std::string &nativeTarget);

// Makes SIGTERM, SIGINT and SIGHUP (those not ignored) remove the temporaries being written, then do
// what they did before (end the process, by default). Called once per copy of this code.
void RemoveTemporariesOnTermination();
