// The USB transport of Windows builds: devices bound to the WinUSB driver,
// found through SetupAPI by device interface class and opened with
// CreateFile and WinUsb_Initialize (see platform/win32/winusb_api.h).
#pragma once

#include "platform/usb/usb_transport.h"

#include <memory>

namespace kestrel::platform::usb {

// On the system's WinUSB; null on builds without it.
[[nodiscard]] std::shared_ptr<UsbTransport> makeWinUsbTransport();

}  // namespace kestrel::platform::usb
