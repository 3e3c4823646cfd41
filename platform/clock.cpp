#include "platform/clock.h"

#include "platform/environment.h"
#include "platform/real_sleep.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace kestrel::platform {

namespace {

// Counter ticks to a unit of `perSecond` per second without overflowing for
// counters of any realistic uptime.
uint64_t counterTo(uint64_t perSecond) {
    const uint64_t count = perfCounter();
    const uint64_t frequency = perfFrequency();
    return count / frequency * perSecond + count % frequency * perSecond / frequency;
}

}  // namespace

double parseTimeScale(const char* text) {
    if (text == nullptr) return 1.0;
    const std::string_view view(text);
    double value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (ec != std::errc() || end != view.data() + view.size() || !std::isfinite(value) || value <= 0)
        return 1.0;
    return value;
}

double timeScale() {
    static const double scale = [] {
        const auto text = getEnv("KESTREL_TIME_SCALE");
        return parseTimeScale(text ? text->c_str() : nullptr);
    }();
    return scale;
}

uint32_t scaledMs(uint32_t ms) {
    if (ms == 0 || ms == WAIT_FOREVER) return ms;
    // A hair below the exact product so that 5000 * 0.01 stays 50 despite
    // binary rounding; anything shorter than a millisecond becomes one.
    const double real = std::ceil(static_cast<double>(ms) * timeScale() - 1e-9);
    if (real < 1.0) return 1;
    if (real >= static_cast<double>(WAIT_FOREVER)) return WAIT_FOREVER - 1;
    return static_cast<uint32_t>(real);
}

void sleepMs(uint32_t ms) { detail::sleepRealMs(scaledMs(ms)); }

uint64_t tickMs() { return static_cast<uint64_t>(static_cast<double>(realMicros()) / 1000.0 / timeScale()); }

uint64_t realMs() { return counterTo(1000); }

uint64_t realMicros() { return counterTo(1000000); }

}  // namespace kestrel::platform
