// One open handle of the driver interface, answered by USB: the control
// codes of driver_interface.h translated onto a UsbDevice.
//
//   CTL_GET_PIPE_INFO   the interface information record (1024 bytes), one
//                       pipe per endpoint of the interface in descriptor
//                       order, pipe count at 12;
//   CTL_VENDOR_REQUEST  a vendor control transfer built from the 10-byte
//                       record;
//   CTL_DOWNLOAD        firmware-load requests (0xA0) into controller
//                       memory from the given offset, DOWNLOAD_CHUNK bytes
//                       at a time;
//   CTL_BULK_READ/WRITE a bulk transfer on the pipe's endpoint, bytes moved;
//   CTL_RESET_PIPE      clears the endpoint's halt;
//   CTL_ABORT_PIPE      cancels the transfers pending on the endpoint, on
//                       every handle of the device (they fail with 995).
// A device that left the bus fails every call with 1167.
#pragma once

#include "platform/device_provider.h"
#include "platform/usb/usb_transport.h"

#include <memory>

namespace kestrel::platform::usb {

// The largest firmware-load transfer; the controller's control endpoint
// takes this much in one data stage.
inline constexpr uint32_t DOWNLOAD_CHUNK = 4096;
// The controller's memory the firmware-load request reaches.
inline constexpr uint32_t CONTROLLER_MEMORY = 0x10000;
// A control transfer that takes longer than this has failed.
inline constexpr uint32_t CONTROL_TIMEOUT_MS = 5000;

// Win32 error the driver reports for a USB status (0 for Ok).
[[nodiscard]] uint32_t driverError(UsbStatus status);

class UsbConnection final : public DeviceConnection {
public:
    explicit UsbConnection(std::shared_ptr<UsbDevice> device) : device_(std::move(device)) {}
    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength) override;

private:
    ControlResult pipeInfo(uint8_t* out, uint32_t outLength);
    ControlResult vendorRequest(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength);
    ControlResult download(const uint8_t* in, uint32_t inLength, const uint8_t* image, uint32_t length);
    ControlResult bulk(bool read, uint32_t pipe, uint8_t* data, uint32_t length);
    ControlResult pipeControl(uint32_t code, uint32_t pipe);
    const Endpoint* endpoint(uint32_t pipe) const;

    std::shared_ptr<UsbDevice> device_;
};

}  // namespace kestrel::platform::usb
