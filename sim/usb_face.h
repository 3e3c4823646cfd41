// The simulated Kestrel as a USB device: a UsbTransport whose one device is
// the simulator's EZ-USB controller, reached through the simulator's own
// device handles. What it models of USB:
//
// - descriptors: Anchor's vendor id; a product id that tells what the
//   controller runs (USB_PRODUCT_BARE, _FILE_SYSTEM, _MAIN); interface 0
//   with six bulk endpoints (64-byte packets) while firmware runs, and none
//   on the bare controller; bus 1, an address that changes with every
//   enumeration;
// - the firmware-load request 0xA0 (vendor, host to device): value 0x7F92
//   is the CPU control register (bit 0 holds the x51), any other value
//   writes the data stage into controller memory at that address; a data
//   stage above USB_LOAD_LIMIT bytes or past the memory's end stalls;
// - releasing the CPU takes the device off the bus; it comes back after the
//   re-enumeration delay as a new device (new address, the product id of
//   what it now runs); handles of the old one fail with Gone;
// - bulk endpoints on the device's pipes (an IN transfer with nothing to
//   deliver waits, as the endpoint NAKs, until cancelled); halts set by
//   stall() answer Stall until the host clears them.
#pragma once

#include "platform/device_provider.h"
#include "platform/usb/usb_transport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::sim {

inline constexpr uint16_t USB_PRODUCT_BARE = 0x2131;
inline constexpr uint16_t USB_PRODUCT_FILE_SYSTEM = 0x4B46;
inline constexpr uint16_t USB_PRODUCT_MAIN = 0x4B4D;
inline constexpr uint32_t USB_LOAD_LIMIT = 4096;

class SimUsbTransport : public platform::usb::UsbTransport {
public:
    // Halts `endpoint` of the device open now (every device opened from
    // this transport): its transfers answer Stall until cleared.
    virtual void stall(uint8_t endpoint) = 0;
};

// `driverSide` serves the simulator's device handles ("QlxUsb-0");
// `command` runs a simulator command ("stats", ...).
[[nodiscard]] std::shared_ptr<SimUsbTransport> makeSimUsbTransport(
    std::shared_ptr<platform::DeviceProvider> driverSide, std::function<std::string(const std::string&)> command);

class SimDevice;
// The USB face of a device in this process.
[[nodiscard]] std::shared_ptr<SimUsbTransport> makeUsbFace(const std::shared_ptr<SimDevice>& device);

}  // namespace kestrel::sim
