// The in-process backend: the product's device handles reach the device
// model directly, without a socket.
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/usb_provider.h"
#include "sim/sim_device.h"
#include "sim/usb_face.h"

namespace kestrel::sim {

namespace {

class InProcessProvider final : public platform::DeviceProvider {
public:
    explicit InProcessProvider(std::shared_ptr<SimDevice> device) : device_(std::move(device)) {}

    std::unique_ptr<platform::DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                                     uint32_t& error) override {
        if (name != driver::DEVICE_NAME) {
            error = driver::ERR_FILE_NOT_FOUND;
            return nullptr;
        }
        return device_->open(access, share, error);
    }

private:
    std::shared_ptr<SimDevice> device_;
};

}  // namespace

std::shared_ptr<platform::DeviceProvider> makeInProcessProvider(std::shared_ptr<SimDevice> device) {
    const auto usb = platform::getEnv("KESTREL_SIM_USB");
    if (usb && *usb == "1") return makeUsbFaceProvider(std::move(device));
    return std::make_shared<InProcessProvider>(std::move(device));
}

std::shared_ptr<platform::DeviceProvider> makeUsbFaceProvider(std::shared_ptr<SimDevice> device) {
    return platform::usb::makeUsbProvider(makeUsbFace(device), platform::usb::defaultSelection());
}

std::shared_ptr<SimUsbTransport> makeUsbFace(const std::shared_ptr<SimDevice>& device) {
    auto driverSide = std::make_shared<InProcessProvider>(device);
    return makeSimUsbTransport(std::move(driverSide), [device](const std::string& text) { return device->command(text); });
}

}  // namespace kestrel::sim
