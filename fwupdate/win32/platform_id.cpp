// The platform identifier from the system's version information: asked
// first with the extended record, then with the basic one.
#include "fwupdate/core/platform_id.h"

#include "platform/win32/win32.h"

namespace kestrel::fwupdate {

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record");

int GetPlatformId(uint32_t& id) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return 0;
    }
    id = info.dwPlatformId;
    return 1;
}

PlatformIdSource systemPlatformId() {
    return []() -> std::optional<uint32_t> {
        uint32_t id = 0;
        if (GetPlatformId(id) == 0) return std::nullopt;
        return id;
    };
}

}  // namespace kestrel::fwupdate
