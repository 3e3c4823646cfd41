// The watchdog of the filex transport: a thread that guards every single
// transfer of an exchange. The exchange brackets each control call with
// arm() and disarm(); when a call is still running 8000 ms after arm(), the
// watchdog opens a second handle to the device and aborts pipes 1, 3, 0 and
// 5, which makes the pending call fail, then gives the exchange 5000 ms to
// report the call finished before it waits for the next one.
//
// The go/done events are unnamed: they pair one process's exchanges with
// its own watchdog. The watchdog takes neither filex mutex.
#pragma once

#include "filex/debug_trace.h"
#include "platform/event.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::filex {

class TransferWatchdog {
public:
    static constexpr uint32_t GUARD_MS = 8000;
    static constexpr uint32_t AFTER_ABORT_MS = 5000;

    // Creates the go and done events; null when either cannot be created.
    // The thread starts with start().
    [[nodiscard]] static std::unique_ptr<TransferWatchdog> create(std::string deviceName, const FilexTrace& trace);

    // Stops the thread (clears the running flag, sets both events, joins).
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

    // The bracket of one control call: before it, reset done and set go;
    // after it, whatever its outcome, set done.
    void arm();
    void disarm();

    // Aborts counted so far (for diagnostics).
    uint32_t aborts() const { return aborts_.load(); }

private:
    TransferWatchdog(std::string deviceName, const FilexTrace& trace, std::unique_ptr<platform::Event> go,
                     std::unique_ptr<platform::Event> done);
    void ReadFilexProc();
    // False when no second handle could be opened (nothing aborted).
    bool abortAllPipes();

    std::string deviceName_;
    const FilexTrace& trace_;
    std::unique_ptr<platform::Event> go_;
    std::unique_ptr<platform::Event> done_;
    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> threadStarted_{0};
    std::atomic<bool> ended_{false};
    std::atomic<uint32_t> aborts_{0};
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
