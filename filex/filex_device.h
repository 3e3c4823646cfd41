// The driver requests of the filex client on one device handle. The device
// is opened with read and write access, sharing read and write, by the
// device path of the link ("\\.\" and the device name).
#pragma once

#include "platform/device.h"

#include <cstdint>
#include <string>

namespace kestrel::filex {

// Opens the device `name` (e.g. "QlxUsb-0"); check valid().
[[nodiscard]] platform::DeviceHandle openFilexDevice(const std::string& name);

// The pipe count of CTL_GET_PIPE_INFO, or -1 when the request fails.
int64_t pipeCount(platform::DeviceHandle& device);

// One bulk transfer on `pipe` (CTL_BULK_READ into, or CTL_BULK_WRITE from,
// `data`); the driver's result with the bytes moved.
platform::ControlResult bulkRead(platform::DeviceHandle& device, uint32_t pipe, void* data, uint32_t length);
platform::ControlResult bulkWrite(platform::DeviceHandle& device, uint32_t pipe, const void* data, uint32_t length);
platform::ControlResult abortPipe(platform::DeviceHandle& device, uint32_t pipe);

}  // namespace kestrel::filex
