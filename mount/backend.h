// The file system a mount shows, as a small table of operations that each
// device access implements: the library's exported file API (oryx_backend)
// or the device's own file server (filex_backend). Nothing here knows the
// mount's front end; the front end knows nothing of either device access.
//
// Conventions of every operation:
//   - paths are NodePath values: components already checked by names.h
//     (never empty, never "." or ".."); the root has no components;
//   - a result is 0 (or a count) for success, else a negated errno value
//     (-ENOENT, ...); -EIO means the device failed or went away;
//   - a backend is used by one thread at a time (the mount holds its
//     mutex around every call), and may block for as long as the device
//     takes, its watchdog included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::mount {

using NodePath = std::vector<std::string>;

// An entry as the card's directory holds it.
struct NodeInfo {
    bool directory = false;
    bool readOnly = false;  // the FAT read-only attribute
    uint64_t size = 0;
    uint16_t dosDate = 0;   // last change, MS-DOS format; 0 when unknown
    uint16_t dosTime = 0;
};

struct DirItem {
    std::string name;  // the long name when the entry has one
    NodeInfo info;
};

struct VolumeSpace {
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
    uint32_t clusterBytes = 0;
};

// Reads an existing file. Positions may be asked for in any order.
class FileReader {
public:
    virtual ~FileReader() = default;
    // Up to `length` bytes at `offset` into `data`: the count (0 at the
    // end), or -errno.
    [[nodiscard]] virtual int32_t read(uint64_t offset, uint8_t* data, uint32_t length) = 0;
};

// Writes a file from its start, byte after byte. The file exists (empty)
// from the backend's openWrite on.
class FileWriter {
public:
    // Closes a writer not finished, without a result (the data written so
    // far may or may not have reached the card).
    virtual ~FileWriter() = default;
    // Appends all `length` bytes: 0 or -errno.
    [[nodiscard]] virtual int32_t write(const uint8_t* data, uint32_t length) = 0;
    // Makes what was written durable on the card (size in its entry, FAT
    // stored); the writer stays usable. 0 or -errno.
    [[nodiscard]] virtual int32_t sync() = 0;
    // Closes: the data, the entry and the FAT on the card. 0 or -errno;
    // the writer is unusable afterwards either way.
    [[nodiscard]] virtual int32_t finish() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;

    // The entry at `path`; the root is a directory.
    [[nodiscard]] virtual int32_t stat(const NodePath& path, NodeInfo& info) = 0;
    // The entries of a directory without ".", ".." and the volume label.
    [[nodiscard]] virtual int32_t list(const NodePath& path, std::vector<DirItem>& items) = 0;
    [[nodiscard]] virtual int32_t openRead(const NodePath& path, std::unique_ptr<FileReader>& reader) = 0;
    // Creates the file, or empties an existing one, and writes it.
    [[nodiscard]] virtual int32_t openWrite(const NodePath& path, std::unique_ptr<FileWriter>& writer) = 0;
    [[nodiscard]] virtual int32_t removeFile(const NodePath& path) = 0;
    [[nodiscard]] virtual int32_t makeDirectory(const NodePath& path) = 0;
    // An empty directory only (-ENOTEMPTY otherwise).
    [[nodiscard]] virtual int32_t removeDirectory(const NodePath& path) = 0;
    // Moves an entry to a name that does not exist yet, within the card.
    [[nodiscard]] virtual int32_t rename(const NodePath& from, const NodePath& to) = 0;
    // Gives the entry a new change time (MS-DOS format).
    [[nodiscard]] virtual int32_t setTime(const NodePath& path, uint16_t dosDate, uint16_t dosTime) = 0;
    // Sets or clears the read-only attribute.
    [[nodiscard]] virtual int32_t setReadOnly(const NodePath& path, bool readOnly) = 0;
    [[nodiscard]] virtual int32_t space(VolumeSpace& space) = 0;
    // True once the device failed in a way that later calls cannot mend
    // (gone, not answering): the mount then answers EIO to everything.
    virtual bool deviceLost() const = 0;
};

}  // namespace kestrel::mount
