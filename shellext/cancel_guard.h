// The guard that a cancelled copy out of the device raises. Explorer goes on
// asking for the streams of the remaining files of a cancelled transfer;
// while the guard is up, every such request (opening a stream, a stream's
// QueryInterface or CopyTo) that comes at most 1500 ms after the previous
// one is refused and renews the time, so the whole chain is refused. The
// first request after a longer pause lowers the guard and proceeds.
// Times are product milliseconds (platform::tickMs, scaled in tests).
#pragma once

#include <cstdint>
#include <mutex>

namespace kestrel::shellext {

class CancelGuard {
public:
    static constexpr uint64_t HOLD_MS = 1500;

    // The guard of the process (one for every stream of the library).
    static CancelGuard& process();

    // Raises the guard at `nowMs`.
    void raise(uint64_t nowMs);
    // True when a request at `nowMs` may proceed; false when it is refused.
    bool admit(uint64_t nowMs);
    // The same at the current time.
    void raiseNow();
    bool admitNow();

private:
    std::mutex mutex_;
    bool raised_ = false;
    uint64_t timeMs_ = 0;
};

}  // namespace kestrel::shellext
