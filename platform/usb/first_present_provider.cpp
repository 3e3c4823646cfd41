#include "platform/usb/first_present_provider.h"

#include "platform/driver_interface.h"

#include <string>

namespace kestrel::platform::usb {

namespace {

class FirstPresentProvider final : public DeviceProvider {
public:
    explicit FirstPresentProvider(std::vector<std::shared_ptr<DeviceProvider>> providers)
        : providers_(std::move(providers)) {}

    std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                           uint32_t& error) override {
        error = driver::ERR_FILE_NOT_FOUND;
        for (const auto& provider : providers_) {
            uint32_t failure = driver::ERR_FILE_NOT_FOUND;
            if (auto connection = provider->open(name, access, share, failure)) {
                error = 0;
                return connection;
            }
            if (error == driver::ERR_FILE_NOT_FOUND) error = failure;
        }
        return nullptr;
    }

    std::string machineName(std::string_view name) const override {
        return providers_.empty() ? std::string() : providers_.front()->machineName(name);
    }

private:
    std::vector<std::shared_ptr<DeviceProvider>> providers_;
};

}  // namespace

std::shared_ptr<DeviceProvider> makeFirstPresentProvider(std::vector<std::shared_ptr<DeviceProvider>> providers) {
    return std::make_shared<FirstPresentProvider>(std::move(providers));
}

}  // namespace kestrel::platform::usb
