// The performance counter and the real sleep of Windows builds.
#include "platform/clock.h"
#include "platform/real_sleep.h"
#include "platform/win32/win32.h"

namespace kestrel::platform {

uint64_t perfCounter() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<uint64_t>(count.QuadPart);
}

uint64_t perfFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(frequency.QuadPart);
}

void detail::sleepRealMs(uint32_t ms) { Sleep(ms); }

}  // namespace kestrel::platform
