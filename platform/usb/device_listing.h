// What each device backend sees, for `kestrel devices`: the simulated
// device of KESTREL_SIM, the OS driver's device (Windows), and the Kestrels
// on USB with their ids, bus and address, pipe count and firmware state.
#pragma once

#include "platform/usb/usb_transport.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::platform::usb {

struct DeviceReport {
    std::vector<std::string> lines;  // one per device, or one saying why none
    bool found = false;              // at least one device that can be opened
};

// `usb` is the USB stack to look at (null: none built).
[[nodiscard]] DeviceReport listDevices(const std::shared_ptr<UsbTransport>& usb);

}  // namespace kestrel::platform::usb
