#include "platform/device.h"

#include "platform/driver_interface.h"

namespace kestrel::platform {

namespace {

constexpr uint32_t ERR_INVALID_HANDLE = 6;

std::string_view stripDevicePrefix(std::string_view path) {
    const std::string_view prefix = driver::DEVICE_PATH_PREFIX;
    if (path.substr(0, prefix.size()) == prefix) path.remove_prefix(prefix.size());
    return path;
}

}  // namespace

DeviceHandle DeviceHandle::open(std::string_view path, uint32_t access, uint32_t share) {
    DeviceHandle handle;
    uint32_t error = driver::ERR_FILE_NOT_FOUND;
    handle.connection_ = activeDeviceProvider()->open(stripDevicePrefix(path), access, share, error);
    handle.openError_ = handle.connection_ ? 0 : error;
    return handle;
}

ControlResult DeviceHandle::control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                    uint32_t outLength) {
    if (!connection_) return {false, ERR_INVALID_HANDLE, 0};
    return connection_->control(code, in, inLength, out, outLength);
}

}  // namespace kestrel::platform
