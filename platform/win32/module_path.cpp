#include "platform/module.h"

#include "platform/win32/win32.h"

namespace kestrel::platform {

namespace {

std::string moduleFileName(HMODULE module) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: try a bigger buffer
    }
}

}  // namespace

std::string moduleFilePath(const void* address) {
    HMODULE module = nullptr;
    if (address == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return {};
    return moduleFileName(module);
}

}  // namespace kestrel::platform
