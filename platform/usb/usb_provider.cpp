#include "platform/usb/usb_provider.h"

#include "platform/debug_text.h"
#include "platform/driver_interface.h"
#include "platform/usb/usb_connection.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

namespace kestrel::platform::usb {

namespace {

std::string describe(const DeviceIdentity& device) {
    char text[64];
    std::snprintf(text, sizeof text, "%04x:%04x at %u:%u", device.vendorId, device.productId,
                  static_cast<unsigned>(device.bus), static_cast<unsigned>(device.address));
    return text;
}

class UsbProvider final : public DeviceProvider {
public:
    UsbProvider(std::shared_ptr<UsbTransport> transport, Selection selection, std::string selectionError,
                bool fromEnvironment = false)
        : transport_(std::move(transport)),
          selection_(std::move(selection)),
          selectionError_(std::move(selectionError)),
          fromEnvironment_(fromEnvironment) {}

    std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t, uint32_t, uint32_t& error) override {
        error = driver::ERR_FILE_NOT_FOUND;
        if (name != driver::DEVICE_NAME) return nullptr;
        Selection selection = selection_;
        std::string selectionError = selectionError_;
        if (fromEnvironment_) selection = selectionFromEnvironment(selectionError);
        const Candidates found = findCandidates(*transport_, selection, selectionError);
        if (found.devices.empty()) {
            debugText(("usb: " + found.why + "\n").c_str());
            return nullptr;
        }
        if (found.devices.size() > 1) {
            debugText(("usb: " + std::to_string(found.devices.size()) + " devices match; taking " +
                       describe(found.devices.front()) + " (KESTREL_USB=VID:PID@BUS:ADDRESS picks another)\n")
                          .c_str());
        }
        auto device = shared(found.devices.front(), error);
        if (!device) return nullptr;
        error = 0;
        return std::make_unique<UsbConnection>(std::move(device));
    }

private:
    using Key = std::pair<uint8_t, uint8_t>;  // bus, address

    // The device already open in this process, else a new open.
    std::shared_ptr<UsbDevice> shared(const DeviceIdentity& identity, uint32_t& error) {
        std::lock_guard lock(mutex_);
        const Key key{identity.bus, identity.address};
        if (auto it = open_.find(key); it != open_.end()) {
            auto existing = it->second.lock();
            if (existing && !existing->gone() && existing->identity().productId == identity.productId)
                return existing;
            open_.erase(it);
        }
        UsbStatus status = UsbStatus::Error;
        std::shared_ptr<UsbDevice> device = transport_->open(identity, status);
        if (!device) {
            error = status == UsbStatus::Gone ? driver::ERR_FILE_NOT_FOUND : driverError(status);
            debugText(("usb: cannot open " + describe(identity) + ": " + statusName(status) + "\n").c_str());
            return nullptr;
        }
        open_[key] = device;
        return device;
    }

    std::shared_ptr<UsbTransport> transport_;
    Selection selection_;
    std::string selectionError_;
    bool fromEnvironment_ = false;
    std::mutex mutex_;
    std::map<Key, std::weak_ptr<UsbDevice>> open_;
};

}  // namespace

Candidates findCandidates(UsbTransport& transport, const Selection& selection, const std::string& selectionError) {
    Candidates found;
    if (!selectionError.empty()) {
        found.why = selectionError;
        return found;
    }
    DeviceList list = transport.list();
    for (auto& device : list.devices)
        if (selects(selection, device)) found.devices.push_back(std::move(device));
    if (found.devices.empty()) {
        found.why = list.why.empty() ? transport.name() + ": no Kestrel among " + std::to_string(list.devices.size()) +
                                           " USB devices"
                                     : transport.name() + ": " + list.why;
    }
    return found;
}

std::shared_ptr<DeviceProvider> makeUsbProvider(std::shared_ptr<UsbTransport> transport, Selection selection,
                                                std::string selectionError) {
    return std::make_shared<UsbProvider>(std::move(transport), std::move(selection), std::move(selectionError));
}

}  // namespace kestrel::platform::usb

namespace kestrel::platform::usb {

std::shared_ptr<DeviceProvider> makeUsbProviderFromEnvironment(std::shared_ptr<UsbTransport> transport) {
    return std::make_shared<UsbProvider>(std::move(transport), Selection{}, std::string{}, true);
}

}  // namespace kestrel::platform::usb
