// The ORYX exports the update tool calls, as a table. The tool reaches the
// library only through this table; exportedOryx() fills it with the exports
// themselves, and tests put recording or failing entries in front of them.
#pragma once

#include "oryx/oryx.h"

#include <cstdint>
#include <functional>

namespace kestrel::fwupdate {

struct OryxApi {
    std::function<uint32_t()> init;  // mt_smInit
    std::function<uint32_t(const char* path, const char* label, uint32_t mode, uint32_t* badBlocks,
                           oryx_progress progress)>
        formatVol;
    std::function<uint32_t(const char* path, uint32_t* count)> getListNumDir;
    std::function<uint32_t(const char* path, uint32_t* size)> getSizeFile;
    std::function<uint32_t(const char* path)> removeFile;
    std::function<uint32_t(const char* path, uint32_t overwrite, oryx_handle* handle)> createFile;
    std::function<uint32_t(oryx_handle handle, uint32_t bytes)> fileExtend;
    std::function<uint32_t(oryx_handle handle, const void* data, uint32_t length)> writeFile;
    std::function<uint32_t(oryx_handle handle)> closeFile;
    std::function<uint32_t(const char* path, oryx_stat* stat)> readStat;
    std::function<uint32_t(const char* path, const oryx_stat* stat)> writeStat;
    std::function<uint32_t(uint16_t address, void* buffer)> readLC;         // 1 = success
    std::function<uint32_t(uint16_t address, const void* data)> writeLC;    // 1 = success
    std::function<void()> close;                                             // usbcClose
};

// The table of the library's own exports.
OryxApi exportedOryx();

}  // namespace kestrel::fwupdate
