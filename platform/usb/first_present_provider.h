// A provider that tries several in turn: the first that opens the device
// serves it. Windows puts the OS driver's device first and WinUSB after it.
#pragma once

#include "platform/device_provider.h"

#include <memory>
#include <vector>

namespace kestrel::platform::usb {

// An open that no provider manages fails with the first error other than 2
// (a device that is there but cannot be opened says more than an absent
// one), else with 2. Lock names are the first provider's.
[[nodiscard]] std::shared_ptr<DeviceProvider> makeFirstPresentProvider(
    std::vector<std::shared_ptr<DeviceProvider>> providers);

}  // namespace kestrel::platform::usb
