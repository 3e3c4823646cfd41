// `kestrel [remote] mount -f MOUNTPOINT` as a child process of the test,
// and the guard that never leaves a mount behind: unmounted with
// fusermount3 -u (umount -l when that fails), the child waited for, and
// killed (by its own process id) only when it does not end by itself.
#pragma once

#include <string>
#include <sys/types.h>

namespace kestrel::mount::test {

// True when `path` (absolute) is a mount point in /proc/self/mounts.
bool isMountPoint(const std::string& path);

class MountProcess {
public:
    // Starts the mount and waits until it is in place (up to 60 s);
    // mounted() tells whether it came.
    MountProcess(const std::string& mountpoint, bool remote);
    ~MountProcess();
    MountProcess(const MountProcess&) = delete;
    MountProcess& operator=(const MountProcess&) = delete;

    bool mounted() const { return isMountPoint(mountpoint_); }
    // Unmounts with fusermount3 -u; the child's exit code once it ended
    // (-1 when it had to be killed, or fusermount3 failed).
    int unmount();
    // Sends `signal` to the child; its exit code once it ended (-1 when
    // it had to be killed).
    int stop(int signal);

private:
    int waitForExit();

    std::string mountpoint_;
    pid_t pid_ = -1;
};

}  // namespace kestrel::mount::test
