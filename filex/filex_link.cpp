#include "filex/filex_link.h"

#include "filex/filex_device.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "platform/priority.h"

#include <algorithm>
#include <cstring>

namespace kestrel::filex {

namespace {

using platform::NamedMutexLock;
using platform::WAIT_FOREVER;

// Real-time priority for the scope of an exchange; normal priority after it
// (set, not restored).
class RealtimeSection {
public:
    RealtimeSection() { platform::raiseToRealtimePriority(); }
    ~RealtimeSection() { platform::restoreNormalPriority(); }
    RealtimeSection(const RealtimeSection&) = delete;
    RealtimeSection& operator=(const RealtimeSection&) = delete;
};

ExchangeResult noLink() { return {ExchangeOutcome::NoLink, 0}; }

}  // namespace

FilexLink::FilexLink(const FilexTrace& trace, FilexNames names)
    : trace_(trace), names_(std::move(names)), transfer_(new uint8_t[TRANSFER_BUFFER_SIZE]()) {}

FilexLink::~FilexLink() { stop(); }

void FilexLink::stop() {
    // Under the file mutex: no exchange of this process is using the
    // watchdog while it goes.
    platform::NamedMutex* file = fileMutex();
    if (!file) {
        watchdog_.reset();
        return;
    }
    NamedMutexLock lock(*file, WAIT_FOREVER);
    watchdog_.reset();
}

platform::NamedMutex* FilexLink::fileMutex() {
    std::lock_guard lock(handlesMutex_);
    if (!fileMutex_) fileMutex_ = NestedMutex::over(platform::NamedMutex::open(names_.fileMutex));
    return fileMutex_.get();
}

bool FilexLink::OpenUSB() {
    platform::NamedMutex* file = fileMutex();
    if (!file) return false;
    // Held to the end, not only for the pipe check: the link state changes
    // here, and exchanges use it under this mutex.
    NamedMutexLock lock(*file, WAIT_FOREVER);
    if (!lock.owned()) return false;
    {
        platform::DeviceHandle device = openFilexDevice(names_.device);
        if (!device.valid()) {
            trace_("*** OpenUSB initpipe failed\n");
            return false;
        }
        if (pipeCount(device) != driver::PIPE_COUNT) return false;
    }
    watchdog_.reset();  // a watchdog that ended is replaced
    auto watchdog = TransferWatchdog::create(names_.device, trace_);
    if (!execMutex_) execMutex_ = platform::NamedMutex::open(names_.execMutex);
    if (!watchdog || !execMutex_ || !watchdog->start()) return false;
    watchdog_ = std::move(watchdog);
    return true;
}

ExchangeResult FilexLink::RunFilexOperation(const FilexCommand& command) {
    platform::NamedMutex* file = fileMutex();
    if (!file) return noLink();
    // Normally held by the calling operation already: taking it again only
    // nests, and makes the start of the link safe for any caller.
    NamedMutexLock outer(*file, WAIT_FOREVER);
    if (!outer.owned()) return noLink();
    if (!running() && !OpenUSB()) return noLink();
    if (!watchdog_->started()) {
        platform::sleepMs(START_GRACE_MS);
        if (!watchdog_->started()) return noLink();
    }
    NamedMutexLock exec(*execMutex_, WAIT_FOREVER);
    if (!exec.owned()) return noLink();
    return ExecuteFilex(command);
}

ExchangeResult FilexLink::ExecuteFilex(const FilexCommand& command) {
    const auto direction = static_cast<Direction>(command.direction);
    if (direction != Direction::FromDevice && direction != Direction::ToDevice && direction != Direction::None)
        return {ExchangeOutcome::Refused, -1};
    const uint64_t phase = dataPhaseBytes(command);
    if (phase > TRANSFER_BUFFER_SIZE) return {ExchangeOutcome::Refused, -1};
    platform::NamedMutex* file = fileMutex();
    if (!file) return noLink();

    RealtimeSection realtime;
    NamedMutexLock lock(*file, WAIT_FOREVER);
    if (!lock.owned() || !watchdog_) return noLink();
    encodeCommand(command, packet_);
    std::memset(status_, 0, sizeof status_);
    platform::DeviceHandle device = openFilexDevice(names_.device);
    if (!device.valid()) {
        trace_("*** ExecFlex initpipe failed\n");
        return {ExchangeOutcome::NoDevice, -1};
    }
    const bool completed = sendCommand(device) && dataPhase(device, direction, static_cast<uint32_t>(phase)) &&
                           readStatus(device);
    device.close();
    lastStatus_ = static_cast<int32_t>(loadLe32(status_));
    return {completed ? ExchangeOutcome::Completed : ExchangeOutcome::Incomplete, lastStatus_};
}

bool FilexLink::sendCommand(platform::DeviceHandle& device) {
    for (uint32_t attempt = 0; attempt < ATTEMPTS; ++attempt) {
        platform::ControlResult result;
        {
            GuardedCall guard(*watchdog_);
            result = bulkWrite(device, driver::PIPE_COMMAND, packet_, COMMAND_TRANSFER);
        }
        if (result.ok) return true;
        trace_("*** CMD send (BULK_WRITE) failed %08X\n", result.error);
    }
    return false;
}

bool FilexLink::dataPhase(platform::DeviceHandle& device, Direction direction, uint32_t size) {
    if (direction == Direction::None) return true;
    uint32_t position = 0;
    while (position < size) {
        // Whole packets, never past the end of the transfer buffer (after a
        // short transfer the remainder need not be a multiple of 64).
        const uint64_t wanted = roundUpToPacket(std::min(size - position, MAX_REQUEST));
        const auto request = static_cast<uint32_t>(std::min<uint64_t>(wanted, TRANSFER_BUFFER_SIZE - position));
        const uint32_t moved = dataRequest(device, direction, position, request);
        if (moved == 0) return false;
        position += moved;
    }
    return true;
}

uint32_t FilexLink::dataRequest(platform::DeviceHandle& device, Direction direction, uint32_t position,
                                uint32_t request) {
    const bool toDevice = direction == Direction::ToDevice;
    uint8_t* at = transfer_.get() + position;
    for (uint32_t attempt = 0; attempt < ATTEMPTS; ++attempt) {
        platform::ControlResult result;
        {
            GuardedCall guard(*watchdog_);
            result = toDevice ? bulkWrite(device, driver::PIPE_DATA_OUT, at, request)
                              : bulkRead(device, driver::PIPE_DATA_IN, at, request);
        }
        // A transfer that moves nothing counts as a failed attempt, so that a
        // phase that stops advancing ends; a driver that reports more than
        // was asked is believed only up to the request.
        if (result.ok && result.bytes > 0) return std::min(result.bytes, request);
        trace_(toDevice ? "*** DATA send (BULK_WRITE) failed err=%08X, nBytes=%d\n"
                        : "*** DATA send (BULK_READ) failed err=%08X, nBytes=%d\n",
               result.error, static_cast<int>(result.bytes));
    }
    return 0;
}

bool FilexLink::readStatus(platform::DeviceHandle& device) {
    for (uint32_t attempt = 0; attempt < ATTEMPTS; ++attempt) {
        platform::ControlResult result;
        {
            GuardedCall guard(*watchdog_);
            result = bulkRead(device, driver::PIPE_STATUS, status_, STATUS_LENGTH);
        }
        if (result.ok && result.bytes >= STATUS_LENGTH) return true;
        // A short status is no status: its word must not count as a result.
        std::memset(status_, 0, STATUS_LENGTH);
        trace_("*** STATUS read (BULK_READ) failed %08X\n", result.error);
    }
    return false;
}

}  // namespace kestrel::filex
