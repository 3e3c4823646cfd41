// The device behind SimDevice: the EZ-USB controller's side of every driver
// request (pipe information, vendor requests, pipes, download), the bus
// presence of the device (re-enumeration, unplugging), and the program the
// x51 runs.
//
// One mutex guards all state; transfers that must wait (a bulk read with
// nothing to deliver, a data phase the firmware does not take) wait on a
// condition variable, which releases the mutex while they wait.
#pragma once

#include "sim/boot_eeprom.h"
#include "sim/controller_memory.h"
#include "sim/device_config.h"
#include "sim/fault_plan.h"
#include "sim/firmware_program.h"
#include "sim/modelled_clock.h"
#include "sim/nand_card.h"
#include "sim/pipe_set.h"
#include "sim/request_trace.h"
#include "sim/sim_device.h"
#include "platform/lock_file.h"

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <vector>

namespace kestrel::sim {

class DeviceModel final : public SimDevice, public std::enable_shared_from_this<DeviceModel> {
public:
    // What a connection knows about itself; guarded by the device mutex.
    struct Handle {
        uint64_t enumeration = 0;  // the bus enumeration the handle was opened in
        bool cancelled = false;
    };

    DeviceModel(DeviceConfig config, std::unique_ptr<NandCard> card, std::unique_ptr<BootEeprom> eeprom,
                std::unique_ptr<RequestTrace> trace);

    std::unique_ptr<SimConnection> open(uint32_t access, uint32_t share, uint32_t& error) override;
    std::string command(const std::string& text) override;
    SimCounters counters() const override;
    std::unique_ptr<usblink::CardCommands> directCardCommands() override;

    platform::ControlResult control(Handle& handle, uint32_t code, const void* in, uint32_t inLength, void* out,
                                    uint32_t outLength);
    void cancel(Handle& handle);

    // The lock of the device folder the model works on, held as long as the
    // model lives (let go after the card's files are closed).
    void keepFolderLocked(std::unique_ptr<platform::LockFile> lock) { folderLock_ = std::move(lock); }

private:
    enum class Bus { Present, Reenumerating, Unplugged };
    using Lock = std::unique_lock<std::mutex>;

    platform::ControlResult dispatch(Lock& lock, Handle& handle, uint32_t code, const uint8_t* in,
                                     uint32_t inLength, uint8_t* out, uint32_t outLength);
    platform::ControlResult pipeInfo(uint8_t* out, uint32_t outLength);
    platform::ControlResult vendorRequest(const uint8_t* in, uint32_t inLength);
    platform::ControlResult pipeControl(uint32_t code, const uint8_t* in, uint32_t inLength);
    platform::ControlResult bulkRead(Lock& lock, Handle& handle, uint32_t pipe, uint8_t* out, uint32_t length);
    platform::ControlResult bulkWrite(Lock& lock, Handle& handle, uint32_t pipe, const uint8_t* data,
                                      uint32_t length);
    platform::ControlResult download(const uint8_t* in, uint32_t inLength, const uint8_t* image, uint32_t length);
    // Waits until `pipe` is aborted or the handle dies; the transfer's result.
    platform::ControlResult waitForAbort(Lock& lock, Handle& handle, uint32_t pipe);
    platform::ControlResult simCommandRequest(const void* in, uint32_t inLength, void* out, uint32_t outLength);

    // Bus and controller state changes.
    void holdCpu();
    void releaseCpu();
    void leaveBus(Bus state);
    void powerOn();
    void refreshBus();
    bool live(const Handle& handle) const { return bus_ == Bus::Present && handle.enumeration == enumeration_; }
    void run(FirmwareKind kind);

    std::string runCommand(const std::vector<std::string_view>& words);
    std::string blockFault(const std::vector<std::string_view>& words);
    std::string stats() const;
    SimCounters countersLocked() const;

    std::unique_ptr<platform::LockFile> folderLock_;  // first in, last out
    mutable std::mutex mutex_;
    std::condition_variable changed_;  // answers arrived, pipes aborted, bus changed

    DeviceConfig config_;
    std::unique_ptr<NandCard> card_;
    std::unique_ptr<BootEeprom> eeprom_;
    std::unique_ptr<RequestTrace> trace_;
    ControllerMemory memory_;
    ModelledClock clock_;
    SimCounters counters_;
    FaultPlan faults_;
    PipeSet pipes_;
    DeviceHardware hardware_;
    std::unique_ptr<FirmwareProgram> program_;

    Bus bus_ = Bus::Present;
    bool cpuHeld_ = false;
    uint64_t enumeration_ = 1;
    uint64_t backAtMs_ = 0;  // product milliseconds at which a re-enumerating device returns
    uint32_t reenumerateMs_ = 0;
};

}  // namespace kestrel::sim
