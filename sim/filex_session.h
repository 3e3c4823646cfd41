// The file server's operations: the descriptor and directory-handle tables
// over a backend, and the execution of one filex command.
//
// Results on the wire, as the client's callers rely on them:
//   _open        a descriptor (3 and up, never 0 or -1); -1 on failure
//   _opendir     a directory handle (1 and up); 0 on failure
//   _readdir     1 with an entry, 0 at the end or on failure
//   _read/_write the count moved (at most the length asked for); -1
//   _lseek       the new position; -1 (also for one beyond 2^31 - 1)
//   the others   0 on success; -1
// The backend's reasons (its error numbers) do not travel. A full table of
// files or listings reclaims the slot idle longest once it has been idle
// past the client's watchdog time (filex_slots.h); the client that held it
// then fails on it as on a number never handed out.
//
// _open flags are the backend's OPEN_* bits, with one addition: write-only
// with create and without append (0x201, the copy of a file onto the
// device) creates the file or truncates it. Read-write with create (0x202)
// keeps what the file holds.
//
// Records sent to the host (multi-byte fields little-endian):
//   stat, 72 bytes: 0 device (0), 4 entry id, 8 mode (0x4000 folder or
//     0x8000 file, with permission bits), 12 links (1), 16 uid, 20 gid,
//     24 rdev (0), 28 size, 32/36/40 access, change and status-change
//     times (seconds since 1970, from the entry's MS-DOS stamp), 44 block
//     size (512), 48 blocks of 512, 52 FAT attributes, 56 MS-DOS time,
//     60 MS-DOS date, 64-71 zero.
//   directory entry, 300 bytes: 0 entry id, 4 record length (300, 16-bit),
//     6 name length (16-bit), 8 name (zero-terminated, 276 bytes), 284
//     attributes, 288 time, 292 date, 296 size.
#pragma once

#include "filex/filex_wire.h"
#include "sim/filex_backend.h"
#include "sim/filex_slots.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrel::sim {

class FilexSession {
public:
    static constexpr int32_t FIRST_DESCRIPTOR = 3;
    static constexpr int32_t FIRST_DIRECTORY = 1;
    static constexpr size_t MAX_OPEN_FILES = 16;
    static constexpr size_t MAX_OPEN_DIRECTORIES = 16;

    struct Reply {
        int32_t status = -1;
        std::vector<uint8_t> data;  // commands with data from the device: at most dataLength bytes
    };

    explicit FilexSession(FilexBackend& backend)
        : backend_(backend), files_(FIRST_DESCRIPTOR, MAX_OPEN_FILES), directories_(FIRST_DIRECTORY, MAX_OPEN_DIRECTORIES) {}

    // Executes `command`; `data` is the data phase the host sent (exactly
    // dataLength bytes for commands with data to the device).
    Reply execute(const filex::FilexCommand& command, const std::vector<uint8_t>& data);

private:
    Reply open(const filex::FilexCommand& command, const std::vector<uint8_t>& data);
    Reply fstat(const filex::FilexCommand& command);
    Reply read(const filex::FilexCommand& command);
    Reply lseek(const filex::FilexCommand& command);
    Reply write(const filex::FilexCommand& command, const std::vector<uint8_t>& data);
    Reply close(const filex::FilexCommand& command);
    Reply pathCall(const filex::FilexCommand& command, const std::vector<uint8_t>& data);
    Reply fsync(const filex::FilexCommand& command);
    Reply opendir(const filex::FilexCommand& command, const std::vector<uint8_t>& data);
    Reply readdir(const filex::FilexCommand& command);
    Reply rewinddir(const filex::FilexCommand& command);
    Reply closedir(const filex::FilexCommand& command);

    // A backend result: the value when it succeeded, else `failure`.
    static int32_t outcome(int64_t result, int32_t failure = -1);
    FilexFile* file(uint32_t descriptor);
    FilexDirectory* directory(uint32_t handle);

    FilexBackend& backend_;
    SlotTable<FilexFile> files_;
    SlotTable<FilexDirectory> directories_;
};

// The path a command carries: the data up to its first zero byte. False
// when there is no zero byte (the path does not end within the data).
bool pathOf(const std::vector<uint8_t>& data, std::string& path);

}  // namespace kestrel::sim
