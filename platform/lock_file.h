// Exclusive locks on a file, held by the process rather than by a thread:
// any thread may take one and any thread may let it go, and the system lets
// go of it when the holding process dies, however it dies. This is what a
// lock held across calls (a device session from its start to its close)
// needs; a named mutex belongs to the thread that took it.
//
// POSIX: flock on the open lock file. The holder removes the file when it
// lets go; a taker checks that the file it locked is still the one the path
// names, so a removal never lets two holders in.
// Windows: the lock file opened without sharing, deleted when closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrel::platform {

enum class LockResult {
    Acquired,  // the caller holds the lock
    Busy,      // another holder kept it for the whole wait
    Failed,    // the lock file cannot be made or locked (see the error text)
};

class LockFile;

struct LockAttempt {
    LockResult result = LockResult::Failed;
    std::unique_ptr<LockFile> lock;  // set when Acquired
    std::string error;               // why, when Failed
};

class LockFile {
public:
    // Takes the lock on `path` (the file is made when missing), waiting at
    // most `ms` product milliseconds for another holder to let go (0: one
    // attempt).
    [[nodiscard]] static LockAttempt acquire(const std::string& path, uint32_t ms);

    // The lock file of the machine-wide lock `name` in the temporary folder:
    // "kestrel-<name>.lock", every character but letters, digits, '.', '-'
    // and '_' replaced by '_'.
    [[nodiscard]] static std::string machinePath(std::string_view name);

    // Lets go of the lock.
    virtual ~LockFile() = default;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

protected:
    LockFile() = default;
};

namespace detail {
// The file name part of machinePath().
std::string lockFileName(std::string_view name);
}  // namespace detail

}  // namespace kestrel::platform
