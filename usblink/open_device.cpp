#include "usblink/open_device.h"

#include "platform/driver_interface.h"

#include <cstring>

namespace kestrel::usblink {

std::string buildDevicePath(const char* name) {
    char path[DEVICE_PATH_BUFFER] = {};
    std::strncat(path, driver::DEVICE_PATH_PREFIX, sizeof path - 1);
    std::strncat(path, name, sizeof path - 1 - std::strlen(path));
    return path;
}

bool OpenDevice(platform::DeviceHandle& handle, const char* name) {
    handle = platform::DeviceHandle::open(buildDevicePath(name), driver::ACCESS_WRITE,
                                          driver::SHARE_WRITE);
    return handle.valid();
}

}  // namespace kestrel::usblink
