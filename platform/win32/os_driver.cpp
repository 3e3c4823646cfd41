// The kernel driver backend: the device opened by path with CreateFile and
// driven with synchronous DeviceIoControl calls.
#include "platform/device_provider.h"

#include "platform/driver_interface.h"
#include "platform/win32/unique_handle.h"

#include <string>

namespace kestrel::platform {

namespace {

class DriverConnection final : public DeviceConnection {
public:
    explicit DriverConnection(win32::UniqueHandle handle) : handle_(std::move(handle)) {}

    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength) override {
        DWORD bytes = 0;
        // Only exactly 1 counts as success, as the product has always checked.
        const BOOL result = DeviceIoControl(handle_.get(), code, const_cast<void*>(in), inLength, out, outLength,
                                            &bytes, nullptr);
        if (result == 1) return {true, 0, bytes};
        return {false, GetLastError(), bytes};
    }

private:
    win32::UniqueHandle handle_;
};

class DriverProvider final : public DeviceProvider {
public:
    std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                           uint32_t& error) override {
        const std::string path = std::string(driver::DEVICE_PATH_PREFIX) + std::string(name);
        win32::UniqueHandle handle(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!handle.valid()) {
            error = GetLastError();
            return nullptr;
        }
        return std::make_unique<DriverConnection>(std::move(handle));
    }

    std::string machineName(std::string_view name) const override { return std::string(name); }
};

}  // namespace

std::shared_ptr<DeviceProvider> makeOsDriverProvider() { return std::make_shared<DriverProvider>(); }

}  // namespace kestrel::platform
