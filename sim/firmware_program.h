// What runs on the x51: the program the controller was started with. It
// sees the host's bulk writes and leaves its answers in the IN pipes.
//
//   bulkWrite  one host transfer on an OUT pipe (0, 2, 3). Accepted: the
//              data were taken (possibly ignored). Blocked: the device does
//              not take them; the host's transfer waits until the pipe is
//              aborted.
//
// Programs: the file-system firmware (card commands), the main firmware
// (the filex file server, see filex_server.h), and an idle program for
// memory without a known image (answers nothing, so every bulk read
// blocks).
#pragma once

#include "sim/boot_eeprom.h"
#include "sim/controller_memory.h"
#include "sim/fault_plan.h"
#include "sim/filex_backend.h"
#include "sim/modelled_clock.h"
#include "sim/nand_card.h"
#include "sim/pipe_set.h"
#include "sim/sim_device.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrel::sim {

// The board the program runs on. Everything is guarded by the device's
// mutex, which the device holds whenever it calls into a program.
struct DeviceHardware {
    NandCard& card;
    BootEeprom& eeprom;
    ModelledClock& clock;
    SimCounters& counters;
    FaultPlan& faults;
    PipeSet& pipes;
    bool lastCardOperationFailed = false;  // the card status register's fail bit
    // Power failed during a program or erase (FaultPlan::takePowerCut): the
    // card does nothing more, and the device leaves the bus, until it is
    // powered again.
    bool powerLost = false;
    // The storage the main firmware serves files from, kept for the
    // device's lifetime. Whoever builds the device may install one; when
    // none is installed, the main firmware's first start puts an in-memory
    // one in place. A replacement takes effect at the main firmware's next
    // start (the running program keeps the one it started with).
    std::shared_ptr<FilexBackend> files = nullptr;
};

class FirmwareProgram {
public:
    enum class WriteResult { Accepted, Blocked };

    virtual ~FirmwareProgram() = default;
    virtual FirmwareKind kind() const = 0;
    virtual WriteResult bulkWrite(uint32_t pipe, const uint8_t* data, size_t length) = 0;
};

// Starts the program `kind` on `hardware`.
std::unique_ptr<FirmwareProgram> startFirmware(FirmwareKind kind, DeviceHardware& hardware);

}  // namespace kestrel::sim
