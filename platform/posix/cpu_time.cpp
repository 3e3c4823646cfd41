#include "platform/cpu_time.h"

#include <time.h>

namespace kestrel::platform {

namespace {

uint64_t cpuMicros(clockid_t clock) {
    timespec now{};
    if (clock_gettime(clock, &now) != 0) return 0;
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

uint64_t processCpuMicros() { return cpuMicros(CLOCK_PROCESS_CPUTIME_ID); }
uint64_t threadCpuMicros() { return cpuMicros(CLOCK_THREAD_CPUTIME_ID); }

}  // namespace kestrel::platform
