// The FUSE side of a mount: the kernel's file-system calls turned into
// MountedVolume operations (libfuse3, high-level interface, several
// threads). Linux only.
//
// SIGINT, SIGTERM and SIGHUP end the session; so does an unmount from
// outside (fusermount3 -u, umount). When run() returns, the mount point is
// unmounted and every open file committed and closed.
#pragma once

#include "mount/mounted_volume.h"

#include <string>
#include <sys/types.h>

struct fuse;

namespace kestrel::mount {

// What every FUSE call of a session reaches (libfuse's private data).
struct MountContext {
    MountedVolume* volume;
    uid_t owner;  // the mounting user's: entries have no owner of their own
    gid_t group;
};

class FuseSession {
public:
    // Mounts `volume` on `mountpoint`; mounted() is false with error()
    // when that fails. `debug`: libfuse's trace of every call on stderr.
    FuseSession(MountedVolume& volume, const std::string& mountpoint, bool debug);
    // Unmounts (when still mounted) and shuts the volume down.
    ~FuseSession();
    FuseSession(const FuseSession&) = delete;
    FuseSession& operator=(const FuseSession&) = delete;

    bool mounted() const { return fuse_ != nullptr; }
    const std::string& error() const { return error_; }
    // Serves calls until the session ends (unmounted, or a signal); 0, or
    // 1 when the loop failed.
    int run();

private:
    MountedVolume& volume_;
    MountContext context_{};
    struct fuse* fuse_ = nullptr;
    bool signalsSet_ = false;
    std::string error_;
};

}  // namespace kestrel::mount
