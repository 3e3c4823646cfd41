// CPU time this process (or the calling thread) has used so far, user and
// system together, in real microseconds (never scaled): for benchmarks that
// set host work beside the simulated device's modelled time.
#pragma once

#include <cstdint>

namespace kestrel::platform {

uint64_t processCpuMicros();
uint64_t threadCpuMicros();

}  // namespace kestrel::platform
