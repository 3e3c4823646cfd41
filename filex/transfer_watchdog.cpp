#include "filex/transfer_watchdog.h"

#include "filex/filex_device.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"

#include <chrono>
#include <system_error>

namespace kestrel::filex {

namespace {

// Real time for `ms` product milliseconds.
std::chrono::milliseconds realWait(uint64_t ms) {
    return std::chrono::milliseconds(platform::scaledMs(static_cast<uint32_t>(ms)));
}

}  // namespace

std::unique_ptr<TransferWatchdog> TransferWatchdog::create(std::string deviceName, const FilexTrace& trace) {
    return std::unique_ptr<TransferWatchdog>(new TransferWatchdog(std::move(deviceName), trace));
}

TransferWatchdog::TransferWatchdog(std::string deviceName, const FilexTrace& trace)
    : deviceName_(std::move(deviceName)), trace_(trace) {}

TransferWatchdog::~TransferWatchdog() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    thread_.join();
}

bool TransferWatchdog::start() {
    {
        std::lock_guard lock(mutex_);
        running_ = true;
    }
    threadStarted_ = 0;
    try {
        thread_ = platform::Thread([this] { ReadFilexProc(); });
    } catch (const std::system_error&) {
        std::lock_guard lock(mutex_);
        running_ = false;
        return false;
    }
    while (!started()) platform::sleepMs(1);
    return true;
}

void TransferWatchdog::arm() {
    const uint64_t now = platform::tickMs();
    std::lock_guard lock(mutex_);
    ++call_;
    armed_ = true;
    armedAtMs_ = now;
    if (idle_) {
        // One wake per idle spell: the thread sees this call (or a later
        // one) however long it takes to get the lock.
        idle_ = false;
        ++wakeups_;
        wake_.notify_one();
    }
}

void TransferWatchdog::disarm() {
    std::lock_guard lock(mutex_);
    armed_ = false;
    if (afterAbort_) {
        afterAbort_ = false;
        ++wakeups_;
        wake_.notify_one();
    }
}

bool TransferWatchdog::abortAllPipes() {
    platform::DeviceHandle second = openFilexDevice(deviceName_);
    if (!second.valid()) {
        trace_("*** Reset pipes failed in Execute Filex\n");
        return false;
    }
    trace_("*** Reseting all piipes\n");
    ++aborts_;  // counted before the aborts end the transfer
    for (const uint32_t pipe : {driver::PIPE_DATA_IN, driver::PIPE_COMMAND, driver::PIPE_DATA_OUT, driver::PIPE_STATUS})
        (void)abortPipe(second, pipe);
    return true;
}

template <typename Until>
void TransferWatchdog::waitIdle(std::unique_lock<std::mutex>& lock, Until until) {
    while (running_ && !until()) {
        idle_ = true;
        wake_.wait(lock);
    }
    idle_ = false;
}

bool TransferWatchdog::guardLatestCall(std::unique_lock<std::mutex>& lock) {
    // The latest call, armed now or ended since the thread last looked: the
    // thread sleeps until its guard runs out, not woken by later calls.
    const uint64_t call = seen_ = call_;
    const uint64_t due = armedAtMs_ + GUARD_MS;
    for (uint64_t now = platform::tickMs(); running_ && now < due; now = platform::tickMs())
        wake_.wait_for(lock, realWait(due - now), [&] { return !running_; });
    if (!running_) return false;
    // Ended, or a newer call that gets its own guard from its own arm().
    if (!armed_ || call_ != call) return true;
    lock.unlock();
    const bool aborted = abortAllPipes();
    lock.lock();
    if (!aborted || !running_) return running_;
    afterAbort_ = true;
    const bool ended =
        wake_.wait_for(lock, realWait(AFTER_ABORT_MS), [&] { return !running_ || !armed_ || call_ != call; });
    afterAbort_ = false;
    if (!ended) trace_("*** ReadFilexProc gets locked\n");
    return running_;
}

void TransferWatchdog::ReadFilexProc() {
    std::unique_lock lock(mutex_);
    threadStarted_ = 1;
    while (running_) {
        // Nothing new since the last look (a call aborted and still hung
        // included): wait for the next arm().
        if (call_ == seen_) {
            waitIdle(lock, [&] { return call_ != seen_; });
            continue;
        }
        if (!guardLatestCall(lock)) break;
    }
    ended_ = true;
}

}  // namespace kestrel::filex
