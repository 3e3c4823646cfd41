#include "filex/filex_device.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "usblink/open_device.h"

namespace kestrel::filex {

namespace {

platform::ControlResult pipeRequest(platform::DeviceHandle& device, uint32_t code, uint32_t pipe, void* data,
                                    uint32_t length) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return device.control(code, index, sizeof index, data, length);
}

}  // namespace

platform::DeviceHandle openFilexDevice(const std::string& name) {
    return platform::DeviceHandle::open(usblink::buildDevicePath(name.c_str()),
                                        driver::ACCESS_READ | driver::ACCESS_WRITE,
                                        driver::SHARE_READ | driver::SHARE_WRITE);
}

int64_t pipeCount(platform::DeviceHandle& device) {
    uint8_t info[driver::PIPE_INFO_LENGTH] = {};
    const auto answer = device.control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info);
    if (!answer.ok) return -1;
    return loadLe32(info + driver::PIPE_INFO_COUNT_OFFSET);
}

platform::ControlResult bulkRead(platform::DeviceHandle& device, uint32_t pipe, void* data, uint32_t length) {
    return pipeRequest(device, driver::CTL_BULK_READ, pipe, data, length);
}

platform::ControlResult bulkWrite(platform::DeviceHandle& device, uint32_t pipe, const void* data,
                                  uint32_t length) {
    // The driver only reads the buffer of a bulk write.
    return pipeRequest(device, driver::CTL_BULK_WRITE, pipe, const_cast<void*>(data), length);
}

platform::ControlResult abortPipe(platform::DeviceHandle& device, uint32_t pipe) {
    return pipeRequest(device, driver::CTL_ABORT_PIPE, pipe, nullptr, 0);
}

}  // namespace kestrel::filex
