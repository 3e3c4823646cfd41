// Files of the host computer that the tool reads: the boot EEPROM image and
// the MAIN images. A small interface, so that the update sequence can be
// tested with files that misbehave (shrink while read, report odd sizes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrel::fwupdate {

struct HostFileStatus {
    uint64_t size = 0;
    std::time_t modified = 0;  // last modification, seconds since the epoch
    bool regular = true;       // a plain file (not a folder, device or pipe)
};

class HostFile {
public:
    virtual ~HostFile() = default;
    // The open file's status; nullopt when the system cannot tell.
    virtual std::optional<HostFileStatus> status() = 0;
    // Reads up to `length` bytes at the current position; the count read.
    virtual size_t read(void* buffer, size_t length) = 0;
    // Back to the start of the file.
    virtual bool rewind() = 0;
};

// Opens a host file by name for binary reading; null when it cannot.
using HostFileOpener = std::function<std::unique_ptr<HostFile>(const std::string& name)>;

// The file at `path`, opened for binary reading; null when it cannot be.
std::unique_ptr<HostFile> openHostFile(const std::string& path);

// Opens names inside `folder` (empty: the current working directory).
HostFileOpener hostFilesIn(const std::string& folder);

// `name` inside `folder` (empty folder: the name as it is).
std::string pathIn(const std::string& folder, const std::string& name);

}  // namespace kestrel::fwupdate
