// The operating system's platform identifier (Windows: 2 for the NT family).
#pragma once

#include "fwupdate/core/update_tool.h"

#include <cstdint>

namespace kestrel::fwupdate {

// Stores the identifier and returns 1, or returns 0 when the system's
// version information cannot be read (always so outside Windows).
int GetPlatformId(uint32_t& id);

// GetPlatformId as the tool asks for it.
PlatformIdSource systemPlatformId();

}  // namespace kestrel::fwupdate
