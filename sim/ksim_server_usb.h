// The KSIM server's USB mode: the served device's USB face, reached through
// handles opened by the face's name (platform/usb/usb_wire.h), so that a
// client reaches the device as a USB device, as the product does on a
// system without the driver. The driver handles stay served beside it (for
// tests that ask for the socket's device path explicitly).
#pragma once

#include "sim/sim_device.h"
#include "sim/usb_face.h"

#include <map>
#include <memory>
#include <mutex>

namespace kestrel::sim {

// True when KESTREL_SIM_USB is 1: a server started now serves the USB face.
[[nodiscard]] bool usbModeFromEnvironment();

class UsbFaceService : public std::enable_shared_from_this<UsbFaceService> {
public:
    explicit UsbFaceService(const std::shared_ptr<SimDevice>& device);

    // A handle of the face; its open devices close with it.
    [[nodiscard]] std::unique_ptr<SimConnection> open();

private:
    friend class UsbFaceConnection;
    struct Opened;

    std::shared_ptr<SimUsbTransport> face_;
    std::mutex mutex_;
    std::map<uint32_t, std::shared_ptr<platform::usb::UsbDevice>> devices_;
    uint32_t nextId_ = 1;
};

}  // namespace kestrel::sim
