// The device provider that does USB itself: opens the Kestrel on a
// UsbTransport and answers the driver interface through UsbConnection.
//
// Every handle of one device in this process shares one open UsbDevice, so
// that an abort sent on one handle (the link's watchdog opens its own) ends
// the transfers pending on another, as with the driver.
#pragma once

#include "platform/device_provider.h"
#include "platform/usb/usb_selection.h"
#include "platform/usb/usb_transport.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::platform::usb {

// What the provider would open: the selected devices in bus order, and a
// line saying why none is there when the list is empty.
struct Candidates {
    std::vector<DeviceIdentity> devices;
    std::string why;
};
[[nodiscard]] Candidates findCandidates(UsbTransport& transport, const Selection& selection,
                                        const std::string& selectionError = {});

// `selectionError` (a malformed KESTREL_USB) makes every open fail with 2.
[[nodiscard]] std::shared_ptr<DeviceProvider> makeUsbProvider(std::shared_ptr<UsbTransport> transport,
                                                              Selection selection,
                                                              std::string selectionError = {});

// The same, taking the devices KESTREL_USB names (read at every open), else
// the default selection.
[[nodiscard]] std::shared_ptr<DeviceProvider> makeUsbProviderFromEnvironment(std::shared_ptr<UsbTransport> transport);

// The process's provider on the system's USB stack (libusb where built; on
// other builds one that finds nothing). Created at first use; every handle
// of the process goes through this one, so that they share the device.
[[nodiscard]] std::shared_ptr<DeviceProvider> systemUsbProvider();
// What the product opens when no provider is installed and KESTREL_SIM is
// not set: on Windows the OS driver's device when present, else WinUSB's;
// elsewhere systemUsbProvider().
[[nodiscard]] std::shared_ptr<DeviceProvider> systemDeviceProvider();
// The system's USB stack itself, for listings; null where none is built.
[[nodiscard]] std::shared_ptr<UsbTransport> systemUsbTransport();

}  // namespace kestrel::platform::usb
