// Internal to platform/: the unscaled sleep that the scaled clock functions
// and the polling loops of this layer are built on.
#pragma once

#include <cstdint>

namespace kestrel::platform::detail {

// Sleeps `ms` real milliseconds; 0 yields the processor.
void sleepRealMs(uint32_t ms);

}  // namespace kestrel::platform::detail
