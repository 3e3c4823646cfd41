// The remote file operations of the filex client, as one object: open,
// read, write, seek, status and close of device files, removal of files,
// creation and removal of folders, and directory listing. Each operation
// fills in a command, holds the file mutex while it prepares the transfer
// buffer, runs the exchange and copies its results out, and returns the
// device's status word.
//
// Results besides the device's own:
//   - refusals without any exchange (no path, no record, no buffer, a
//     length above 65,408, a path too long for the transfer buffer): -1,
//     or 0 for _read, _write, _opendir and _readdir;
//   - an exchange that did not complete (link not started, device not
//     opened, a transfer failed, no status word): the operation's failure
//     value, never a value that reads as success: 0 for _opendir and
//     _readdir (no handle, no entry), -1 for every other operation;
//   - _read and _write: a count above the length asked for is -1.
// Descriptors and directory handles are the device's numbers, passed back
// and forth unchanged.
#pragma once

#include "filex/debug_trace.h"
#include "filex/filex_link.h"
#include "filex/filex_records.h"
#include "filex/filex_wire.h"

#include <cstdint>

namespace kestrel::filex {

class FilexClient {
public:
    // `traces`: write the "hflx:" lines and the transport's lines (on by
    // default in the debug configuration only).
    explicit FilexClient(FilexNames names = {}, bool traces = debugConfiguration());

    int32_t open(const char* path, int32_t flags);
    int32_t fstat(int32_t fd, FilexStat* record);
    int32_t read(int32_t fd, void* buffer, uint32_t length);
    int32_t lseek(int32_t fd, int32_t offset, int32_t origin);
    int32_t write(int32_t fd, const void* buffer, uint32_t length);
    int32_t close(int32_t fd);
    int32_t unlink(const char* path);
    int32_t mkdir(const char* path, int32_t mode);
    int32_t rmdir(const char* path);
    int32_t fsync(int32_t fd);
    int32_t sync();
    int32_t opendir(const char* path);
    int32_t readdir(int32_t dir, FilexDirEntry* record);
    int32_t rewinddir(int32_t dir);
    int32_t closedir(int32_t dir);

    // Whether the last operation that reached the transport got the
    // device's status word. False after a link that did not start, a
    // failed transfer or a device that went away: the result is then the
    // client's failure value, not the device's answer. Refusals without an
    // exchange leave it as it was.
    bool lastExchangeCompleted() const { return lastCompleted_; }

    FilexTrace& trace() { return trace_; }
    FilexLink& link() { return link_; }

private:
    // The frame of a path operation: the path with its terminating zero is
    // the data phase. `failure` is the result when the exchange fails.
    int32_t pathOperation(Opcode opcode, const char* path, uint32_t argA, int32_t failure);
    // The frame of an operation without data phase.
    int32_t plainOperation(Opcode opcode, uint32_t argA, uint32_t argB = 0, uint32_t argC = 0);
    // The frame of an operation that receives `length` bytes into `out`.
    int32_t receiveOperation(Opcode opcode, uint32_t argA, uint32_t argB, uint32_t length, uint8_t* out,
                             int32_t failure);

    // Runs one exchange and notes whether it completed.
    ExchangeResult exchange(const FilexCommand& command);

    FilexTrace trace_;
    FilexLink link_;
    bool lastCompleted_ = true;
};

}  // namespace kestrel::filex
