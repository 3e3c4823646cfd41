#include "filex/transfer_watchdog.h"

#include "filex/filex_device.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"

#include <system_error>

namespace kestrel::filex {

using platform::WaitResult;

std::unique_ptr<TransferWatchdog> TransferWatchdog::create(std::string deviceName, const FilexTrace& trace) {
    auto go = platform::Event::create("");
    auto done = platform::Event::create("");
    if (!go || !done) return nullptr;
    return std::unique_ptr<TransferWatchdog>(
        new TransferWatchdog(std::move(deviceName), trace, std::move(go), std::move(done)));
}

TransferWatchdog::TransferWatchdog(std::string deviceName, const FilexTrace& trace,
                                   std::unique_ptr<platform::Event> go, std::unique_ptr<platform::Event> done)
    : deviceName_(std::move(deviceName)), trace_(trace), go_(std::move(go)), done_(std::move(done)) {}

TransferWatchdog::~TransferWatchdog() {
    running_ = 0;
    go_->set();
    done_->set();
    thread_.join();
}

bool TransferWatchdog::start() {
    running_ = 1;
    threadStarted_ = 0;
    try {
        thread_ = platform::Thread([this] { ReadFilexProc(); });
    } catch (const std::system_error&) {
        running_ = 0;
        return false;
    }
    while (!started()) platform::sleepMs(1);
    return true;
}

void TransferWatchdog::arm() {
    done_->reset();
    go_->set();
}

void TransferWatchdog::disarm() { done_->set(); }

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

void TransferWatchdog::ReadFilexProc() {
    threadStarted_ = 1;
    while (running_.load() == 1) {
        go_->wait(platform::WAIT_FOREVER);
        go_->reset();
        if (running_.load() == 0) break;
        if (done_->wait(GUARD_MS) == WaitResult::Signalled) continue;
        if (!abortAllPipes()) continue;
        if (done_->wait(AFTER_ABORT_MS) != WaitResult::Signalled) trace_("*** ReadFilexProc gets locked\n");
    }
    ended_ = true;
}

}  // namespace kestrel::filex
