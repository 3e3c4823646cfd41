#include "platform/usb/ksim_usb_transport.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/usb/usb_provider.h"
#include "platform/usb/usb_wire.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <set>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrel::platform::usb {

namespace {

using namespace wire;

std::unique_ptr<DeviceConnection> openFace(DeviceProvider& ksim, uint32_t& error) {
    return ksim.open(USB_FACE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error);
}

UsbResult resultOf(const ControlResult& result) {
    if (result.ok) return {UsbStatus::Ok, result.bytes};
    return {statusOfError(result.error), 0};
}

class KsimUsbDevice final : public UsbDevice {
public:
    KsimUsbDevice(std::shared_ptr<DeviceProvider> ksim, std::unique_ptr<DeviceConnection> owner,
                  std::unique_ptr<DeviceConnection> cancels, uint32_t id, DeviceIdentity identity)
        : ksim_(std::move(ksim)),
          owner_(std::move(owner)),
          cancels_(std::move(cancels)),
          id_(id),
          identity_(std::move(identity)) {}

    ~KsimUsbDevice() override {
        std::unique_lock lock(mutex_);
        for (uint8_t endpoint : std::multiset<uint8_t>(pending_)) endpointRequest(*cancels_, USB_CANCEL, endpoint);
        idle_.wait(lock, [this] { return pending_.empty(); });
        idleConnections_.clear();
        // `owner_` closes last: the daemon then closes the device.
    }

    const DeviceIdentity& identity() const override { return identity_; }

    UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t timeoutMs) override {
        if (gone_) return {UsbStatus::Gone, 0};
        uint8_t request[CONTROL_REQUEST_LENGTH];
        putControl(request, {id_, setup, length, timeoutMs});
        const uint32_t code = (setup.requestType & 0x80) ? USB_CONTROL_IN : USB_CONTROL_OUT;
        std::lock_guard lock(ownerMutex_);
        return note(resultOf(owner_->control(code, request, sizeof request, data, length)));
    }

    void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) override {
        if (gone_) return done({UsbStatus::Gone, 0});
        std::unique_ptr<DeviceConnection> connection;
        {
            std::lock_guard lock(mutex_);
            if (!idleConnections_.empty()) {
                connection = std::move(idleConnections_.back());
                idleConnections_.pop_back();
            }
        }
        uint32_t error = 0;
        if (!connection) connection = openFace(*ksim_, error);
        if (!connection) return done(note({statusOfError(error), 0}));
        {
            std::lock_guard lock(mutex_);
            pending_.insert(endpoint);
        }
        std::thread(&KsimUsbDevice::transfer, this, std::move(connection), endpoint, data, length, std::move(done))
            .detach();
    }

    void cancelBulk(uint8_t endpoint) override {
        std::lock_guard lock(mutex_);
        if (pending_.count(endpoint)) endpointRequest(*cancels_, USB_CANCEL, endpoint);
    }

    UsbResult clearHalt(uint8_t endpoint) override {
        if (gone_) return {UsbStatus::Gone, 0};
        std::lock_guard lock(ownerMutex_);
        return note(resultOf(endpointRequest(*owner_, USB_CLEAR_HALT, endpoint)));
    }

    bool gone() const override { return gone_; }

    bool present() override {
        if (gone_) return false;
        uint8_t there = 0;
        uint8_t request[ENDPOINT_REQUEST_LENGTH] = {};
        storeLe32(request, id_);
        std::lock_guard lock(ownerMutex_);
        const UsbResult result = note(resultOf(owner_->control(USB_PRESENT, request, sizeof request, &there, 1)));
        if (result.ok() && result.bytes == 1 && there == 0) gone_ = true;
        return !gone_;
    }

private:
    ControlResult endpointRequest(DeviceConnection& connection, uint32_t code, uint8_t endpoint) {
        uint8_t request[ENDPOINT_REQUEST_LENGTH];
        storeLe32(request, id_);
        request[4] = endpoint;
        return connection.control(code, request, sizeof request, nullptr, 0);
    }

    UsbResult note(UsbResult result) {
        if (result.status == UsbStatus::Gone) gone_ = true;
        return result;
    }

    // On the transfer's own thread, over a handle of its own.
    void transfer(std::unique_ptr<DeviceConnection> connection, uint8_t endpoint, uint8_t* data, uint32_t length,
                  BulkDone done) {
        uint8_t request[ENDPOINT_REQUEST_LENGTH];
        storeLe32(request, id_);
        request[4] = endpoint;
        const uint32_t code = (endpoint & 0x80) ? USB_BULK_IN : USB_BULK_OUT;
        const UsbResult result = note(resultOf(connection->control(code, request, sizeof request, data, length)));
        {
            std::lock_guard lock(mutex_);
            // A handle whose link broke is not used again.
            if (result.status != UsbStatus::Gone) idleConnections_.push_back(std::move(connection));
            pending_.erase(pending_.find(endpoint));
            idle_.notify_all();
        }
        // `this` may be gone from here on; `done` does not need it.
        done(result);
    }

    std::shared_ptr<DeviceProvider> ksim_;
    std::mutex ownerMutex_;
    std::unique_ptr<DeviceConnection> owner_;
    std::unique_ptr<DeviceConnection> cancels_;  // under mutex_
    uint32_t id_;
    DeviceIdentity identity_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::multiset<uint8_t> pending_;
    std::vector<std::unique_ptr<DeviceConnection>> idleConnections_;
    std::atomic<bool> gone_{false};
};

class KsimUsbTransport final : public UsbTransport {
public:
    explicit KsimUsbTransport(std::shared_ptr<DeviceProvider> ksim) : ksim_(std::move(ksim)) {}

    std::string name() const override { return "simulator (USB)"; }

    DeviceList list() override {
        DeviceList list;
        uint32_t error = 0;
        auto connection = openFace(*ksim_, error);
        if (!connection) {
            list.why = "the simulator serves no USB face (error " + std::to_string(error) + ")";
            return list;
        }
        std::vector<uint8_t> answer(MAX_LIST);
        const ControlResult r = connection->control(USB_LIST, nullptr, 0, answer.data(), MAX_LIST);
        if (!r.ok || r.bytes < 4) {
            list.why = "the simulator's USB face did not list its devices";
            return list;
        }
        const uint32_t count = loadLe32(answer.data());
        size_t at = 4;
        for (uint32_t i = 0; i < count && i < MAX_DEVICES; ++i) {
            auto device = takeIdentity(answer.data(), r.bytes, at);
            if (!device) break;
            list.devices.push_back(std::move(*device));
        }
        return list;
    }

    std::unique_ptr<UsbDevice> open(const DeviceIdentity& wanted, UsbStatus& status) override {
        uint32_t error = 0;
        auto owner = openFace(*ksim_, error);
        auto cancels = owner ? openFace(*ksim_, error) : nullptr;
        if (!owner || !cancels) {
            status = statusOfError(error);
            if (status == UsbStatus::Error) status = UsbStatus::NotFound;
            return nullptr;
        }
        std::vector<uint8_t> request;
        putIdentity(request, wanted);
        std::vector<uint8_t> answer(4 + MAX_IDENTITY);
        const ControlResult r = owner->control(USB_OPEN, request.data(), static_cast<uint32_t>(request.size()),
                                               answer.data(), static_cast<uint32_t>(answer.size()));
        size_t at = 4;
        std::optional<DeviceIdentity> identity;
        if (r.ok && r.bytes >= 4) identity = takeIdentity(answer.data(), r.bytes, at);
        if (!identity) {
            status = r.ok ? UsbStatus::Error : statusOfError(r.error);
            return nullptr;
        }
        status = UsbStatus::Ok;
        return std::make_unique<KsimUsbDevice>(ksim_, std::move(owner), std::move(cancels), loadLe32(answer.data()),
                                               std::move(*identity));
    }

private:
    std::shared_ptr<DeviceProvider> ksim_;
};

}  // namespace

std::shared_ptr<UsbTransport> makeKsimUsbTransport(std::shared_ptr<DeviceProvider> ksim) {
    return std::make_shared<KsimUsbTransport>(std::move(ksim));
}

std::shared_ptr<DeviceProvider> ksimUsbProvider(const std::string& endpoint) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<DeviceProvider>> providers;
    std::lock_guard lock(mutex);
    auto& provider = providers[endpoint];
    if (!provider) provider = makeUsbProviderFromEnvironment(makeKsimUsbTransport(makeKsimProvider(endpoint)));
    return provider;
}

}  // namespace kestrel::platform::usb
