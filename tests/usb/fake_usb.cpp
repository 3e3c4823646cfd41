#include "tests/usb/fake_usb.h"

#include "platform/driver_interface.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kestrel::platform::usb::test {

FakeDevice::~FakeDevice() { leave(); }

UsbResult FakeDevice::control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t) {
    std::lock_guard lock(mutex_);
    if (gone_) return {UsbStatus::Gone, 0};
    controls_.push_back({setup, std::vector<uint8_t>(data, data + (data ? length : 0))});
    return {UsbStatus::Ok, length};
}

void FakeDevice::submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) {
    std::unique_lock lock(mutex_);
    bulks_.push_back({endpoint, length});
    UsbResult immediate{UsbStatus::Ok, length};
    if (gone_) immediate = {UsbStatus::Gone, 0};
    else if (std::count(halted_.begin(), halted_.end(), endpoint)) immediate = {UsbStatus::Stall, 0};
    else if (endpoint & 0x80) {
        pending_.push_back({endpoint, data, length, std::move(done)});
        serve();
        changed_.notify_all();
        return;
    }
    lock.unlock();
    done(immediate);
}

void FakeDevice::serve() {
    while (!answers_.empty() && !pending_.empty()) {
        Pending p = std::move(pending_.front());
        pending_.erase(pending_.begin());
        auto bytes = std::move(answers_.front());
        answers_.pop_front();
        const auto n = static_cast<uint32_t>(std::min<size_t>(bytes.size(), p.length));
        std::memcpy(p.data, bytes.data(), n);
        p.done({UsbStatus::Ok, n});
    }
}

void FakeDevice::cancelBulk(uint8_t endpoint) {
    std::vector<Pending> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->endpoint == endpoint) {
                ended.push_back(std::move(*it));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& p : ended) p.done({UsbStatus::Cancelled, 0});
}

UsbResult FakeDevice::clearHalt(uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    if (gone_) return {UsbStatus::Gone, 0};
    cleared_.push_back(endpoint);
    halted_.erase(std::remove(halted_.begin(), halted_.end(), endpoint), halted_.end());
    return {UsbStatus::Ok, 0};
}

bool FakeDevice::gone() const {
    std::lock_guard lock(mutex_);
    return gone_;
}

void FakeDevice::answer(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(bytes));
    serve();
}

void FakeDevice::leave() {
    std::vector<Pending> ended;
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        ended.swap(pending_);
    }
    for (auto& p : ended) p.done({UsbStatus::Gone, 0});
}

void FakeDevice::stall(uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    halted_.push_back(endpoint);
}

std::vector<SentControl> FakeDevice::controls() {
    std::lock_guard lock(mutex_);
    return controls_;
}

std::vector<SentBulk> FakeDevice::bulks() {
    std::lock_guard lock(mutex_);
    return bulks_;
}

std::vector<uint8_t> FakeDevice::clearedHalts() {
    std::lock_guard lock(mutex_);
    return cleared_;
}

bool FakeDevice::waitPending(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return pending_.size() >= count; });
}

DeviceIdentity kestrelIdentity(uint16_t productId, uint8_t address, bool firmware) {
    DeviceIdentity device;
    device.vendorId = 0x0547;
    device.productId = productId;
    device.bus = 3;
    device.address = address;
    device.interfaceClass = 0xFF;
    if (firmware) {
        for (const uint8_t endpoint : {0x02, 0x82, 0x04, 0x01, 0x84, 0x81})
            device.endpoints.push_back({endpoint, EndpointType::Bulk, 64, 0});
    }
    return device;
}

DeviceList FakeTransport::list() { return {devices, why}; }

std::unique_ptr<UsbDevice> FakeTransport::open(const DeviceIdentity& device, UsbStatus& status) {
    ++opens;
    status = openStatus;
    if (status != UsbStatus::Ok) return nullptr;
    auto opened = std::make_unique<FakeDevice>(device);
    last = opened.get();
    return opened;
}

}  // namespace kestrel::platform::usb::test
