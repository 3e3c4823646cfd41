#include "usblink/link.h"

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "platform/priority.h"
#include "usblink/open_device.h"

#include <algorithm>
#include <cstring>

namespace kestrel::usblink {

using platform::WaitResult;

Link::Link(TraceHook& trace, LinkNames names) : trace_(trace), names_(std::move(names)) {}

Link::~Link() {
    if (running() || go_ || device_.valid()) CloseLink();
}

bool Link::resetPipes() {
    uint8_t info[driver::PIPE_INFO_LENGTH] = {};
    const auto answer = device_.control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info);
    const uint32_t count = answer.ok ? loadLe32(info + driver::PIPE_INFO_COUNT_OFFSET) : 0;
    if (count == driver::PIPE_COUNT) {
        for (uint32_t pipe = 0; pipe < driver::PIPE_COUNT; ++pipe) {
            uint8_t index[4];
            storeLe32(index, pipe);
            (void)device_.control(driver::CTL_RESET_PIPE, index, sizeof index, nullptr, 0);
        }
        return true;
    }
    return count == 0;
}

bool Link::InitLink() {
    // A second start must not strand the running watchdog on events that are
    // about to be replaced: stop it first.
    if (running() || watchdog_.joinable()) CloseLink();
    frequency_ = platform::perfFrequency();
    if (!OpenDevice(device_, names_.device.c_str())) {
        trace_("*** InitLink initpipe failed\n");
    } else if (!resetPipes()) {
        device_.close();
        return false;
    }
    go_ = platform::Event::create(names_.goEvent);
    done_ = platform::Event::create(names_.doneEvent);
    if (!go_ || !done_) return false;

    command_ = SmCommand{};
    threadStarted_ = 0;
    running_ = 1;
    watchdog_ = platform::Thread([this] { LinkWatchdog(); });
    while (threadStarted_.load() != 1) platform::sleepMs(5);
    platform::sleepMs(5);
    return watchdog_.joinable();
}

bool Link::bulk(uint32_t code, uint32_t pipe, void* data, uint32_t length, uint32_t* received) {
    uint8_t index[4];
    storeLe32(index, pipe);
    const auto answer = device_.control(code, index, sizeof index, data, length);
    if (received) *received = answer.bytes;
    return answer.ok;
}

bool Link::sendPacket() {
    if (command_.rawLength == 0) {
        buildStandardPacket(command_);
        command_.rawLength = STANDARD_PACKET_LENGTH;
    }
    if (!bulk(driver::CTL_BULK_WRITE, driver::PIPE_COMMAND, command_.packet,
              roundToPacket(command_.rawLength), nullptr)) {
        trace_("\n*** BULK_WRITE failed\n");
        return false;
    }
    command_.rawLength = 0;
    return true;
}

bool Link::readDataPhase(uint32_t remaining) {
    while (remaining != 0) {
        const uint32_t chunk = std::min(remaining, BOUNCE_BUFFER_SIZE);
        uint32_t received = 0;
        if (!bulk(driver::CTL_BULK_READ, driver::PIPE_DATA_IN, bounce_, roundToPacket(chunk),
                  &received)) {
            trace_("\n*** BULK_READ failed\n");
            return false;
        }
        const uint32_t copied = std::min({received, remaining, BOUNCE_BUFFER_SIZE});
        std::memcpy(command_.buffer, bounce_, copied);
        command_.buffer += copied;
        remaining -= copied;
    }
    return true;
}

bool Link::writeDataPhase(uint32_t remaining) {
    while (remaining != 0) {
        const uint32_t chunk = std::min(remaining, BOUNCE_BUFFER_SIZE);
        std::memcpy(bounce_, command_.buffer, chunk);
        command_.buffer += chunk;
        remaining -= chunk;
        if (!bulk(driver::CTL_BULK_WRITE, driver::PIPE_DATA_OUT, bounce_, roundToPacket(chunk),
                  nullptr)) {
            trace_("\n*** BULK_WRITE failed\n");
            return false;
        }
    }
    return true;
}

void Link::ExecuteSM() {
    if (running_.load() == 0) {
        // Starting the link clears the command record; the command prepared
        // by the caller is carried across the start.
        const SmCommand prepared = command_;
        const bool started = (!startGate_ || startGate_()) && InitLink();
        command_ = prepared;
        if (!started) {
            command_.result = 0;
            return;
        }
    }
    platform::raiseToRealtimePriority();
    done_->reset();
    go_->set();
    command_.result = 0;

    const bool read = isReadCommand(command_.op);
    if (sendPacket()) {
        const uint32_t remaining = static_cast<uint32_t>(command_.cnt & 0xFFFF) * command_.unit;
        const bool ok = read ? readDataPhase(remaining) : writeDataPhase(remaining);
        if (ok) command_.result = 1;
    }

    done_->set();
    platform::restoreNormalPriority();
}

void Link::abortPipesFromSecondHandle() {
    platform::DeviceHandle second;
    if (!OpenDevice(second, names_.device.c_str())) {
        trace_("*** Reset pipes failed in Execute SM\n");
        return;
    }
    for (uint32_t pipe : {driver::PIPE_DATA_IN, driver::PIPE_COMMAND, driver::PIPE_DATA_OUT}) {
        uint8_t index[4];
        storeLe32(index, pipe);
        (void)second.control(driver::CTL_ABORT_PIPE, index, sizeof index, nullptr, 0);
    }
}

void Link::LinkWatchdog() {
    threadStarted_ = 1;
    while (running_.load() == 1) {
        go_->wait(platform::WAIT_FOREVER);
        go_->reset();
        if (running_.load() == 0) break;
        if (done_->wait(WATCHDOG_TIMEOUT_MS) == WaitResult::Signalled) continue;
        abortPipesFromSecondHandle();
        if (done_->wait(WATCHDOG_TIMEOUT_MS) != WaitResult::Signalled)
            trace_("*** ReadSMproc gets locked\n");
    }
}

bool Link::CloseLink() {
    running_ = 0;
    if (go_) go_->set();
    if (done_) done_->set();
    if (!device_.valid()) {
        trace_("*** Reset/abort pipes failed\n");
    } else {
        device_.close();
    }
    watchdog_.join();
    go_.reset();
    done_.reset();
    return true;
}

double Link::LinkTimeMs() const {
    return static_cast<double>(platform::perfCounter()) / static_cast<double>(frequency_) * 1000.0;
}

}  // namespace kestrel::usblink
