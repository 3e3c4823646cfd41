#include "fwupdate/win32/registry.h"

#include "fwupdate/core/identity.h"
#include "fwupdate/core/text_format.h"
#include "fwupdate/win32/handles.h"

#include <cstring>

namespace kestrel::fwupdate::win32 {

std::string registryKeyPath(const char* subkey) {
    return formatText("Software\\Quillon\\%s\\%d.%d\\%s", PRODUCT_NAME, VERSION_MAJOR, VERSION_MINOR, subkey);
}

int writeRegistry(const char* subkey, const char* valueName, const void* data, uint32_t length) {
    HKEY opened = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, registryKeyPath(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return 0;
    const UniqueRegistryKey key(opened);
    const bool text = length == 0;
    const DWORD size = text ? static_cast<DWORD>(std::strlen(static_cast<const char*>(data)) + 1) : length;
    return RegSetValueExA(key.get(), valueName, 0, text ? REG_SZ : REG_BINARY, static_cast<const BYTE*>(data),
                          size) == ERROR_SUCCESS
               ? 1
               : 0;
}

int readRegistry(const char* subkey, const char* valueName, void* buffer, uint32_t length) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, registryKeyPath(subkey).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return 0;
    const UniqueRegistryKey key(opened);
    DWORD size = length;
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return 0;
    return size == length ? 1 : 0;
}

}  // namespace kestrel::fwupdate::win32
