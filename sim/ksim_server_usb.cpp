#include "sim/ksim_server_usb.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/usb_wire.h"

#include <atomic>
#include <cstring>
#include <future>
#include <set>
#include <vector>

namespace kestrel::sim {

using platform::ControlResult;
using namespace platform::usb;
using namespace platform::usb::wire;

bool usbModeFromEnvironment() {
    const auto usb = platform::getEnv("KESTREL_SIM_USB");
    return usb && *usb == "1";
}

namespace {

ControlResult failed(UsbStatus status) { return {false, errorOf(status), 0}; }
ControlResult answered(const UsbResult& result) {
    return result.ok() ? ControlResult{true, 0, result.bytes} : failed(result.status);
}

}  // namespace

// One handle of the face. Requests come one at a time (the server runs a
// handle's requests in order); cancel() comes from another thread.
class UsbFaceConnection final : public SimConnection {
public:
    explicit UsbFaceConnection(std::shared_ptr<UsbFaceService> service) : service_(std::move(service)) {}

    ~UsbFaceConnection() override { closeDevices(); }

    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength) override {
        if (cancelled_) return {false, driver::ERR_OPERATION_ABORTED, 0};
        const auto* input = static_cast<const uint8_t*>(in);
        auto* output = static_cast<uint8_t*>(out);
        if ((inLength > 0 && !input) || (outLength > 0 && !output)) return failed(UsbStatus::Error);
        switch (code) {
        case USB_LIST: return list(output, outLength);
        case USB_OPEN: return openDevice(input, inLength, output, outLength);
        case USB_CONTROL_IN:
        case USB_CONTROL_OUT: return controlTransfer(code == USB_CONTROL_IN, input, inLength, output, outLength);
        case USB_BULK_IN:
        case USB_BULK_OUT: return bulk(code == USB_BULK_IN, input, inLength, output, outLength);
        case USB_CANCEL:
        case USB_CLEAR_HALT:
        case USB_PRESENT: return endpointRequest(code, input, inLength, output, outLength);
        default: return {false, driver::ERR_INVALID_FUNCTION, 0};
        }
    }

    // The client went away (or the server closes): the transfer waiting on
    // this handle ends, and so do the devices it opened.
    void cancel() override {
        cancelled_ = true;
        {
            std::lock_guard lock(bulkMutex_);
            if (const auto device = bulkDevice_.lock()) device->cancelBulk(bulkEndpoint_);
        }
        closeDevices();
    }

private:
    void closeDevices() {
        std::lock_guard lock(service_->mutex_);
        for (const uint32_t id : owned_) {
            auto it = service_->devices_.find(id);
            if (it == service_->devices_.end()) continue;
            // Transfers still waiting on other handles end now.
            for (const auto& endpoint : it->second->identity().endpoints) it->second->cancelBulk(endpoint.address);
            service_->devices_.erase(it);
        }
        owned_.clear();
    }

    std::shared_ptr<UsbDevice> device(uint32_t id) {
        std::lock_guard lock(service_->mutex_);
        const auto it = service_->devices_.find(id);
        return it == service_->devices_.end() ? nullptr : it->second;
    }

    ControlResult list(uint8_t* out, uint32_t outLength) {
        const DeviceList devices = service_->face_->list();
        std::vector<uint8_t> answer(4);
        uint32_t count = 0;
        for (const auto& d : devices.devices) {
            if (count == MAX_DEVICES) break;
            putIdentity(answer, d);
            ++count;
        }
        storeLe32(answer.data(), count);
        if (answer.size() > outLength) return failed(UsbStatus::Error);
        std::memcpy(out, answer.data(), answer.size());
        return {true, 0, static_cast<uint32_t>(answer.size())};
    }

    ControlResult openDevice(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength) {
        size_t at = 0;
        const auto wanted = takeIdentity(in, inLength, at);
        if (!wanted || outLength < 4 + MAX_IDENTITY) return failed(UsbStatus::Error);
        UsbStatus status = UsbStatus::Error;
        std::shared_ptr<UsbDevice> opened = service_->face_->open(*wanted, status);
        if (!opened) return failed(status);
        std::vector<uint8_t> answer(4);
        putIdentity(answer, opened->identity());
        {
            std::lock_guard lock(service_->mutex_);
            const uint32_t id = service_->nextId_++;
            service_->devices_[id] = std::move(opened);
            owned_.insert(id);
            storeLe32(answer.data(), id);
        }
        std::memcpy(out, answer.data(), answer.size());
        return {true, 0, static_cast<uint32_t>(answer.size())};
    }

    ControlResult controlTransfer(bool toHost, const uint8_t* in, uint32_t inLength, uint8_t* out,
                                  uint32_t outLength) {
        if (inLength < CONTROL_REQUEST_LENGTH) return failed(UsbStatus::Error);
        uint8_t record[CONTROL_REQUEST_LENGTH];
        std::memcpy(record, in, sizeof record);
        const ControlRequest request = takeControl(record);
        // The data stage's direction and length are those of the setup.
        if (toHost != ((request.setup.requestType & 0x80) != 0) || request.length > outLength)
            return failed(UsbStatus::Error);
        const auto target = device(request.device);
        if (!target) return failed(UsbStatus::NotFound);
        return answered(target->control(request.setup, out, request.length, request.timeoutMs));
    }

    ControlResult bulk(bool in, const uint8_t* request, uint32_t inLength, uint8_t* data, uint32_t length) {
        if (inLength < ENDPOINT_REQUEST_LENGTH) return failed(UsbStatus::Error);
        const uint8_t endpoint = request[4];
        if (((endpoint & 0x80) != 0) != in) return failed(UsbStatus::Error);
        const auto target = device(loadLe32(request));
        if (!target) return failed(UsbStatus::NotFound);
        std::promise<UsbResult> finished;
        auto result = finished.get_future();
        {
            // Under the lock, so that cancel() either comes first and is
            // seen here, or finds the transfer submitted.
            std::lock_guard lock(bulkMutex_);
            if (cancelled_) return {false, driver::ERR_OPERATION_ABORTED, 0};
            bulkDevice_ = target;
            bulkEndpoint_ = endpoint;
            target->submitBulk(endpoint, data, length, [&finished](UsbResult r) { finished.set_value(r); });
        }
        const UsbResult r = result.get();
        {
            std::lock_guard lock(bulkMutex_);
            bulkDevice_.reset();
        }
        return answered(r);
    }

    ControlResult endpointRequest(uint32_t code, const uint8_t* in, uint32_t inLength, uint8_t* out,
                                  uint32_t outLength) {
        if (inLength < ENDPOINT_REQUEST_LENGTH) return failed(UsbStatus::Error);
        const auto target = device(loadLe32(in));
        if (code == USB_PRESENT) {
            if (outLength < 1) return failed(UsbStatus::Error);
            out[0] = target && target->present() ? 1 : 0;
            return {true, 0, 1};
        }
        if (!target) return failed(UsbStatus::NotFound);
        if (code == USB_CANCEL) {
            target->cancelBulk(in[4]);
            return {true, 0, 0};
        }
        return answered(target->clearHalt(in[4]));
    }

    std::shared_ptr<UsbFaceService> service_;
    std::set<uint32_t> owned_;  // device ids this handle opened (under the service's mutex)
    std::atomic<bool> cancelled_{false};
    std::mutex bulkMutex_;
    std::weak_ptr<UsbDevice> bulkDevice_;  // of the transfer waiting now
    uint8_t bulkEndpoint_ = 0;
};

UsbFaceService::UsbFaceService(const std::shared_ptr<SimDevice>& device) : face_(makeUsbFace(device)) {}

std::unique_ptr<SimConnection> UsbFaceService::open() {
    return std::make_unique<UsbFaceConnection>(shared_from_this());
}

}  // namespace kestrel::sim
