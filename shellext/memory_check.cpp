#include "shellext/memory_check.h"

#include "shellext/shell_api.h"

#include <cstdint>

namespace kestrel::shellext {

namespace {

bool writableProtection(DWORD protect) {
    if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    return (protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

}  // namespace

bool writableMemory(const void* address, size_t length) {
    if (address == nullptr) return false;
    if (length == 0) return true;
    auto at = reinterpret_cast<uintptr_t>(address);
    const uintptr_t end = at + length;
    if (end < at) return false;  // wraps around
    while (at < end) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) return false;
        if (info.State != MEM_COMMIT || !writableProtection(info.Protect)) return false;
        at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

}  // namespace kestrel::shellext
