// The monotonic counter and the real sleep of POSIX builds.
#include "platform/clock.h"
#include "platform/real_sleep.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace kestrel::platform {

uint64_t perfCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t perfFrequency() { return 1000000000u; }

void detail::sleepRealMs(uint32_t ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec rest{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace kestrel::platform
