// Size, modification time and kind of an open stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>

namespace kestrel::platform {

struct FileStatus {
    uint64_t size = 0;
    std::time_t modified = 0;  // seconds since the epoch
    bool regular = true;       // false for a folder, a device, a pipe...
};

// nullopt when the system cannot tell (or reports a negative size).
std::optional<FileStatus> fileStatus(std::FILE* file);

}  // namespace kestrel::platform
