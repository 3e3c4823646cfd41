// The storage behind the device's file server: what the main firmware's
// filex operations act on. The server keeps the numbering (descriptors,
// directory handles) and the wire format; a backend only knows paths, open
// files and directory listings.
//
// Conventions, as in POSIX:
//   - every result is an int32_t (int64_t for positions): >= 0 success,
//     otherwise a negated error from FilexErrno (e.g. -ENOENT);
//   - paths are absolute, "/"-separated, the root is "/". The server hands
//     over paths as the host sent them (empty components and "." allowed,
//     ".." climbs, never above the root); a backend resolves them with
//     splitPath();
//   - names compare without regard to ASCII case and keep the case they
//     were created with (as the card's FAT file system does); at most
//     MAX_NAME bytes, no "/" and no zero byte;
//   - open flags use the device's own bits (OPEN_*): the access mode in
//     the low two bits, then append, create, truncate, exclusive. Other
//     bits (binary 0x10000) carry no meaning here.
//
// Lifetime and threads: the device owns its backend for its whole life
// (across firmware restarts, which drop open files and listings). Every call
// comes from the device's firmware while the device's mutex is held, so a
// backend needs no locking of its own but must never take that mutex
// itself: a backend over the simulated card drives the card through a
// CardController on the DeviceHardware it is given, not through
// SimDevice::directCardCommands() (whose commands take the mutex).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

// Error numbers, with their usual values.
enum FilexErrno : int32_t {
    FX_EPERM = 1,
    FX_ENOENT = 2,
    FX_EIO = 5,
    FX_EBADF = 9,
    FX_EACCES = 13,
    FX_EBUSY = 16,
    FX_EEXIST = 17,
    FX_ENOTDIR = 20,
    FX_EISDIR = 21,
    FX_EINVAL = 22,
    FX_EMFILE = 24,
    FX_EFBIG = 27,
    FX_ENOSPC = 28,
    FX_ENAMETOOLONG = 36,
    FX_ENOTEMPTY = 39,
    FX_EOVERFLOW = 75,
};

inline constexpr uint32_t OPEN_ACCESS_MASK = 0x0003;
inline constexpr uint32_t OPEN_READ_ONLY = 0x0000;
inline constexpr uint32_t OPEN_WRITE_ONLY = 0x0001;
inline constexpr uint32_t OPEN_READ_WRITE = 0x0002;
inline constexpr uint32_t OPEN_APPEND = 0x0008;
inline constexpr uint32_t OPEN_CREATE = 0x0200;
inline constexpr uint32_t OPEN_TRUNCATE = 0x0400;
inline constexpr uint32_t OPEN_EXCLUSIVE = 0x0800;
inline constexpr uint32_t OPEN_BINARY = 0x10000;

inline constexpr size_t MAX_NAME = 255;

enum SeekOrigin : int32_t { SEEK_FROM_START = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };

// What a file or folder looks like from outside.
struct FileInfo {
    bool directory = false;
    uint8_t attributes = 0;  // FAT attribute bits (0x01 read-only, 0x10 folder, 0x20 archive)
    uint32_t size = 0;
    uint16_t dosTime = 0;    // time and date of the last change, MS-DOS format
    uint16_t dosDate = 0;
    uint32_t id = 0;         // a number unique to the entry while it exists
};

struct DirectoryEntry {
    std::string name;
    FileInfo info;
};

// An open file. Destroying it closes it.
class FilexFile {
public:
    virtual ~FilexFile() = default;
    // Up to `length` bytes from the position on: the count (0 at the end),
    // or -EBADF when the file was not opened for reading.
    virtual int32_t read(uint8_t* out, uint32_t length) = 0;
    // `length` bytes at the position (at the end, with OPEN_APPEND): the
    // count taken, possibly short when space runs out (-ENOSPC when none
    // was), or -EBADF when the file was not opened for writing.
    virtual int32_t write(const uint8_t* data, uint32_t length) = 0;
    // Moves the position: the new position, or -EINVAL (bad origin, or a
    // position before the start). A position past the end is allowed; a
    // write there fills the gap with zeros.
    virtual int64_t seek(int64_t offset, int32_t origin) = 0;
    virtual int32_t stat(FileInfo& info) = 0;
    // Makes what was written durable: 0 or an error.
    virtual int32_t sync() = 0;
    // Syncs and closes: 0 or an error (the file is closed either way).
    virtual int32_t close() = 0;
};

// An open listing. Entries "." and ".." come first in every folder except
// the root, as on the card.
class FilexDirectory {
public:
    virtual ~FilexDirectory() = default;
    // The next entry: 1 with `entry` filled, 0 at the end, or an error.
    virtual int32_t next(DirectoryEntry& entry) = 0;
    virtual void rewind() = 0;
};

class FilexBackend {
public:
    virtual ~FilexBackend() = default;
    // Opens (with OPEN_CREATE: creates; OPEN_TRUNCATE with write access:
    // empties) a file: 0 with `file` set, or -ENOENT, -EEXIST, -EISDIR,
    // -ENOTDIR, -EACCES, -ENAMETOOLONG, -ENOSPC, -EINVAL.
    virtual int32_t open(std::string_view path, uint32_t flags, std::unique_ptr<FilexFile>& file) = 0;
    virtual int32_t openDirectory(std::string_view path, std::unique_ptr<FilexDirectory>& directory) = 0;
    // Removes a file: 0, -ENOENT, -EISDIR, -EACCES (read-only).
    virtual int32_t unlink(std::string_view path) = 0;
    // Creates a folder: 0, -EEXIST, -ENOENT (no parent), -ENOSPC, ...
    virtual int32_t mkdir(std::string_view path, uint32_t mode) = 0;
    // Removes an empty folder: 0, -ENOENT, -ENOTDIR, -ENOTEMPTY, -EBUSY (root).
    virtual int32_t rmdir(std::string_view path) = 0;
    // Makes everything durable: 0 or an error.
    virtual int32_t sync() = 0;
    // Called each time the main firmware starts (power-on, and the return
    // after a firmware download). A backend over the card drops whatever
    // it cached here: while another program ran, the card may have been
    // written behind its back.
    virtual void firmwareStarted() {}
};

// The components of an absolute path, with "." dropped and ".." applied
// (never above the root). False for a relative path or an empty one.
bool splitPath(std::string_view path, std::vector<std::string>& components);

// True when two names are the same name on the card (ASCII case ignored).
bool sameName(std::string_view a, std::string_view b);

// A fresh in-memory backend: an empty root folder, `capacity` bytes of file
// data at most.
std::unique_ptr<FilexBackend> makeMemoryBackend(uint64_t capacity = 16u << 20);

}  // namespace kestrel::sim
