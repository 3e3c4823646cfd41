// A device file that `remote put` replaces is kept in a host file until the
// new contents are whole. The device's file server cannot rename, so the
// new contents go under the old name; when they fail to arrive, the old
// contents are written back. Old contents that cannot be written back stay
// in the host file, and the message says where.
#pragma once

#include "tools/device_path.h"
#include "tools/remote_device.h"

#include <string>

namespace kestrel::cli {

class RemoteKeptFile {
public:
    // Copies the device file `path` to a host file in the host's temporary
    // folder; fails (Failure) when no whole copy can be made, before
    // anything on the device changed.
    RemoteKeptFile(RemoteDevice& device, const DevicePath& path);
    // Removes the host copy unless it had to stay.
    ~RemoteKeptFile();
    RemoteKeptFile(const RemoteKeptFile&) = delete;
    RemoteKeptFile& operator=(const RemoteKeptFile&) = delete;

    // The new contents did not arrive: removes what there is of them and
    // writes the old contents back. What became of the old file, to follow
    // the failure's message ("; /A.TXT was left as it was").
    std::string restore();

    const std::string& hostPath() const { return hostPath_; }

private:
    void writeBack();

    RemoteDevice& device_;
    DevicePath path_;
    std::string hostPath_;
    bool keep_ = false;
};

}  // namespace kestrel::cli
