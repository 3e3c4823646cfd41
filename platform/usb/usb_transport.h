// The USB transport: what the USB device provider needs from a USB stack,
// and nothing more. One table of operations per backend:
//
//   UsbTransport::list     the devices on the bus now, with vendor/product
//                          id, bus/address and the endpoints of interface 0
//                          (descriptor order). Does not open them; does not
//                          block beyond reading descriptors. `why` says
//                          what kept the list short (no USB subsystem, ...).
//   UsbTransport::open     opens one listed device by bus and address and
//                          claims interface 0. Null with a status when it
//                          is gone (Gone), not allowed (Access), or busy.
//   UsbDevice::control     one synchronous control transfer on the default
//                          pipe; blocks until it ends.
//   UsbDevice::submitBulk  starts a bulk transfer on an endpoint and
//                          returns at once; `done` runs exactly once, on
//                          any thread, when it completes, fails or is
//                          cancelled. Thread-safe.
//   UsbDevice::cancelBulk  cancels every transfer pending on the endpoint;
//                          their completions report Cancelled. Callable
//                          from any thread, returns without waiting.
//   UsbDevice::clearHalt   clears the endpoint's halt (stall).
//   UsbDevice::gone        true once the device has been seen to leave the
//                          bus; every later call fails with Gone.
//   UsbDevice::present     asks the device whether it is still there (a bus
//                          round trip where the stack needs one); false
//                          once it has left.
//
// Backends: libusb-1.0 (where built), the simulated device's USB face, and
// WinUSB (Windows builds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::platform::usb {

enum class UsbStatus {
    Ok,
    Gone,        // the device left the bus
    Cancelled,   // the transfer was cancelled
    Stall,       // the endpoint (or the control request) stalled
    Timeout,
    Access,      // no permission to open the device
    Busy,        // claimed by another program or driver
    NotFound,    // no such device or endpoint
    Error,       // anything else
};

[[nodiscard]] const char* statusName(UsbStatus status);

enum class EndpointType : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct Endpoint {
    uint8_t address = 0;  // bit 7: IN (device to host)
    EndpointType type = EndpointType::Bulk;
    uint16_t maxPacketSize = 0;
    uint8_t interval = 0;

    bool isIn() const { return (address & 0x80) != 0; }
};

struct DeviceIdentity {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t bus = 0;
    uint8_t address = 0;
    uint8_t interfaceClass = 0;
    uint8_t interfaceSubClass = 0;
    uint8_t interfaceProtocol = 0;
    std::vector<Endpoint> endpoints;  // interface 0, alternate setting 0
};

struct UsbResult {
    UsbStatus status = UsbStatus::Error;
    uint32_t bytes = 0;  // bytes moved
    bool ok() const { return status == UsbStatus::Ok; }
};

// A control transfer's setup stage; the data stage is `length` bytes.
struct ControlSetup {
    uint8_t requestType = 0;  // bit 7: IN; bits 5-6: 2 = vendor
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
};
inline constexpr uint8_t REQUEST_TYPE_VENDOR_OUT = 0x40;
inline constexpr uint8_t REQUEST_TYPE_VENDOR_IN = 0xC0;

using BulkDone = std::function<void(UsbResult)>;

class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    virtual const DeviceIdentity& identity() const = 0;
    [[nodiscard]] virtual UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length,
                                            uint32_t timeoutMs) = 0;
    // `data` stays the caller's until `done` has run.
    virtual void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) = 0;
    virtual void cancelBulk(uint8_t endpoint) = 0;
    [[nodiscard]] virtual UsbResult clearHalt(uint8_t endpoint) = 0;
    [[nodiscard]] virtual bool gone() const = 0;
    [[nodiscard]] virtual bool present() = 0;
};

struct DeviceList {
    std::vector<DeviceIdentity> devices;
    std::string why;  // set when the list could not be read in full
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;
    // A short name for listings: "libusb", "simulator", "winusb".
    virtual std::string name() const = 0;
    [[nodiscard]] virtual DeviceList list() = 0;
    [[nodiscard]] virtual std::unique_ptr<UsbDevice> open(const DeviceIdentity& device, UsbStatus& status) = 0;
};

}  // namespace kestrel::platform::usb
