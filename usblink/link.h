// The device link: one open driver handle, the command record, the bounce
// buffer and the watchdog that aborts a command running longer than 5000 ms.
// Callers serialise commands; the link itself takes no lock.
#pragma once

#include "platform/device.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "usblink/sm_command.h"
#include "usblink/trace_hook.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::usblink {

inline constexpr uint32_t BOUNCE_BUFFER_SIZE = 2048;
inline constexpr uint32_t WATCHDOG_TIMEOUT_MS = 5000;

struct LinkNames {
    std::string device = "QlxUsb-0";
    std::string goEvent = "smExecuteSMgo";
    std::string doneEvent = "smExecuteSMdone";
};

class Link {
public:
    explicit Link(TraceHook& trace, LinkNames names = {});
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Opens the device, resets its pipes, creates the events and starts the
    // watchdog. True when the watchdog thread runs.
    bool InitLink();

    // Carries the command held in command(); sets its result. A link that
    // is not running is started first, when the start gate (if any) allows.
    void ExecuteSM();

    // Asked before ExecuteSM starts a stopped link; false fails the command.
    void setStartGate(std::function<bool()> gate) { startGate_ = std::move(gate); }

    // Stops the watchdog and closes the device. Always true.
    bool CloseLink();

    // Milliseconds of the performance counter, for trace lines.
    double LinkTimeMs() const;

    bool running() const { return running_.load() != 0; }
    SmCommand& command() { return command_; }
    const LinkNames& names() const { return names_; }

private:
    void LinkWatchdog();
    bool resetPipes();
    void abortPipesFromSecondHandle();
    bool sendPacket();
    bool readDataPhase(uint32_t remaining);
    bool writeDataPhase(uint32_t remaining);
    bool bulk(uint32_t code, uint32_t pipe, void* data, uint32_t length, uint32_t* received);

    TraceHook& trace_;
    LinkNames names_;
    std::function<bool()> startGate_;
    platform::DeviceHandle device_;
    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> threadStarted_{0};
    platform::Thread watchdog_;
    std::unique_ptr<platform::Event> go_;
    std::unique_ptr<platform::Event> done_;
    uint64_t frequency_ = 1;
    SmCommand command_;
    alignas(64) uint8_t bounce_[BOUNCE_BUFFER_SIZE] = {};
};

}  // namespace kestrel::usblink
