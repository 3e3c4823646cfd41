// An open device handle: the RAII owner of one connection to the device,
// opened by path ("\\.\QlxUsb-0") through the backend in force.
#pragma once

#include "platform/device_provider.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrel::platform {

class DeviceHandle {
public:
    DeviceHandle() = default;

    // Opens `path`; the "\\.\" prefix is stripped before the backend sees the
    // name. Check valid(); openError() tells why an open failed.
    [[nodiscard]] static DeviceHandle open(std::string_view path, uint32_t access, uint32_t share);

    bool valid() const { return connection_ != nullptr; }
    uint32_t openError() const { return openError_; }

    // One control request. On an invalid handle: failure with error 6
    // (invalid handle).
    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength);

    void close() { connection_.reset(); }

private:
    std::unique_ptr<DeviceConnection> connection_;
    uint32_t openError_ = 0;
};

}  // namespace kestrel::platform
