// The simulated Kestrel: EZ-USB controller with its pipes, the SmartMedia
// card, the boot EEPROM and the firmware that runs on the controller, backed
// by a device folder (nand.bin, eeprom.bin, device.conf).
//
// The product reaches it through a DeviceProvider: in process
// (makeInProcessProvider) or over KSIM (KsimServer). Both call open() and
// SimConnection::control(), so the two paths behave identically.
//
// Thread-safety: any number of connections may be used concurrently, one
// thread each; a bulk read blocked on one connection is ended by an abort
// sent on another.
#pragma once

#include "platform/device_provider.h"
#include "usblink/card_commands.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::sim {

struct SimCounters {
    uint64_t requests = 0;         // driver requests (control calls)
    uint64_t bytesToDevice = 0;    // bulk write + download + packet bytes
    uint64_t bytesFromDevice = 0;  // bulk read bytes returned
    uint64_t commands = 0;         // firmware command packets
    uint64_t pageReads = 0;
    uint64_t spareReads = 0;
    uint64_t pagePrograms = 0;
    uint64_t blockErases = 0;
    uint64_t eepromReads = 0;
    uint64_t eepromWrites = 0;
    uint64_t modelledMicros = 0;   // modelled device time
    uint64_t pendingTransfers = 0; // transfers blocked in the device right now
};

// The counters as `key = value` lines (requests, bytes_to_device,
// bytes_from_device, commands, page_reads, spare_reads, page_programs,
// block_erases, eeprom_reads, eeprom_writes, modelled_us, pending_transfers).
std::string formatCounters(const SimCounters& counters);

class SimDevice;

// One open handle of the device.
class SimConnection : public platform::DeviceConnection {
public:
    ~SimConnection() override = default;

    // Ends a request blocked on this handle (error 995) and fails every later
    // one: used by a server that closes while a client waits on the device.
    virtual void cancel() = 0;
};

class SimDevice {
public:
    // Opens an existing device folder; null with `error` on failure. The
    // device starts in its power-on state (main firmware running). When
    // KESTREL_SIM_TRACE names a file, every driver request is appended to it.
    [[nodiscard]] static std::shared_ptr<SimDevice> openFolder(const std::string& folder,
                                                               std::string* error = nullptr);
    virtual ~SimDevice() = default;

    // Opens a handle: null with `error` = 2 while the device is off the bus.
    virtual std::unique_ptr<SimConnection> open(uint32_t access, uint32_t share, uint32_t& error) = 0;

    // Simulator commands (the text of CTL_SIM_COMMAND): "unplug", "replug",
    // "reset" (power cycle: off the bus and back with the main firmware, the
    // faults of device.conf restored), "stall N" (the Nth command from now
    // never answers), "power-cut N [SEED]" (power fails during the Nth page
    // program or block erase from now, leaving it half done; the device is
    // then off the bus, as unplugged, until "replug" or "reset"), "flip PAGE BYTE BIT" (a bit flip on every read of that
    // page byte), "fail-program BLOCK", "fail-erase BLOCK", "bad BLOCK",
    // "reenumerate-ms MS" (the delay of the next re-enumerations), "stats",
    // "faults". Returns the answer text ("ok", the statistics...),
    // or "error: ..." for a bad command.
    virtual std::string command(const std::string& text) = 0;

    virtual SimCounters counters() const = 0;

    // The card as the device's own firmware reaches it: card commands
    // straight on the card model, whatever runs on the controller and
    // whether the device is on the bus or not. Keeps the device alive.
    virtual std::unique_ptr<usblink::CardCommands> directCardCommands() = 0;
};

// A DeviceProvider serving `device` under the name "QlxUsb-0": directly, or
// through its USB face (makeUsbFaceProvider) when KESTREL_SIM_USB is 1.
std::shared_ptr<platform::DeviceProvider> makeInProcessProvider(std::shared_ptr<SimDevice> device);

// The product's USB device provider on the device's USB face.
std::shared_ptr<platform::DeviceProvider> makeUsbFaceProvider(std::shared_ptr<SimDevice> device);

}  // namespace kestrel::sim
