// Backend selection and the null backend.
#include "platform/device_provider.h"

#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/ksim_usb_transport.h"
#include "platform/usb/usb_provider.h"

#include <mutex>

namespace kestrel::platform {

namespace {

class NullProvider final : public DeviceProvider {
public:
    std::unique_ptr<DeviceConnection> open(std::string_view, uint32_t, uint32_t, uint32_t& error) override {
        error = driver::ERR_FILE_NOT_FOUND;
        return nullptr;
    }
};

// The process-wide seam through which the simulator puts its device model in
// place of the driver. This is the one mutable global of the device layer.
struct InstalledProvider {
    std::mutex mutex;
    std::shared_ptr<DeviceProvider> provider;
};

InstalledProvider& installed() {
    static InstalledProvider instance;
    return instance;
}

}  // namespace

void installDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
    auto& slot = installed();
    std::lock_guard lock(slot.mutex);
    slot.provider = std::move(provider);
}

std::shared_ptr<DeviceProvider> activeDeviceProvider() {
    {
        auto& slot = installed();
        std::lock_guard lock(slot.mutex);
        if (slot.provider) return slot.provider;
    }
    if (const auto endpoint = getEnv("KESTREL_SIM"); endpoint && !endpoint->empty()) {
        // KESTREL_SIM_USB=1: the daemon's device through its USB face.
        if (const auto usb = getEnv("KESTREL_SIM_USB"); usb && *usb == "1") return usb::ksimUsbProvider(*endpoint);
        return makeKsimProvider(*endpoint);
    }
    return usb::systemDeviceProvider();
}

std::shared_ptr<DeviceProvider> makeNullProvider() { return std::make_shared<NullProvider>(); }

}  // namespace kestrel::platform
