// The USB transport to a simulator daemon's USB face (usb_wire.h): each
// request on a KSIM handle opened by the face's name.
#pragma once

#include "platform/device_provider.h"
#include "platform/usb/usb_transport.h"

#include <memory>
#include <string>

namespace kestrel::platform::usb {

// `ksim` opens the daemon's handles (makeKsimProvider).
[[nodiscard]] std::shared_ptr<UsbTransport> makeKsimUsbTransport(std::shared_ptr<DeviceProvider> ksim);

// The USB provider on the daemon at `endpoint`, one per endpoint for the
// process (its handles share the open device, as on a real bus).
[[nodiscard]] std::shared_ptr<DeviceProvider> ksimUsbProvider(const std::string& endpoint);

}  // namespace kestrel::platform::usb
