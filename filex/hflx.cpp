#include "filex/hflx.h"

#include <cstdarg>

namespace hflx {

using kestrel::filex::FilexClient;

FilexClient& client() {
    // Deliberately never destroyed: see hflx.h.
    static FilexClient* const instance = new FilexClient();
    return *instance;
}

int32_t OpenUSB() { return client().link().OpenUSB() ? 1 : 0; }
int32_t RunFilexOperation(const FilexCommand& command) { return client().link().RunFilexOperation(command).word; }
int32_t ExecuteFilex(const FilexCommand& command) { return client().link().ExecuteFilex(command).word; }
void StopLink() { client().link().stop(); }

int DebugTrace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = kestrel::filex::DebugTraceV(format, arguments);
    va_end(arguments);
    return length;
}

int32_t _open(const char* path, int32_t flags) { return client().open(path, flags); }
int32_t _fstat(int32_t fd, FilexStat* record) { return client().fstat(fd, record); }
int32_t _read(int32_t fd, void* buffer, uint32_t length) { return client().read(fd, buffer, length); }
int32_t _lseek(int32_t fd, int32_t offset, int32_t origin) { return client().lseek(fd, offset, origin); }
int32_t _write(int32_t fd, const void* buffer, uint32_t length) { return client().write(fd, buffer, length); }
int32_t _close(int32_t fd) { return client().close(fd); }
int32_t _unlink(const char* path) { return client().unlink(path); }
int32_t _mkdir(const char* path, int32_t mode) { return client().mkdir(path, mode); }
int32_t _rmdir(const char* path) { return client().rmdir(path); }
int32_t _fsync(int32_t fd) { return client().fsync(fd); }
int32_t _sync() { return client().sync(); }
int32_t _opendir(const char* path) { return client().opendir(path); }
int32_t _readdir(int32_t dir, FilexDirEntry* record) { return client().readdir(dir, record); }
int32_t _rewinddir(int32_t dir) { return client().rewinddir(dir); }
int32_t _closedir(int32_t dir) { return client().closedir(dir); }

}  // namespace hflx
