// Time as the product sees it. Every wait and sleep is multiplied by the time
// scale (KESTREL_TIME_SCALE, default 1), and tickMs() runs correspondingly
// faster, so the product's constants (5000 ms, 15000 ms, ...) keep their
// values while tests pass quickly.
#pragma once

#include <cstdint>

namespace kestrel::platform {

inline constexpr uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

// The scale in force (read once from KESTREL_TIME_SCALE; values <= 0 or
// unparsable mean 1).
double timeScale();

// The scale a KESTREL_TIME_SCALE text stands for (null, empty, <= 0 or
// unparsable: 1).
double parseTimeScale(const char* text);

// Real milliseconds for `ms` product milliseconds: 0 and WAIT_FOREVER stay,
// any other value becomes at least 1 (rounded up) and never WAIT_FOREVER.
uint32_t scaledMs(uint32_t ms);

// Sleeps `ms` product milliseconds.
void sleepMs(uint32_t ms);

// Monotonic product milliseconds: real elapsed time divided by the scale.
uint64_t tickMs();

// Monotonic real time, unscaled (benchmarks, traces).
uint64_t realMs();
uint64_t realMicros();

// The performance counter and its frequency (counts per second), unscaled.
uint64_t perfCounter();
uint64_t perfFrequency();

}  // namespace kestrel::platform
