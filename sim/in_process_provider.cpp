// The in-process backend: the product's device handles reach the device
// model directly, without a socket.
#include "platform/driver_interface.h"
#include "sim/sim_device.h"

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
    return std::make_shared<InProcessProvider>(std::move(device));
}

}  // namespace kestrel::sim
