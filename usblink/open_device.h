// Low-level device access shared by the link and the firmware download: the
// device path and the open of the driver with write access.
#pragma once

#include "platform/device.h"

#include <string>

namespace kestrel::usblink {

inline constexpr size_t DEVICE_PATH_BUFFER = 64;

// "\\.\" followed by `name`, in a zero-filled 64-byte buffer.
std::string buildDevicePath(const char* name);

// Opens the device for writing, sharing write access. Returns true when
// the handle is valid; `handle` receives it either way.
bool OpenDevice(platform::DeviceHandle& handle, const char* name);

}  // namespace kestrel::usblink
