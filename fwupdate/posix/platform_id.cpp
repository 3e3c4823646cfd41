// Outside Windows there is no platform identifier to read.
#include "fwupdate/core/platform_id.h"

namespace kestrel::fwupdate {

int GetPlatformId(uint32_t&) { return 0; }

PlatformIdSource systemPlatformId() {
    return []() -> std::optional<uint32_t> { return std::nullopt; };
}

}  // namespace kestrel::fwupdate
