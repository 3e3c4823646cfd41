// The simulated Kestrel's USB face under the product's USB provider: the
// descriptors, firmware load and re-enumeration as the product's firmware
// download drives them, stalls, and the face's own refusals.
#include "platform/byte_order.h"
#include "platform/device.h"
#include "platform/driver_interface.h"
#include "platform/message_box.h"
#include "platform/usb/usb_connection.h"
#include "platform/usb/usb_provider.h"
#include "sim/device_config.h"
#include "sim/sim_device.h"
#include "sim/usb_face.h"
#include "tests/sim/sim_test_support.h"
#include "usblink/firmware_download.h"
#include "usblink/usb_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <random>
#include <filesystem>
#include <thread>

namespace kestrel::sim::test {

namespace {

using namespace kestrel::driver;
using platform::usb::DeviceIdentity;
using platform::usb::UsbStatus;

usblink::LinkNames privateNames() {
    static std::atomic<uint32_t> counter{0};
    const std::string stem = "usb-face-test-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(counter++);
    usblink::LinkNames names;
    names.goEvent = stem + "-go";
    names.doneEvent = stem + "-done";
    return names;
}

class FaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = defaultDeviceConfig(2, 0xEC);
        ASSERT_TRUE(config);
        ASSERT_TRUE(createFolder(folder_.path(), *config));
        std::string error;
        sim_ = SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(sim_) << error;
        face_ = makeUsbFace(sim_);
        platform::installDeviceProvider(platform::usb::makeUsbProvider(face_, platform::usb::defaultSelection()));
        platform::setMessageSink([](const platform::MessageBoxRequest& request) {
            ADD_FAILURE() << "message box: " << request.text;
            return platform::MessageAnswer::Ok;
        });
        auto sim = sim_;
        hang_ = std::make_unique<Watchdog>([sim] { sim->command("unplug"); });
    }
    void TearDown() override {
        hang_.reset();
        platform::installDeviceProvider(nullptr);
        platform::setMessageSink(nullptr);
    }

    std::vector<DeviceIdentity> listed() { return face_->list().devices; }
    std::string firmwareFolder() const {
        return std::filesystem::path(siblingFile(usblink::FFS_FIRMWARE)).parent_path().string();
    }
    static platform::ControlResult pipeRequest(platform::DeviceHandle& h, uint32_t code, uint32_t pipe,
                                               void* data = nullptr, uint32_t length = 0) {
        uint8_t index[4];
        storeLe32(index, pipe);
        return h.control(code, index, sizeof index, data, length);
    }
    static platform::DeviceHandle openDevice() {
        return platform::DeviceHandle::open("\\\\.\\QlxUsb-0", ACCESS_WRITE, SHARE_WRITE);
    }

    TempFolder folder_;
    std::shared_ptr<SimDevice> sim_;
    std::shared_ptr<SimUsbTransport> face_;
    std::unique_ptr<Watchdog> hang_;
};

}  // namespace

TEST_F(FaceTest, PowerOnDescriptorsShowTheMainFirmwaresSixBulkEndpoints) {
    const auto devices = listed();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendorId, 0x0547);
    EXPECT_EQ(devices[0].productId, USB_PRODUCT_MAIN);
    ASSERT_EQ(devices[0].endpoints.size(), 6u);
    EXPECT_EQ(devices[0].endpoints[3].address, 0x01) << "pipe 3, the command pipe, is OUT endpoint 1";
    EXPECT_TRUE(devices[0].endpoints[1].isIn());
    EXPECT_FALSE(devices[0].endpoints[0].isIn());

    auto h = openDevice();
    ASSERT_TRUE(h.valid());
    std::vector<uint8_t> info(PIPE_INFO_LENGTH);
    ASSERT_TRUE(h.control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).ok);
    EXPECT_EQ(loadLe32(info.data() + PIPE_INFO_COUNT_OFFSET), 6u);
}

TEST_F(FaceTest, FirmwareDownloadReenumeratesUnderAnotherProductIdAndTheProductFindsItAgain) {
    const uint8_t before = listed().at(0).address;
    auto device = std::make_unique<usblink::UsbDevice>(firmwareFolder(), privateNames());
    ASSERT_EQ(device->init(), 1u);  // holds the x51, loads the file-system firmware, releases it

    auto devices = listed();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].productId, USB_PRODUCT_FILE_SYSTEM);
    EXPECT_NE(devices[0].address, before) << "a new enumeration, a new address";
    EXPECT_EQ(statValue(sim_->command("stats"), "enumeration"), 2u);

    uint8_t id[4] = {};
    ASSERT_EQ(device->cardCommands().readId(0, id), 1u) << "the product talks to the device that came back";
    EXPECT_EQ(id[1], 0xEC);
    device->close();  // puts the main firmware back: another re-enumeration
    device.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    devices = listed();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].productId, USB_PRODUCT_MAIN);
}

TEST_F(FaceTest, ReleasingTheCpuTakesTheDeviceOffTheBusUntilItIsBack) {
    auto h = openDevice();
    ASSERT_TRUE(h.valid());
    ASSERT_EQ(sim_->command("reenumerate-ms 100000"), "ok");
    uint8_t record[VENDOR_REQUEST_LENGTH] = {};
    record[VR_REQUEST] = EZUSB_FIRMWARE_LOAD;
    storeLe16(record + VR_VALUE, EZUSB_CPUCS);
    storeLe16(record + VR_LENGTH, 1);
    record[VR_DATA] = 1;
    ASSERT_TRUE(h.control(CTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0).ok);
    EXPECT_EQ(listed().at(0).productId, USB_PRODUCT_BARE) << "the x51 held: the bare controller";
    EXPECT_TRUE(listed().at(0).endpoints.empty());
    record[VR_DATA] = 0;
    ASSERT_TRUE(h.control(CTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0).ok);

    EXPECT_TRUE(listed().empty());
    std::vector<uint8_t> info(PIPE_INFO_LENGTH);
    EXPECT_EQ(h.control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).error,
              ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(openDevice().openError(), ERR_FILE_NOT_FOUND);
    ASSERT_EQ(sim_->command("reset"), "ok");  // back at once, powered on
    auto again = openDevice();
    EXPECT_TRUE(again.valid());
    EXPECT_EQ(h.control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).error,
              ERR_DEVICE_NOT_CONNECTED) << "the old handle stays dead";
}

TEST_F(FaceTest, AStalledEndpointFailsUntilResetPipeClearsIt) {
    auto h = openDevice();
    ASSERT_TRUE(h.valid());
    face_->stall(0x01);
    std::vector<uint8_t> packet(64, 0);
    packet[0] = 4;  // read status
    const auto stalled = pipeRequest(h, CTL_BULK_WRITE, PIPE_COMMAND, packet.data(), 64);
    EXPECT_FALSE(stalled.ok);
    EXPECT_NE(stalled.error, 0u);
    EXPECT_FALSE(pipeRequest(h, CTL_BULK_WRITE, PIPE_COMMAND, packet.data(), 64).ok) << "halted until cleared";
    ASSERT_TRUE(pipeRequest(h, CTL_RESET_PIPE, PIPE_COMMAND).ok);
    EXPECT_TRUE(pipeRequest(h, CTL_BULK_WRITE, PIPE_COMMAND, packet.data(), 64).ok);
}

TEST_F(FaceTest, PendingReadIsAbortedFromAnotherHandleAndTheNextOneWorks) {
    auto reader = openDevice();
    auto watchdog = openDevice();
    ASSERT_TRUE(reader.valid() && watchdog.valid());
    std::vector<uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] { return pipeRequest(reader, CTL_BULK_READ, PIPE_DATA_IN, in.data(), 64); });
    for (int i = 0; i < 20000 && statValue(sim_->command("stats"), "pending_transfers") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(pipeRequest(watchdog, CTL_ABORT_PIPE, PIPE_DATA_IN).ok);
    const auto r = pending.get();
    EXPECT_EQ(r.error, ERR_OPERATION_ABORTED);
    // An abort with nothing pending is harmless: the next command answers.
    ASSERT_TRUE(pipeRequest(watchdog, CTL_ABORT_PIPE, PIPE_DATA_IN).ok);
    auto device = std::make_unique<usblink::UsbDevice>(firmwareFolder(), privateNames());
    ASSERT_EQ(device->init(), 1u);
    uint8_t status[4] = {};
    EXPECT_EQ(device->cardCommands().readStatus(0, status), 1u);
}

TEST_F(FaceTest, OversizedOrOutOfRangeLoadsStall) {
    auto h = openDevice();
    ASSERT_TRUE(h.valid());
    UsbStatus status = UsbStatus::Error;
    auto usb = face_->open(listed().at(0), status);
    ASSERT_TRUE(usb);
    EXPECT_EQ(status, UsbStatus::Ok);
    std::vector<uint8_t> image(USB_LOAD_LIMIT + 1, 0x5A);
    platform::usb::ControlSetup load{platform::usb::REQUEST_TYPE_VENDOR_OUT, EZUSB_FIRMWARE_LOAD, 0x1000, 0};
    EXPECT_EQ(usb->control(load, image.data(), static_cast<uint16_t>(image.size()), 1000).status, UsbStatus::Stall);
    EXPECT_EQ(usb->control(load, image.data(), USB_LOAD_LIMIT, 1000).status, UsbStatus::Ok);
    load.value = 0xFFF0;
    EXPECT_EQ(usb->control(load, image.data(), 32, 1000).status, UsbStatus::Stall) << "past the end of memory";
    platform::usb::ControlSetup standard{0x00, 0x09, 1, 0};  // SET_CONFIGURATION is not the face's business
    EXPECT_EQ(usb->control(standard, nullptr, 0, 1000).status, UsbStatus::Stall);
    EXPECT_EQ(usb->clearHalt(0x03).status, UsbStatus::NotFound);
}

}  // namespace kestrel::sim::test
