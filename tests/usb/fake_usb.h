// A scripted USB device and transport for the provider's tests: records
// every control transfer and bulk submission, answers bulk IN transfers
// from a queue (holding them pending while it is empty, as a NAKing
// endpoint does), and can leave the bus.
#pragma once

#include "platform/usb/usb_transport.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace kestrel::platform::usb::test {

struct SentControl {
    ControlSetup setup;
    std::vector<uint8_t> data;
};

struct SentBulk {
    uint8_t endpoint = 0;
    uint32_t length = 0;
};

class FakeDevice final : public UsbDevice {
public:
    explicit FakeDevice(DeviceIdentity identity) : identity_(std::move(identity)) {}
    ~FakeDevice() override;

    const DeviceIdentity& identity() const override { return identity_; }
    UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t timeoutMs) override;
    void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) override;
    void cancelBulk(uint8_t endpoint) override;
    UsbResult clearHalt(uint8_t endpoint) override;
    bool gone() const override;
    bool present() override { return !gone(); }

    // Test side.
    void answer(std::vector<uint8_t> bytes);  // the next IN transfer's data
    void leave();                             // off the bus: pending transfers end Gone
    void stall(uint8_t endpoint);
    std::vector<SentControl> controls();
    std::vector<SentBulk> bulks();
    std::vector<uint8_t> clearedHalts();
    // Waits (real time, bounded) until `count` transfers are pending.
    bool waitPending(size_t count);

private:
    struct Pending {
        uint8_t endpoint;
        uint8_t* data;
        uint32_t length;
        BulkDone done;
    };
    void serve();  // completes pending IN transfers that have answers; mutex held

    DeviceIdentity identity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SentControl> controls_;
    std::vector<SentBulk> bulks_;
    std::vector<uint8_t> cleared_;
    std::vector<uint8_t> halted_;
    std::deque<std::vector<uint8_t>> answers_;
    std::vector<Pending> pending_;
    bool gone_ = false;
};

// Kestrel-shaped identities.
DeviceIdentity kestrelIdentity(uint16_t productId, uint8_t address, bool firmware = true);

class FakeTransport final : public UsbTransport {
public:
    std::string name() const override { return "fake"; }
    DeviceList list() override;
    std::unique_ptr<UsbDevice> open(const DeviceIdentity& device, UsbStatus& status) override;

    std::vector<DeviceIdentity> devices;
    std::string why;
    UsbStatus openStatus = UsbStatus::Ok;
    int opens = 0;
    FakeDevice* last = nullptr;  // the device opened last
};

}  // namespace kestrel::platform::usb::test
