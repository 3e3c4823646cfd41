// The watchdog of the filex transport: a thread that guards every single
// transfer of an exchange. The exchange brackets each control call with
// arm() and disarm(); when a call is still running 8000 ms after arm(), the
// watchdog opens a second handle to the device and aborts pipes 1, 3, 0 and
// 5, which makes the pending call fail, then gives the exchange 5000 ms to
// report the call finished before it waits for the next one.
//
// arm() and disarm() only record the call under an in-process lock; neither
// wakes the thread while calls follow one another. The thread sleeps until
// the guard of the call it last saw armed runs out, and only then looks
// again: a call that ended by then is forgotten, a newer one gets its own
// guard from its own arm(), and the same call still running is aborted. Only
// an idle thread (nothing armed when it last looked) and a thread waiting
// after an abort are woken. A process-wide event per arm and disarm, and a
// thread hand-off per call, cost several round trips to the OS per transfer
// where kernel objects are emulated.
//
// The watchdog takes neither filex mutex.
#pragma once

#include "filex/debug_trace.h"
#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kestrel::filex {

class TransferWatchdog {
public:
    static constexpr uint32_t GUARD_MS = 8000;
    static constexpr uint32_t AFTER_ABORT_MS = 5000;

    // The thread starts with start().
    [[nodiscard]] static std::unique_ptr<TransferWatchdog> create(std::string deviceName, const FilexTrace& trace);

    // Stops the thread (clears the running flag, wakes it, joins).
    ~TransferWatchdog();
    TransferWatchdog(const TransferWatchdog&) = delete;
    TransferWatchdog& operator=(const TransferWatchdog&) = delete;

    // Starts the thread and returns once it runs; false when no thread can
    // be created.
    [[nodiscard]] bool start();
    // The thread has set its started flag.
    bool started() const { return threadStarted_.load() != 0; }
    // The thread is in its loop (it has started and not yet ended).
    bool alive() const { return started() && !ended_.load(); }

    // The bracket of one control call: arm() before it, disarm() after it,
    // whatever its outcome.
    void arm();
    void disarm();

    // Aborts counted so far (for diagnostics).
    uint32_t aborts() const { return aborts_.load(); }
    // Times the thread was woken by arm() or disarm() (for diagnostics).
    uint32_t wakeups() const { return wakeups_.load(); }

private:
    TransferWatchdog(std::string deviceName, const FilexTrace& trace);
    void ReadFilexProc();
    // Waits out the guard of the latest call and aborts the pipes when that
    // same call is still armed then; false when the thread is to stop.
    // Called and returns with `lock` held.
    bool guardLatestCall(std::unique_lock<std::mutex>& lock);
    // Waits (lock held) until the thread is to stop or `until` holds.
    template <typename Until>
    void waitIdle(std::unique_lock<std::mutex>& lock, Until until);
    // False when no second handle could be opened (nothing aborted).
    bool abortAllPipes();

    std::string deviceName_;
    const FilexTrace& trace_;

    std::mutex mutex_;  // guards the fields below up to the atomics
    std::condition_variable wake_;
    bool running_ = false;
    bool armed_ = false;
    uint64_t call_ = 0;       // counts arm()s: the call armed now, or the last one
    uint64_t armedAtMs_ = 0;  // tickMs() at the arm() of `call_`
    uint64_t seen_ = 0;       // the latest call the thread has looked at
    bool idle_ = false;       // the thread waits for a call newer than `seen_`
    bool afterAbort_ = false; // the thread waits for `call_` to end after an abort

    std::atomic<uint32_t> threadStarted_{0};
    std::atomic<bool> ended_{false};
    std::atomic<uint32_t> aborts_{0};
    std::atomic<uint32_t> wakeups_{0};
    platform::Thread thread_;
};

// Holds the watchdog armed for the scope of one control call.
class GuardedCall {
public:
    explicit GuardedCall(TransferWatchdog& watchdog) : watchdog_(watchdog) { watchdog_.arm(); }
    ~GuardedCall() { watchdog_.disarm(); }
    GuardedCall(const GuardedCall&) = delete;
    GuardedCall& operator=(const GuardedCall&) = delete;

private:
    TransferWatchdog& watchdog_;
};

}  // namespace kestrel::filex
