#include "sim/usb_face.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "sim/controller_memory.h"
#include "sim/text_numbers.h"
#include "sim/usb_endpoint_queue.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

namespace kestrel::sim {

namespace {

using platform::ControlResult;
using platform::DeviceConnection;
using namespace platform::usb;

constexpr uint8_t SIM_BUS = 1;
constexpr uint16_t PACKET_BYTES = 64;
constexpr uint8_t VENDOR_CLASS = 0xFF;
// The endpoints behind pipes 0..5, in descriptor order.
constexpr std::array<uint8_t, driver::PIPE_COUNT> ENDPOINTS = {0x02, 0x82, 0x04, 0x01, 0x84, 0x81};

// The value of `key` in the simulator's "stats" answer ("key = value" lines).
std::string statText(const std::string& stats, const std::string& key) {
    const std::string head = key + " = ";
    size_t at = 0;
    while (at < stats.size()) {
        const size_t end = stats.find('\n', at);
        const std::string line = stats.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, head.size(), head) == 0) return line.substr(head.size());
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return {};
}

DeviceIdentity describeDevice(const std::string& stats) {
    DeviceIdentity device;
    device.vendorId = 0x0547;
    device.bus = SIM_BUS;
    const std::string firmware = statText(stats, "firmware");
    const uint64_t enumeration = std::strtoull(statText(stats, "enumeration").c_str(), nullptr, 10);
    device.address = static_cast<uint8_t>(2 + enumeration % 120);
    device.productId = firmware == firmwareName(FirmwareKind::FileSystem) ? USB_PRODUCT_FILE_SYSTEM
                       : firmware == firmwareName(FirmwareKind::Main)     ? USB_PRODUCT_MAIN
                                                                          : USB_PRODUCT_BARE;
    device.interfaceClass = VENDOR_CLASS;
    if (device.productId != USB_PRODUCT_BARE) {
        for (const uint8_t address : ENDPOINTS)
            device.endpoints.push_back({address, EndpointType::Bulk, PACKET_BYTES, 0});
    }
    return device;
}

UsbStatus statusOf(const ControlResult& result) {
    if (result.ok) return UsbStatus::Ok;
    switch (result.error) {
    case driver::ERR_DEVICE_NOT_CONNECTED: return UsbStatus::Gone;
    case driver::ERR_OPERATION_ABORTED: return UsbStatus::Cancelled;
    case driver::ERR_INVALID_PARAMETER: return UsbStatus::Stall;
    default: return UsbStatus::Error;
    }
}

// The halts stall() sets, shared by the transport and its devices.
struct Halts {
    std::mutex mutex;
    std::array<bool, 256> halted{};
};

class SimUsbDevice final : public UsbDevice {
public:
    SimUsbDevice(DeviceIdentity identity, std::unique_ptr<DeviceConnection> control,
                 std::unique_ptr<DeviceConnection> aborts, std::vector<std::unique_ptr<DeviceConnection>> pipes,
                 std::shared_ptr<Halts> halts)
        : identity_(std::move(identity)),
          control_(std::move(control)),
          aborts_(std::move(aborts)),
          pipes_(std::move(pipes)),
          halts_(std::move(halts)) {
        for (uint32_t pipe = 0; pipe < pipes_.size(); ++pipe) {
            queues_.push_back(std::make_unique<UsbEndpointQueue>(
                [this, pipe](const UsbEndpointQueue::Transfer& t) { return transfer(pipe, t); },
                [this, pipe] { abortPipe(pipe); }));
        }
    }
    ~SimUsbDevice() override { queues_.clear(); }

    const DeviceIdentity& identity() const override { return identity_; }

    UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t) override {
        if (gone_) return {UsbStatus::Gone, 0};
        if ((setup.requestType & 0x60) != 0x40) return {UsbStatus::Stall, 0};
        const bool toHost = (setup.requestType & 0x80) != 0;
        std::lock_guard lock(controlMutex_);
        ControlResult result;
        if (!toHost && setup.request == driver::EZUSB_FIRMWARE_LOAD && setup.value != driver::EZUSB_CPUCS) {
            if (length > USB_LOAD_LIMIT) return {UsbStatus::Stall, 0};
            if (length > 0 && !data) return {UsbStatus::Error, 0};
            uint8_t offset[2];
            storeLe16(offset, setup.value);
            result = control_->control(driver::CTL_DOWNLOAD, offset, sizeof offset, data, length);
        } else {
            if (!toHost && length > 1) return {UsbStatus::Stall, 0};
            if (length > 0 && !data) return {UsbStatus::Error, 0};
            uint8_t record[driver::VENDOR_REQUEST_LENGTH] = {};
            record[driver::VR_REQUEST] = setup.request;
            storeLe16(record + driver::VR_VALUE, setup.value);
            storeLe16(record + driver::VR_INDEX, setup.index);
            storeLe16(record + driver::VR_LENGTH, length);
            record[driver::VR_DIRECTION] = toHost ? 1 : 0;
            record[driver::VR_DATA] = (!toHost && length == 1) ? data[0] : 0;
            result = control_->control(driver::CTL_VENDOR_REQUEST, record, sizeof record, toHost ? data : nullptr,
                                       toHost ? length : 0);
            if (result.ok && !toHost) result.bytes = length;
        }
        return note(result);
    }

    void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) override {
        const int pipe = pipeOf(endpoint);
        if (pipe < 0) return done({UsbStatus::NotFound, 0});
        if (gone_) return done({UsbStatus::Gone, 0});
        if (halted(endpoint)) return done({UsbStatus::Stall, 0});
        queues_[static_cast<size_t>(pipe)]->submit({data, length, std::move(done)});
    }

    void cancelBulk(uint8_t endpoint) override {
        const int pipe = pipeOf(endpoint);
        if (pipe >= 0) queues_[static_cast<size_t>(pipe)]->cancel();
    }

    UsbResult clearHalt(uint8_t endpoint) override {
        const int pipe = pipeOf(endpoint);
        if (pipe < 0) return {UsbStatus::NotFound, 0};
        if (gone_) return {UsbStatus::Gone, 0};
        {
            std::lock_guard lock(halts_->mutex);
            halts_->halted[endpoint] = false;
        }
        uint8_t index[4];
        storeLe32(index, static_cast<uint32_t>(pipe));
        std::lock_guard lock(controlMutex_);
        return note(control_->control(driver::CTL_RESET_PIPE, index, sizeof index, nullptr, 0));
    }

    bool gone() const override { return gone_; }

    bool present() override {
        if (gone_) return false;
        std::vector<uint8_t> scratch(driver::PIPE_INFO_LENGTH);
        std::lock_guard lock(controlMutex_);
        (void)note(control_->control(driver::CTL_GET_PIPE_INFO, nullptr, 0, scratch.data(), driver::PIPE_INFO_LENGTH));
        return !gone_;
    }

private:
    int pipeOf(uint8_t endpoint) const {
        for (size_t i = 0; i < identity_.endpoints.size(); ++i)
            if (identity_.endpoints[i].address == endpoint) return static_cast<int>(i);
        return -1;
    }

    bool halted(uint8_t endpoint) {
        std::lock_guard lock(halts_->mutex);
        return halts_->halted[endpoint];
    }

    UsbResult note(const ControlResult& result) {
        const UsbStatus status = statusOf(result);
        if (status == UsbStatus::Gone) gone_ = true;
        return {status, result.ok ? result.bytes : 0};
    }

    UsbResult transfer(uint32_t pipe, const UsbEndpointQueue::Transfer& t) {
        if (gone_) return {UsbStatus::Gone, 0};
        if (halted(identity_.endpoints[pipe].address)) return {UsbStatus::Stall, 0};
        uint8_t index[4];
        storeLe32(index, pipe);
        const uint32_t code = identity_.endpoints[pipe].isIn() ? driver::CTL_BULK_READ : driver::CTL_BULK_WRITE;
        return note(pipes_[pipe]->control(code, index, sizeof index, t.data, t.length));
    }

    void abortPipe(uint32_t pipe) {
        uint8_t index[4];
        storeLe32(index, pipe);
        std::lock_guard lock(abortMutex_);
        note(aborts_->control(driver::CTL_ABORT_PIPE, index, sizeof index, nullptr, 0));
    }

    DeviceIdentity identity_;
    std::mutex controlMutex_;
    std::unique_ptr<DeviceConnection> control_;
    std::mutex abortMutex_;
    std::unique_ptr<DeviceConnection> aborts_;
    std::vector<std::unique_ptr<DeviceConnection>> pipes_;
    std::shared_ptr<Halts> halts_;
    std::atomic<bool> gone_{false};
    std::vector<std::unique_ptr<UsbEndpointQueue>> queues_;  // last: their threads use the rest
};

class FaceTransport final : public SimUsbTransport {
public:
    FaceTransport(std::shared_ptr<platform::DeviceProvider> driverSide,
                  std::function<std::string(const std::string&)> command)
        : driverSide_(std::move(driverSide)), command_(std::move(command)), halts_(std::make_shared<Halts>()) {}

    std::string name() const override { return "simulator"; }

    DeviceList list() override {
        DeviceList list;
        uint32_t error = 0;
        if (!openHandle(error)) return list;  // off the bus
        list.devices.push_back(describeDevice(command_("stats")));
        return list;
    }

    std::unique_ptr<UsbDevice> open(const DeviceIdentity& wanted, UsbStatus& status) override {
        uint32_t error = 0;
        auto control = openHandle(error);
        auto aborts = openHandle(error);
        std::vector<std::unique_ptr<DeviceConnection>> pipes;
        for (size_t i = 0; control && aborts && i < wanted.endpoints.size(); ++i) {
            auto pipe = openHandle(error);
            if (!pipe) break;
            pipes.push_back(std::move(pipe));
        }
        // Handles opened in another enumeration than the one listed belong
        // to another device.
        const DeviceIdentity now = describeDevice(command_("stats"));
        if (!control || !aborts || pipes.size() != wanted.endpoints.size() || now.address != wanted.address ||
            now.productId != wanted.productId) {
            status = UsbStatus::Gone;
            return nullptr;
        }
        status = UsbStatus::Ok;
        {
            std::lock_guard lock(halts_->mutex);
            halts_->halted.fill(false);
        }
        return std::make_unique<SimUsbDevice>(now, std::move(control), std::move(aborts), std::move(pipes), halts_);
    }

    void stall(uint8_t endpoint) override {
        std::lock_guard lock(halts_->mutex);
        halts_->halted[endpoint] = true;
    }

private:
    std::unique_ptr<DeviceConnection> openHandle(uint32_t& error) {
        return driverSide_->open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error);
    }

    std::shared_ptr<platform::DeviceProvider> driverSide_;
    std::function<std::string(const std::string&)> command_;
    std::shared_ptr<Halts> halts_;
};

}  // namespace

std::shared_ptr<SimUsbTransport> makeSimUsbTransport(std::shared_ptr<platform::DeviceProvider> driverSide,
                                                     std::function<std::string(const std::string&)> command) {
    return std::make_shared<FaceTransport>(std::move(driverSide), std::move(command));
}

}  // namespace kestrel::sim
