// The filex transport: the link to the device's file server and the
// exchange of one command (command block, optional data phase, status word).
//
// The device is opened anew for every exchange and closed at its end. Every
// single transfer gets up to 3 attempts and is guarded by the watchdog
// (8000 ms, then pipes 1, 3, 0 and 5 are aborted). Two named mutexes make
// the exchanges of every process on the machine run one at a time: the file
// mutex (outer; the operations hold it while they use the transfer buffer)
// and the exec mutex (inner; held around one exchange). During an exchange
// the process runs at real-time priority.
//
// State lives in the object: the transfer, packet and status buffers, the
// mutex handles, the watchdog and the last status. Thread-safe through the
// file mutex: every use of the state happens while it is held.
#pragma once

#include "filex/debug_trace.h"
#include "filex/filex_wire.h"
#include "filex/nested_mutex.h"
#include "filex/transfer_watchdog.h"
#include "platform/device.h"
#include "platform/named_mutex.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kestrel::filex {

struct FilexNames {
    std::string device = "QlxUsb-0";
    std::string fileMutex = "zidOrozUMutex";
    std::string execMutex = "qlxExecMutex";
};

enum class ExchangeOutcome {
    Completed,   // command, data phase and status word transferred; word is the status
    NoLink,      // the link could not be started, or a mutex not taken; word 0
    NoDevice,    // the device could not be opened for the exchange; word -1
    Refused,     // direction not 0, 1 or 2, or a data phase beyond the transfer buffer; word -1
    Incomplete,  // a transfer failed three times; word 0 (no status was read)
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::NoLink;
    int32_t word = 0;  // the result as the transport reports it: the status word, 0 or -1
    bool completed() const { return outcome == ExchangeOutcome::Completed; }
};

class FilexLink {
public:
    static constexpr uint32_t ATTEMPTS = 3;
    static constexpr uint32_t START_GRACE_MS = 20;

    // `trace` must outlive the link.
    explicit FilexLink(const FilexTrace& trace, FilexNames names = {});
    // Stops the watchdog.
    ~FilexLink();
    FilexLink(const FilexLink&) = delete;
    FilexLink& operator=(const FilexLink&) = delete;

    // Starts the link: checks under the file mutex that the device opens
    // and reports 6 pipes (then closes it again), creates the events and the
    // exec mutex, and starts the watchdog. True when the watchdog runs.
    bool OpenUSB();

    // The exchange an operation runs (its caller holds the file mutex):
    // starts the link when no watchdog runs, then ExecuteFilex under the
    // exec mutex.
    ExchangeResult RunFilexOperation(const FilexCommand& command);

    // One exchange on a started link. The data phase moves through the
    // transfer buffer: an operation that sends data places it there first,
    // one that receives data finds it there afterwards.
    ExchangeResult ExecuteFilex(const FilexCommand& command);

    // Stops the watchdog; the next exchange starts the link again.
    void stop();

    // The file mutex, opened (or created) on first use; null when it cannot
    // be. Operations hold it while they use the transfer buffer.
    platform::NamedMutex* fileMutex();
    uint8_t* transferBuffer() { return transfer_.get(); }
    int32_t lastStatus() const { return lastStatus_; }
    const FilexNames& names() const { return names_; }
    // Diagnostics, not synchronised: the watchdog runs; aborts it made.
    bool running() const { return watchdog_ && watchdog_->alive(); }
    uint32_t watchdogAborts() const { return watchdog_ ? watchdog_->aborts() : 0; }

private:
    bool sendCommand(platform::DeviceHandle& device);
    bool dataPhase(platform::DeviceHandle& device, Direction direction, uint32_t size);
    // One data request with its attempts: the bytes moved, 0 when all failed.
    uint32_t dataRequest(platform::DeviceHandle& device, Direction direction, uint32_t position, uint32_t request);
    bool readStatus(platform::DeviceHandle& device);

    const FilexTrace& trace_;
    FilexNames names_;
    std::mutex handlesMutex_;  // guards the lazy creation of the file mutex handle
    std::unique_ptr<NestedMutex> fileMutex_;
    std::unique_ptr<platform::NamedMutex> execMutex_;
    std::unique_ptr<TransferWatchdog> watchdog_;
    std::unique_ptr<uint8_t[]> transfer_;
    uint8_t packet_[COMMAND_TRANSFER] = {};
    uint8_t status_[STATUS_BUFFER_SIZE] = {};
    int32_t lastStatus_ = 0;
};

}  // namespace kestrel::filex
