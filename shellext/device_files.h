// The device's files as the extension reaches them: the remote file
// operations of the filex client, behind an interface so that the objects
// can be given another device (tests give them a scripted one). Results
// follow the filex conventions: descriptors neither 0 nor -1, directory
// handles never 0, _readdir non-zero while it delivers entries, _unlink and
// _rmdir 0 exactly when the entry is gone.
#pragma once

#include "filex/filex_records.h"

#include <cstdint>

namespace kestrel::shellext {

class DeviceFiles {
public:
    virtual ~DeviceFiles() = default;
    virtual int32_t open(const char* path, int32_t flags) = 0;
    virtual int32_t fstat(int32_t fd, filex::FilexStat* record) = 0;
    virtual int32_t read(int32_t fd, void* buffer, uint32_t length) = 0;
    virtual int32_t lseek(int32_t fd, int32_t offset, int32_t origin) = 0;
    virtual int32_t write(int32_t fd, const void* buffer, uint32_t length) = 0;
    virtual int32_t close(int32_t fd) = 0;
    virtual int32_t unlink(const char* path) = 0;
    virtual int32_t mkdir(const char* path, int32_t mode) = 0;
    virtual int32_t rmdir(const char* path) = 0;
    virtual int32_t opendir(const char* path) = 0;
    virtual int32_t readdir(int32_t dir, filex::FilexDirEntry* record) = 0;
    virtual int32_t closedir(int32_t dir) = 0;
};

// The device of the running process: the process-wide filex client (hflx).
// After each operation it lets the library hold itself loaded while the
// link runs (see library_hold.h).
DeviceFiles& filexDevice();

// Stops the filex link of the process (joins its watchdog); the next
// operation starts it again.
void stopFilexLink();

}  // namespace kestrel::shellext
