// hflx: the filex client as its callers use it, a thin facade over one
// process-wide FilexClient (real device name and mutex names; traces in the
// debug configuration only). The instance lives until the process ends and
// is never destroyed by static destruction (its watchdog thread must not be
// joined while a library is being unloaded); StopLink() ends the watchdog
// in an orderly way where that is wanted, and the next operation starts the
// link again.
//
// The operations keep the names of the POSIX calls with a leading
// underscore; inside this namespace they do not collide with the C
// runtime's functions of the same names.
#pragma once

#include "filex/filex_client.h"
#include "filex/filex_records.h"
#include "filex/filex_wire.h"

#include <cstdint>

// The Windows C runtime defines _fstat as a macro for one of its own
// functions. Have it defined now, then drop it, so that _fstat below is an
// ordinary name in every file that includes this header.
#if defined(_WIN32)
#include <sys/stat.h>
#undef _fstat
#endif

namespace hflx {

using kestrel::filex::FilexCommand;
using kestrel::filex::FilexDirEntry;
using kestrel::filex::FilexStat;

// The process-wide client.
kestrel::filex::FilexClient& client();

// The transport: 1 when the link (watchdog) was started, else 0.
int32_t OpenUSB();
// One exchange under the exec mutex (the caller holds the file mutex): the
// status word, 0 when the link could not be started or the exchange did
// not complete, -1 when the device could not be opened or the command
// cannot be carried.
int32_t RunFilexOperation(const FilexCommand& command);
// One exchange on a started link: the status word, 0 or -1 as above.
int32_t ExecuteFilex(const FilexCommand& command);
// Stops the watchdog; the next operation restarts the link.
void StopLink();

int DebugTrace(const char* format, ...) KESTREL_PRINTF(1, 2);

int32_t _open(const char* path, int32_t flags);
int32_t _fstat(int32_t fd, FilexStat* record);
int32_t _read(int32_t fd, void* buffer, uint32_t length);
int32_t _lseek(int32_t fd, int32_t offset, int32_t origin);
int32_t _write(int32_t fd, const void* buffer, uint32_t length);
int32_t _close(int32_t fd);
int32_t _unlink(const char* path);
int32_t _mkdir(const char* path, int32_t mode);
int32_t _rmdir(const char* path);
int32_t _fsync(int32_t fd);
int32_t _sync();
int32_t _opendir(const char* path);
int32_t _readdir(int32_t dir, FilexDirEntry* record);
int32_t _rewinddir(int32_t dir);
int32_t _closedir(int32_t dir);

}  // namespace hflx
