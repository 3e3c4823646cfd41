#include "shellext/settings.h"

#include "platform/byte_order.h"
#include "shellext/registry_key.h"

namespace kestrel::shellext {

int32_t loadNameColumnWidth() {
    const RegistryKey key = RegistryKey::open(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_ALL_ACCESS);
    if (!key) return DEFAULT_NAME_COLUMN_WIDTH;
    uint8_t bytes[4] = {};
    DWORD size = sizeof bytes;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), SETTINGS_VALUE, nullptr, &type, bytes, &size) != ERROR_SUCCESS ||
        size != sizeof bytes)
        return DEFAULT_NAME_COLUMN_WIDTH;
    return static_cast<int32_t>(loadLe32(bytes));
}

void saveNameColumnWidth(int32_t width) {
    const RegistryKey key = RegistryKey::create(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_ALL_ACCESS);
    if (!key) return;
    uint8_t bytes[4];
    storeLe32(bytes, static_cast<uint32_t>(width));
    (void)RegSetValueExA(key.get(), SETTINGS_VALUE, 0, REG_BINARY, bytes, sizeof bytes);
}

}  // namespace kestrel::shellext
