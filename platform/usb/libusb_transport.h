// The USB transport over libusb-1.0 (Linux and other systems with it).
// Bulk transfers are asynchronous, completed by an event thread of the
// transport's own, so that a cancel from any thread ends them.
#pragma once

#include "platform/usb/usb_transport.h"

#include <memory>

namespace kestrel::platform::usb {

// Always a transport: when libusb cannot start (no USB subsystem), its
// list() is empty and says why, and every open fails with NotFound.
[[nodiscard]] std::shared_ptr<UsbTransport> makeLibusbTransport();

}  // namespace kestrel::platform::usb
