// Events with set/reset/timed wait. Named events are machine-wide on Windows
// (every process opening the same name shares the event) and process-wide on
// POSIX (every opener in the process shares it).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrel::platform {

enum class WaitResult { Signalled, TimedOut, Failed };

class Event {
public:
    // Auto-reset unless manualReset; initially not signalled unless
    // initialState. An empty name makes an unnamed event. Returns null when
    // the event cannot be created.
    [[nodiscard]] static std::unique_ptr<Event> create(std::string_view name, bool manualReset = false,
                                                       bool initialState = false);
    virtual ~Event() = default;
    virtual void set() = 0;
    virtual void reset() = 0;
    // Waits at most `ms` product milliseconds (scaled; WAIT_FOREVER waits
    // without limit). An auto-reset event is consumed by a successful wait.
    virtual WaitResult wait(uint32_t ms) = 0;
};

}  // namespace kestrel::platform
